#include "logger/alarmNotifier.h"

#include "common/latin1.h"
#include "logger/core/alertSettings.h"

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
    QString text
        = FromWire(r.cells[colSourceName]) + QStringLiteral(" (") + FromWire(r.cells[colSourceIp]) + QLatin1Char(')');
    if (r.cells[colDestinationIp] != "--")
        text += QStringLiteral(" naming ") + FromWire(r.cells[colDestinationIp]);
    return text + QStringLiteral(" at ") + FromWire(r.cells[colDateTime]);
}
} // namespace

TAlarmNotifier::TAlarmNotifier(QWidget* window, QDBusConnection bus, QObject* parent)
    : QObject(parent)
    , m_window(window)
    , m_bus(std::move(bus))
    , m_types(LoadNotifyTypes())
    , m_tray(new QSystemTrayIcon(this))
    , m_later(new QTimer(this))
{
    m_later->setSingleShot(true);
    connect(m_later, &QTimer::timeout, this, &TAlarmNotifier::SendPending);
    if (m_window) {
        m_tray->setIcon(m_window->windowIcon());
        m_window->installEventFilter(this);
        connect(m_tray, &QSystemTrayIcon::activated, this, [this] {
            m_window->showNormal();
            m_window->raise();
            m_window->activateWindow();
            MarkSeen();
        });
    }
    ShowToolTip();
    if (QSystemTrayIcon::isSystemTrayAvailable())
        m_tray->show();
}

bool TAlarmNotifier::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_window && event->type() == QEvent::WindowActivate)
        MarkSeen();
    return QObject::eventFilter(watched, event);
}

void TAlarmNotifier::Alarm(const TEventRecord& record)
{
    if (record.tag == kOffLine && !(m_window && m_window->isActiveWindow() && !m_window->isMinimized())) {
        ++m_unseenOffLine;
        ShowToolTip();
    }
    if (record.tag < 0 || record.tag >= kEventTypeCount || !m_types[size_t(record.tag)])
        return;
    m_latest = record;
    ++m_pending;
    m_pendingUrgent = m_pendingUrgent || record.tag == kOffLine;
    if (!m_sinceLast.isValid() || m_sinceLast.elapsed() >= kMinIntervalMs)
        SendPending();
    else if (!m_later->isActive())
        m_later->start(int(kMinIntervalMs - m_sinceLast.elapsed()));
}

void TAlarmNotifier::SendPending()
{
    if (m_pending == 0)
        return;
    const QString type = FromWire(m_latest.cells[colEventType]);
    if (m_pending == 1)
        Send(type + QStringLiteral(": ") + FromWire(m_latest.cells[colSourceName]),
            type + QStringLiteral(" from ") + Describe(m_latest), m_pendingUrgent);
    else
        Send(QStringLiteral("%1 alarms").arg(m_pending),
            QStringLiteral("Latest: %1 from %2").arg(type, Describe(m_latest)), m_pendingUrgent);
    m_pending = 0;
    m_pendingUrgent = false;
    m_sinceLast.start();
}

void TAlarmNotifier::Send(const QString& summary, const QString& body, bool urgent)
{
    ++m_sent;
    if (!m_bus.isConnected())
        return;
    QDBusMessage call = QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.Notifications"),
        QStringLiteral("/org/freedesktop/Notifications"), QStringLiteral("org.freedesktop.Notifications"),
        QStringLiteral("Notify"));
    QVariantMap hints;
    hints.insert(QStringLiteral("urgency"), QVariant::fromValue(urgent ? kUrgencyCritical : kUrgencyNormal));
    call << QStringLiteral("Alarmkeeper") << uint(0) << QString() << summary << body << QStringList() << hints
         << int(-1);
    m_bus.asyncCall(call);
}

void TAlarmNotifier::MarkSeen()
{
    m_unseenOffLine = 0;
    ShowToolTip();
}

QString TAlarmNotifier::ToolTip() const
{
    return m_unseenOffLine == 0 ? QStringLiteral("Alarmkeeper")
                                : QStringLiteral("Alarmkeeper: %1 unseen Off-Line alarm(s)").arg(m_unseenOffLine);
}

void TAlarmNotifier::ShowToolTip()
{
    m_tray->setToolTip(ToolTip());
}
