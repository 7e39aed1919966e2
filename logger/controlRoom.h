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

    TSyslogForwarder* Forwarder() const { return forwarder_; }
    QLabel* ForwardingStatus() const { return forwardingStatus_; }
    TGridFilter* Filter() const { return filter_; }
    TFollowMode* Follow() const { return follow_; }
    TAlarmNotifier* Notifier() const { return notifier_; }

    // System > "Central Log and Alerts...".
    void muCentralLogClick();

private:
    void OnAlarm(const TEventRecord& record, int row);
    void ShowForwardingStatus();

    TfmMain* window_;
    TSyslogForwarder* forwarder_;
    QLabel* forwardingStatus_;
    TGridFilter* filter_;
    TFollowMode* follow_;
    TAlarmNotifier* notifier_;
};
