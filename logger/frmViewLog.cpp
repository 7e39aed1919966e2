#include "logger/frmViewLog.h"

#include "logger/core/eventTableModel.h"
#include "logger/core/logFormat.h"
#include "logger/core/sortGrid.h"
#include "logger/eventGrid.h"
#include "logger/eventSymbolDelegate.h"
#include "logger/filterBar.h"
#include "logger/gridFilter.h"
#include "logger/messageBoxes.h"
#include "logger/windowFrame.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QVBoxLayout>

TfmViewLog::TfmViewLog(const QDate& date, const QString& path, QWidget* parent)
    : QDialog(parent)
    , m_path(path)
    , m_model(new TEventTableModel(this))
{
    setWindowTitle(QStringLiteral("Alarm Log Viewer - ") + QLocale().toString(date, QLocale::ShortFormat));
    setSizeGripEnabled(true);

    xgEvent = new TEventGrid(this);
    xgEvent->setModel(m_model);
    auto* strip = new QWidget(this);
    strip->setFixedHeight(41);
    btnReload = new QPushButton(QStringLiteral("Reload"), strip);
    lbRecords = new QLabel(strip);
    QFont bold = lbRecords->font();
    bold.setBold(true);
    lbRecords->setFont(bold);
    QPalette red = lbRecords->palette();
    red.setColor(QPalette::WindowText, Qt::red);
    lbRecords->setPalette(red);
    auto* row = new QHBoxLayout(strip);
    row->setContentsMargins(8, 0, 8, 0);
    row->addWidget(btnReload);
    row->addSpacing(16);
    row->addWidget(lbRecords, 1);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    m_filter = new TGridFilter(xgEvent, m_model, this);
    layout->addWidget(m_filter->Bar());
    xgEvent->setItemDelegateForColumn(1, new TEventSymbolDelegate(xgEvent));
    layout->addWidget(xgEvent, 1);
    layout->addWidget(strip);

    PlaceOverParent();

    connect(btnReload, &QPushButton::clicked, this, &TfmViewLog::btnReloadClick);
    connect(xgEvent, &TEventGrid::HeaderReleased, this, &TfmViewLog::xgEventMouseUp);
    m_sortDir = false;
    btnReloadClick();
}

void TfmViewLog::PlaceOverParent()
{
    const QWidget* owner = parentWidget();
    PlaceFrame(this, kViewerOuterSize, owner ? owner->frameGeometry() : QRect(QPoint(), kViewerOuterSize));
}

void TfmViewLog::showEvent(QShowEvent* event)
{
    if (!m_shown) {
        m_shown = true;
        PlaceOverParent(); // now that the frame is known
    }
    QDialog::showEvent(event);
}

void TfmViewLog::btnReloadClick()
{
    QString error;
    int count;
    {
        TBusyCursor busy;
        count = LoadLogFile(m_path, *m_model, &error);
    }
    if (count < 0) {
        ShowErrorBox(this, error);
        return;
    }
    lbRecords->setText(QStringLiteral("%1 alarm event(s)").arg(count));
}

void TfmViewLog::xgEventMouseUp(int column)
{
    if (column < 0)
        return;
    SortGrid(*m_model, column, m_sortDir);
    m_sortDir = !m_sortDir;
}
