#include "logger/controlRoom.h"

#include "logger/alarmNotifier.h"
#include "logger/core/alertSettings.h"
#include "logger/core/forwardingSettings.h"
#include "logger/core/syslogForwarder.h"
#include "logger/eventSymbolDelegate.h"
#include "logger/filterBar.h"
#include "logger/followMode.h"
#include "logger/frmForwarding.h"
#include "logger/frmMain.h"
#include "logger/gridFilter.h"

#include <QLabel>
#include <QMenu>
#include <QStatusBar>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

namespace {
// The status line is redrawn at most this often during a storm.
constexpr int kStatusRefreshMs = 250;
}

TControlRoom::TControlRoom(TfmMain* window)
    : QObject(window)
    , m_window(window)
    , m_forwarder(new TSyslogForwarder(this))
    , m_forwardingStatus(new QLabel(window))
    , m_filter(new TGridFilter(window->xgEvent, window->EventModel(), window->xgEvent->parentWidget()))
    , m_follow(new TFollowMode(window->xgEvent, window->EventModel(), m_filter, m_filter->Bar()->btnFollow))
    , m_notifier(new TAlarmNotifier(window, QDBusConnection::sessionBus(), this))
{
    // The filter row goes right above the table.
    if (auto* layout = qobject_cast<QVBoxLayout*>(window->xgEvent->parentWidget()->layout()))
        layout->insertWidget(layout->indexOf(window->xgEvent), m_filter->Bar());
    window->xgEvent->setItemDelegateForColumn(1, new TEventSymbolDelegate(window->xgEvent));

    m_forwardingStatus->setObjectName(QStringLiteral("lbForwarding"));
    window->statusBar()->addPermanentWidget(m_forwardingStatus);
    m_forwardingStatus->hide();
    auto* refresh = new QTimer(this);
    refresh->setSingleShot(true);
    refresh->setInterval(kStatusRefreshMs);
    connect(refresh, &QTimer::timeout, this, &TControlRoom::ShowForwardingStatus);
    connect(m_forwarder, &TSyslogForwarder::StatusChanged, refresh, [refresh] {
        if (!refresh->isActive())
            refresh->start();
    });

    QMenu* system = window->btnSystem->menu();
    auto* item = new QAction(QStringLiteral("Central Log and Alerts..."), system);
    item->setObjectName(QStringLiteral("muCentralLog"));
    connect(item, &QAction::triggered, this, &TControlRoom::muCentralLogClick);
    // Beside "Settings", above the line before "E&xit".
    const QList<QAction*> items = system->actions();
    const qsizetype exitAt = items.indexOf(window->muExit);
    system->insertAction(exitAt > 0 ? items[exitAt - 1] : window->muExit, item);

    connect(window, &TfmMain::AlarmAccepted, this, &TControlRoom::OnAlarm);
    m_forwarder->Configure(LoadForwardingSettings());
    ShowForwardingStatus();
}

void TControlRoom::OnAlarm(const TEventRecord& record, int row)
{
    m_forwarder->Forward(record);
    m_follow->AlarmAt(row);
    m_notifier->Alarm(record);
}

void TControlRoom::ShowForwardingStatus()
{
    const QString text = m_forwarder->StatusText();
    m_forwardingStatus->setText(text);
    m_forwardingStatus->setVisible(!text.isEmpty());
}

void TControlRoom::muCentralLogClick()
{
    TfmForwarding dialog(m_forwarder->Settings(), m_notifier->Types(), m_window);
    if (dialog.exec() != QDialog::Accepted)
        return;
    StoreNotifyTypes(dialog.NotifyTypes());
    m_notifier->SetTypes(dialog.NotifyTypes());
    const TForwardingSettings s = dialog.Settings();
    StoreForwardingSettings(s);
    if (!(s == m_forwarder->Settings()))
        m_forwarder->Configure(s);
    ShowForwardingStatus();
}
