#include "eventTypes.h"

std::array<TEventType, kEventTypeCount> EventTypeTable = { {
    { "Cold Start", kDefaultEventColors[0] },
    { "Warm Start", kDefaultEventColors[1] },
    { "Off-Line", kDefaultEventColors[2] },
    { "On-Line", kDefaultEventColors[3] },
} };

QString EventTypeName(int code)
{
    if (code >= 0 && code < kEventTypeCount)
        return QString::fromLatin1(EventTypeTable[code].Name);
    return QStringLiteral("Event %1").arg(code);
}

int EventTypeCode(const QString& name)
{
    for (int code = 1; code < kEventTypeCount; ++code) {
        if (name == QLatin1String(EventTypeTable[code].Name))
            return code;
    }
    return 0;
}

QColor EventColor(int code)
{
    if (code < 0 || code >= kEventTypeCount)
        code = 0;
    return ColorFromStored(EventTypeTable[code].Color);
}
