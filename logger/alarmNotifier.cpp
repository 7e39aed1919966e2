#include "logger/alarmNotifier.h"

#include "logger/core/alertSettings.h"
#include "common/latin1.h"

#include <QDBusMessage>
#include <QDBusPendingCall>
#include <QEvent>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QWidget>

namespace {
constexpr int kOffLine = 2;
constexpr uchar kUrgencyNormal = 1;
constexpr uchar kUrgencyCritical = 2;

QString Describe(const TEventRecord& r)
{
    QString text = FromWire(r.Cells[colSourceName]) + QStringLiteral(" (") + FromWire(r.Cells[colSourceIp])
        + QLatin1Char(')');
    if (r.Cells[colDestinationIp] != "--")
        text += QStringLiteral(" naming ") + FromWire(r.Cells[colDestinationIp]);
    return text + QStringLiteral(" at ") + FromWire(r.Cells[colDateTime]);
}
} // namespace

TAlarmNotifier::TAlarmNotifier(QWidget* window, QDBusConnection bus, QObject* parent)
    : QObject(parent)
    , window_(window)
    , bus_(std::move(bus))
    , types_(LoadNotifyTypes())
    , tray_(new QSystemTrayIcon(this))
    , later_(new QTimer(this))
{
    later_->setSingleShot(true);
    connect(later_, &QTimer::timeout, this, &TAlarmNotifier::SendPending);
    if (window_) {
        tray_->setIcon(window_->windowIcon());
        window_->installEventFilter(this);
        connect(tray_, &QSystemTrayIcon::activated, this, [this] {
            window_->showNormal();
            window_->raise();
            window_->activateWindow();
            MarkSeen();
        });
    }
    ShowToolTip();
    if (QSystemTrayIcon::isSystemTrayAvailable())
        tray_->show();
}

bool TAlarmNotifier::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == window_ && event->type() == QEvent::WindowActivate)
        MarkSeen();
    return QObject::eventFilter(watched, event);
}

void TAlarmNotifier::Alarm(const TEventRecord& record)
{
    if (record.Tag == kOffLine && !(window_ && window_->isActiveWindow() && !window_->isMinimized())) {
        ++unseenOffLine_;
        ShowToolTip();
    }
    if (record.Tag < 0 || record.Tag >= kEventTypeCount || !types_[size_t(record.Tag)])
        return;
    latest_ = record;
    ++pending_;
    pendingUrgent_ = pendingUrgent_ || record.Tag == kOffLine;
    if (!sinceLast_.isValid() || sinceLast_.elapsed() >= kMinIntervalMs)
        SendPending();
    else if (!later_->isActive())
        later_->start(int(kMinIntervalMs - sinceLast_.elapsed()));
}

void TAlarmNotifier::SendPending()
{
    if (pending_ == 0)
        return;
    const QString type = FromWire(latest_.Cells[colEventType]);
    if (pending_ == 1)
        Send(type + QStringLiteral(": ") + FromWire(latest_.Cells[colSourceName]), type + QStringLiteral(" from ")
                + Describe(latest_), pendingUrgent_);
    else
        Send(QStringLiteral("%1 alarms").arg(pending_), QStringLiteral("Latest: %1 from %2").arg(type, Describe(latest_)),
            pendingUrgent_);
    pending_ = 0;
    pendingUrgent_ = false;
    sinceLast_.start();
}

void TAlarmNotifier::Send(const QString& summary, const QString& body, bool urgent)
{
    ++sent_;
    if (!bus_.isConnected())
        return;
    QDBusMessage call = QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.Notifications"),
        QStringLiteral("/org/freedesktop/Notifications"), QStringLiteral("org.freedesktop.Notifications"),
        QStringLiteral("Notify"));
    QVariantMap hints;
    hints.insert(QStringLiteral("urgency"), QVariant::fromValue(urgent ? kUrgencyCritical : kUrgencyNormal));
    call << QStringLiteral("Alarmkeeper") << uint(0) << QString() << summary << body << QStringList() << hints
         << int(-1);
    bus_.asyncCall(call);
}

void TAlarmNotifier::MarkSeen()
{
    unseenOffLine_ = 0;
    ShowToolTip();
}

QString TAlarmNotifier::ToolTip() const
{
    return unseenOffLine_ == 0 ? QStringLiteral("Alarmkeeper")
                               : QStringLiteral("Alarmkeeper: %1 unseen Off-Line alarm(s)").arg(unseenOffLine_);
}

void TAlarmNotifier::ShowToolTip()
{
    tray_->setToolTip(ToolTip());
}
