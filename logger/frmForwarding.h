#pragma once
// "Central Log": the syslog collector that every accepted alarm also goes
// to. An empty host turns forwarding off.
#include "forwardingSettings.h"

#include <QDialog>

class QComboBox;
class QLineEdit;
class QSpinBox;

class TfmForwarding : public QDialog {
    Q_OBJECT
public:
    explicit TfmForwarding(const TForwardingSettings& current, QWidget* parent = nullptr);

    // The values as the dialog shows them.
    TForwardingSettings Settings() const;

    QLineEdit* etHost;
    QSpinBox* sePort;
    QComboBox* cbProtocol;
};
