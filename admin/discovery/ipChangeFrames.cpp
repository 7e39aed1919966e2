#include "admin/discovery/ipChangeFrames.h"

#include <QRegularExpression>
#include <QStringList>

const std::array<uint8_t, RestartRequestSize> RestartRequest
    = { 0x00, 0x3D, 0x00, 0x00, 0x00, 0x06, 0x01, 0x08, 0x00, 0x01, 0xFF, 0x00 };

std::array<uint8_t, SetIpRequestSize> SetIpRequest(const std::array<uint8_t, 4>& address)
{
    std::array<uint8_t, SetIpRequestSize> frame
        = { 0x00, 0x3E, 0x00, 0x00, 0x00, 0x0B, 0x01, 0x10, 0x10, 0x22, 0x00, 0x02, 0x04, 0, 0, 0, 0 };
    for (int i = 0; i < 4; ++i)
        frame[SetIpAddressOffset + i] = address[i];
    return frame;
}

TAddressCheck CheckNewAddress(const QString& text, const QString& oldAddress, std::array<uint8_t, 4>* octets)
{
    // Plain decimal only: a leading zero would read as octal to some tools.
    static const QRegularExpression dotted(
        QStringLiteral("^(0|[1-9][0-9]{0,2})\\.(0|[1-9][0-9]{0,2})\\.(0|[1-9][0-9]{0,2})\\.(0|[1-9][0-9]{0,2})$"));
    const QRegularExpressionMatch m = dotted.match(text.trimmed());
    if (!m.hasMatch())
        return acNotDotted;
    std::array<uint8_t, 4> bytes {};
    for (int i = 0; i < 4; ++i) {
        const int v = m.captured(i + 1).toInt();
        if (v > 255)
            return acNotDotted;
        bytes[i] = uint8_t(v);
    }
    if (bytes[0] == 0 || bytes[0] == 127 || bytes[0] >= 224)
        return acNotHost;
    const QString canonical = QStringLiteral("%1.%2.%3.%4").arg(bytes[0]).arg(bytes[1]).arg(bytes[2]).arg(bytes[3]);
    if (canonical == oldAddress.trimmed())
        return acUnchanged;
    if (octets)
        *octets = bytes;
    return acOk;
}

QString AddressCheckText(TAddressCheck check, const QString& text)
{
    switch (check) {
    case acOk:
        return {};
    case acNotDotted:
        return QStringLiteral("\"%1\" is not an IP address. Enter four numbers from 0 to 255 separated by dots, "
                              "for example 192.168.127.10.")
            .arg(text);
    case acNotHost:
        return QStringLiteral("%1 can't be the address of an I/O server. Addresses beginning with 0, 127 or "
                              "224 and above are reserved.")
            .arg(text);
    case acUnchanged:
        return QStringLiteral("The I/O server has the address %1 already. Enter a different address.").arg(text);
    }
    return {};
}
