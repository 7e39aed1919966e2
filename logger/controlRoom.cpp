#include "logger/controlRoom.h"

#include "logger/alarmNotifier.h"
#include "logger/core/alertSettings.h"
#include "logger/eventSymbolDelegate.h"
#include "logger/filterBar.h"
#include "logger/followMode.h"
#include "logger/core/forwardingSettings.h"
#include "logger/frmForwarding.h"
#include "logger/frmMain.h"
#include "logger/gridFilter.h"
#include "logger/core/syslogForwarder.h"

#include <QLabel>
#include <QMenu>
#include <QStatusBar>
#include <QTimer>
#include <QVBoxLayout>
#include <QToolButton>

namespace {
// The status line is redrawn at most this often during a storm.
constexpr int kStatusRefreshMs = 250;
}

TControlRoom::TControlRoom(TfmMain* window)
    : QObject(window)
    , window_(window)
    , forwarder_(new TSyslogForwarder(this))
    , forwardingStatus_(new QLabel(window))
    , filter_(new TGridFilter(window->xgEvent, window->EventModel(), window->xgEvent->parentWidget()))
    , follow_(new TFollowMode(window->xgEvent, window->EventModel(), filter_, filter_->Bar()->btnFollow))
    , notifier_(new TAlarmNotifier(window, QDBusConnection::sessionBus(), this))
{
    // The filter row goes right above the table.
    if (auto* layout = qobject_cast<QVBoxLayout*>(window->xgEvent->parentWidget()->layout()))
        layout->insertWidget(layout->indexOf(window->xgEvent), filter_->Bar());
    window->xgEvent->setItemDelegateForColumn(1, new TEventSymbolDelegate(window->xgEvent));

    forwardingStatus_->setObjectName(QStringLiteral("lbForwarding"));
    window->statusBar()->addPermanentWidget(forwardingStatus_);
    forwardingStatus_->hide();
    auto* refresh = new QTimer(this);
    refresh->setSingleShot(true);
    refresh->setInterval(kStatusRefreshMs);
    connect(refresh, &QTimer::timeout, this, &TControlRoom::ShowForwardingStatus);
    connect(forwarder_, &TSyslogForwarder::StatusChanged, refresh, [refresh] {
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
    forwarder_->Configure(LoadForwardingSettings());
    ShowForwardingStatus();
}

void TControlRoom::OnAlarm(const TEventRecord& record, int row)
{
    forwarder_->Forward(record);
    follow_->AlarmAt(row);
    notifier_->Alarm(record);
}

void TControlRoom::ShowForwardingStatus()
{
    const QString text = forwarder_->StatusText();
    forwardingStatus_->setText(text);
    forwardingStatus_->setVisible(!text.isEmpty());
}

void TControlRoom::muCentralLogClick()
{
    TfmForwarding dialog(forwarder_->Settings(), notifier_->Types(), window_);
    if (dialog.exec() != QDialog::Accepted)
        return;
    StoreNotifyTypes(dialog.NotifyTypes());
    notifier_->SetTypes(dialog.NotifyTypes());
    const TForwardingSettings s = dialog.Settings();
    StoreForwardingSettings(s);
    if (!(s == forwarder_->Settings()))
        forwarder_->Configure(s);
    ShowForwardingStatus();
}
