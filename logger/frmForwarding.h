#pragma once
// "Central Log and Alerts": the syslog collector that every accepted alarm
// also goes to (an empty host turns forwarding off), and the event types
// that raise a desktop notification.
#include "logger/core/eventTypes.h"
#include "logger/core/forwardingSettings.h"

#include <QDialog>
#include <array>

class QCheckBox;
class QComboBox;
class QLineEdit;
class QSpinBox;

class TfmForwarding : public QDialog {
    Q_OBJECT
public:
    TfmForwarding(const TForwardingSettings& current, const std::array<bool, kEventTypeCount>& notifyTypes,
        QWidget* parent = nullptr);

    // The values as the dialog shows them.
    TForwardingSettings Settings() const;
    std::array<bool, kEventTypeCount> NotifyTypes() const;

    QLineEdit* etHost;
    QSpinBox* sePort;
    QComboBox* cbProtocol;
    std::array<QCheckBox*, kEventTypeCount> cbNotify {};
};
