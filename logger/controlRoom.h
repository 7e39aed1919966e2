#pragma once
// What a control room adds to the main window: forwarding to the site's
// central log with its line in the status strip, and the System menu entry
// for it. Everything hangs off the main window's AlarmAccepted signal, after
// the alarm is shown and logged, and is off or quiet by default.
#include <QObject>

class QLabel;
class TfmMain;
class TSyslogForwarder;
struct TEventRecord;

class TControlRoom : public QObject {
    Q_OBJECT
public:
    explicit TControlRoom(TfmMain* window);

    TSyslogForwarder* Forwarder() const { return forwarder_; }
    QLabel* ForwardingStatus() const { return forwardingStatus_; }

    // System > "Central Log...".
    void muCentralLogClick();

private:
    void OnAlarm(const TEventRecord& record, int row);
    void ShowForwardingStatus();

    TfmMain* window_;
    TSyslogForwarder* forwarder_;
    QLabel* forwardingStatus_;
};
