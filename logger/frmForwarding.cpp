#include "logger/frmForwarding.h"

#include "logger/okCancelButtons.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QSpinBox>
#include <QVBoxLayout>

namespace {
constexpr int kMaxPort = 65535;
}

TfmForwarding::TfmForwarding(
    const TForwardingSettings& current, const std::array<bool, kEventTypeCount>& notifyTypes, QWidget* parent)
    : QDialog(parent)
{
    setWindowTitle(QStringLiteral("Central Log and Alerts"));
    auto* group = new QGroupBox(QStringLiteral("Forward every alarm to a syslog collector"), this);
    auto* form = new QFormLayout(group);
    etHost = new QLineEdit(current.Host, group);
    etHost->setObjectName(QStringLiteral("etHost"));
    etHost->setPlaceholderText(QStringLiteral("empty: no forwarding"));
    sePort = new QSpinBox(group);
    sePort->setObjectName(QStringLiteral("sePort"));
    sePort->setRange(1, kMaxPort);
    sePort->setValue(current.Port >= 1 && current.Port <= kMaxPort ? current.Port : kDefaultSyslogPort);
    cbProtocol = new QComboBox(group);
    cbProtocol->setObjectName(QStringLiteral("cbProtocol"));
    cbProtocol->addItem(QStringLiteral("TCP (octet counting)"), int(TSyslogProtocol::Tcp));
    cbProtocol->addItem(QStringLiteral("UDP"), int(TSyslogProtocol::Udp));
    cbProtocol->setCurrentIndex(current.Protocol == TSyslogProtocol::Udp ? 1 : 0);
    form->addRow(QStringLiteral("Host :"), etHost);
    form->addRow(QStringLiteral("Port :"), sePort);
    form->addRow(QStringLiteral("Protocol :"), cbProtocol);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(group);
    auto* note
        = new QLabel(QStringLiteral("Messages follow RFC 5424; a collector that is down or slow never holds up "
                                    "reception or the daily log. Alarms that can't wait are dropped and counted."),
            this);
    note->setWordWrap(true);
    layout->addWidget(note);

    auto* alerts = new QGroupBox(QStringLiteral("Desktop notification for"), this);
    auto* alertRow = new QHBoxLayout(alerts);
    for (int code = 0; code < kEventTypeCount; ++code) {
        auto* box = new QCheckBox(QString::fromLatin1(EventTypeTable[size_t(code)].Name), alerts);
        box->setObjectName(QStringLiteral("cbNotify%1").arg(code));
        box->setChecked(notifyTypes[size_t(code)]);
        cbNotify[size_t(code)] = box;
        alertRow->addWidget(box);
    }
    layout->addWidget(alerts);
    QPushButton* ok;
    QPushButton* cancel;
    layout->addWidget(OkCancelButtons(this, ok, cancel));
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
}

TForwardingSettings TfmForwarding::Settings() const
{
    TForwardingSettings s;
    s.Host = etHost->text().trimmed();
    s.Port = sePort->value();
    s.Protocol = TSyslogProtocol(cbProtocol->currentData().toInt());
    return s;
}

std::array<bool, kEventTypeCount> TfmForwarding::NotifyTypes() const
{
    std::array<bool, kEventTypeCount> types {};
    for (int code = 0; code < kEventTypeCount; ++code)
        types[size_t(code)] = cbNotify[size_t(code)]->isChecked();
    return types;
}
