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
    , m_grid(grid)
    , m_table(table)
    , m_filter(filter)
    , m_control(control)
    , m_refresh(new QTimer(this))
{
    m_refresh->setSingleShot(true);
    m_refresh->setInterval(kFollowRefreshMs);
    connect(m_refresh, &QTimer::timeout, this, &TFollowMode::ScrollToNewest);
    // Scroll bar actions come from the operator only; our own scrollTo sets
    // the value without one.
    connect(m_grid->verticalScrollBar(), &QScrollBar::actionTriggered, this, [this] {
        if (!m_scrolling)
            SetFollowing(false);
    });
    m_viewport = m_grid->viewport();
    m_gridObject = m_grid;
    m_viewport->installEventFilter(this);
    m_grid->installEventFilter(this);
    m_control->show();
    connect(m_control, &QToolButton::clicked, this, [this] { SetFollowing(true); });
    connect(m_filter, &TGridFilter::GridModelChanged, this, [this] {
        if (m_following)
            m_refresh->start();
    });
    ShowState();
}

bool TFollowMode::eventFilter(QObject* watched, QEvent* event)
{
    // Compared only: events come while the grid is being torn down too.
    if (watched == m_viewport && event->type() == QEvent::Wheel)
        SetFollowing(false);
    // Moving through the rows by keyboard is scrolling too.
    if (watched == m_gridObject && event->type() == QEvent::KeyPress) {
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
    if (on == m_following) {
        ShowState();
        if (on)
            ScrollToNewest();
        return;
    }
    m_following = on;
    ShowState();
    if (on)
        ScrollToNewest();
    emit FollowingChanged(on);
}

void TFollowMode::AlarmAt(int tableRow)
{
    m_newest = QPersistentModelIndex(m_table->index(tableRow, 0));
    if (m_following && !m_refresh->isActive())
        m_refresh->start();
}

void TFollowMode::ScrollToNewest()
{
    if (!m_following || !m_newest.isValid())
        return;
    const int row = m_filter->GridRow(m_newest.row());
    if (row < 0)
        return;
    m_scrolling = true;
    m_grid->scrollTo(m_grid->model()->index(row, 1), QAbstractItemView::EnsureVisible);
    m_scrolling = false;
}

void TFollowMode::ShowState()
{
    m_control->setChecked(m_following);
    m_control->setText(m_following ? QStringLiteral("Following") : QStringLiteral("Not following"));
    m_control->setToolTip(m_following
            ? QStringLiteral("The table shows each new alarm; scroll to stop")
            : QStringLiteral("Stopped by scrolling: click to go to the newest alarm and follow again"));
}
