#include "logger/followMode.h"

#include "logger/core/eventTableModel.h"
#include "logger/eventGrid.h"
#include "logger/gridFilter.h"

#include <QEvent>
#include <QKeyEvent>
#include <QScrollBar>
#include <QTimer>
#include <QToolButton>

TFollowMode::TFollowMode(TEventGrid* grid, TEventTableModel* table, TGridFilter* filter, QToolButton* control)
    : QObject(grid)
    , grid_(grid)
    , table_(table)
    , filter_(filter)
    , control_(control)
    , refresh_(new QTimer(this))
{
    refresh_->setSingleShot(true);
    refresh_->setInterval(kFollowRefreshMs);
    connect(refresh_, &QTimer::timeout, this, &TFollowMode::ScrollToNewest);
    // Scroll bar actions come from the operator only; our own scrollTo sets
    // the value without one.
    connect(grid_->verticalScrollBar(), &QScrollBar::actionTriggered, this, [this] {
        if (!scrolling_)
            SetFollowing(false);
    });
    viewport_ = grid_->viewport();
    gridObject_ = grid_;
    viewport_->installEventFilter(this);
    grid_->installEventFilter(this);
    control_->show();
    connect(control_, &QToolButton::clicked, this, [this] { SetFollowing(true); });
    connect(filter_, &TGridFilter::GridModelChanged, this, [this] {
        if (following_)
            refresh_->start();
    });
    ShowState();
}

bool TFollowMode::eventFilter(QObject* watched, QEvent* event)
{
    // Compared only: events come while the grid is being torn down too.
    if (watched == viewport_ && event->type() == QEvent::Wheel)
        SetFollowing(false);
    // Moving through the rows by keyboard is scrolling too.
    if (watched == gridObject_ && event->type() == QEvent::KeyPress) {
        switch (static_cast<QKeyEvent*>(event)->key()) {
        case Qt::Key_Up:
        case Qt::Key_Down:
        case Qt::Key_PageUp:
        case Qt::Key_PageDown:
        case Qt::Key_Home:
        case Qt::Key_End:
            SetFollowing(false);
            break;
        default:
            break;
        }
    }
    return QObject::eventFilter(watched, event);
}

void TFollowMode::SetFollowing(bool on)
{
    if (on == following_) {
        ShowState();
        if (on)
            ScrollToNewest();
        return;
    }
    following_ = on;
    ShowState();
    if (on)
        ScrollToNewest();
    emit FollowingChanged(on);
}

void TFollowMode::AlarmAt(int tableRow)
{
    newest_ = QPersistentModelIndex(table_->index(tableRow, 0));
    if (following_ && !refresh_->isActive())
        refresh_->start();
}

void TFollowMode::ScrollToNewest()
{
    if (!following_ || !newest_.isValid())
        return;
    const int row = filter_->GridRow(newest_.row());
    if (row < 0)
        return;
    scrolling_ = true;
    grid_->scrollTo(grid_->model()->index(row, 1), QAbstractItemView::EnsureVisible);
    scrolling_ = false;
}

void TFollowMode::ShowState()
{
    control_->setChecked(following_);
    control_->setText(following_ ? QStringLiteral("Following") : QStringLiteral("Not following"));
    control_->setToolTip(following_ ? QStringLiteral("The table shows each new alarm; scroll to stop")
                                    : QStringLiteral("Stopped by scrolling: click to go to the newest alarm and follow again"));
}
