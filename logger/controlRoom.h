#pragma once
// What a control room adds to the main window: forwarding to the site's
// central log with its line in the status strip, the filter row with follow
// mode and export, event type symbols, and desktop alerts. Everything hangs
// off the main window's AlarmAccepted signal, after the alarm is shown and
// logged, and is off or quiet by default.
#include <QObject>

class QLabel;
class TAlarmNotifier;
class TfmMain;
class TFollowMode;
class TGridFilter;
class TSyslogForwarder;
struct TEventRecord;

class TControlRoom : public QObject {
    Q_OBJECT
public:
    explicit TControlRoom(TfmMain* window);

    TSyslogForwarder* Forwarder() const { return m_forwarder; }
    QLabel* ForwardingStatus() const { return m_forwardingStatus; }
    TGridFilter* Filter() const { return m_filter; }
    TFollowMode* Follow() const { return m_follow; }
    TAlarmNotifier* Notifier() const { return m_notifier; }

    // System > "Central Log and Alerts...".
    void muCentralLogClick();

private:
    void OnAlarm(const TEventRecord& record, int row);
    void ShowForwardingStatus();

    TfmMain* m_window;
    TSyslogForwarder* m_forwarder;
    QLabel* m_forwardingStatus;
    TGridFilter* m_filter;
    TFollowMode* m_follow;
    TAlarmNotifier* m_notifier;
};
