#pragma once
// Lets the operator notice alarms without watching the window: a desktop
// notification (org.freedesktop.Notifications on the session bus) for the
// ticked event types, at most one a second, the alarms in between summed up
// in the next; and a tray icon whose tool tip counts the Off-Line alarms
// that came while the window was not in front.
//
// The calls are asynchronous and their answers ignored: a missing bus or
// notification service costs nothing and breaks nothing.
#include "logger/core/eventRecord.h"
#include "logger/core/eventTypes.h"

#include <QDBusConnection>
#include <QElapsedTimer>
#include <QObject>
#include <array>

class QSystemTrayIcon;
class QTimer;
class QWidget;

class TAlarmNotifier : public QObject {
    Q_OBJECT
public:
    static constexpr int kMinIntervalMs = 1000;

    // window: whose activation marks Off-Line alarms as seen (may be null).
    explicit TAlarmNotifier(
        QWidget* window, QDBusConnection bus = QDBusConnection::sessionBus(), QObject* parent = nullptr);

    void SetTypes(const std::array<bool, kEventTypeCount>& types) { m_types = types; }
    const std::array<bool, kEventTypeCount>& Types() const { return m_types; }

    // An alarm was accepted.
    void Alarm(const TEventRecord& record);

    // Notifications asked of the service so far.
    int NotificationsSent() const { return m_sent; }
    int UnseenOffLine() const { return m_unseenOffLine; }
    void MarkSeen();
    QString ToolTip() const;
    QSystemTrayIcon* Tray() const { return m_tray; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void SendPending();
    void Send(const QString& summary, const QString& body, bool urgent);
    void ShowToolTip();

    QWidget* m_window;
    QDBusConnection m_bus;
    std::array<bool, kEventTypeCount> m_types {};
    QSystemTrayIcon* m_tray;
    QTimer* m_later;
    QElapsedTimer m_sinceLast;
    int m_pending = 0;
    bool m_pendingUrgent = false;
    TEventRecord m_latest;
    int m_sent = 0;
    int m_unseenOffLine = 0;
};
