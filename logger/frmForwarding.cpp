#include "frmForwarding.h"

#include "okCancelButtons.h"

#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QSpinBox>
#include <QVBoxLayout>

namespace {
constexpr int kMaxPort = 65535;
}

TfmForwarding::TfmForwarding(const TForwardingSettings& current, QWidget* parent)
    : QDialog(parent)
{
    setWindowTitle(QStringLiteral("Central Log"));
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
    auto* note = new QLabel(QStringLiteral("Messages follow RFC 5424; a collector that is down or slow never holds up "
                                           "reception or the daily log. Alarms that can't wait are dropped and counted."),
        this);
    note->setWordWrap(true);
    layout->addWidget(note);
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
