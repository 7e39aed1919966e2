#include "logger/core/eventTypes.h"

std::array<TEventType, kEventTypeCount> EventTypeTable = { {
    { "Cold Start", kDefaultEventColors[ecColdStart] },
    { "Warm Start", kDefaultEventColors[ecWarmStart] },
    { "Off-Line", kDefaultEventColors[ecOffLine] },
    { "On-Line", kDefaultEventColors[ecOnLine] },
} };

QString EventTypeName(int code)
{
    if (code >= 0 && code < kEventTypeCount)
        return QString::fromLatin1(EventTypeTable[code].Name);
    return QStringLiteral("Event %1").arg(code);
}

int EventTypeCode(const QString& name)
{
    for (int code = ecWarmStart; code < kEventTypeCount; ++code) {
        if (name == QLatin1String(EventTypeTable[code].Name))
            return code;
    }
    return ecColdStart;
}

QColor EventColor(int code)
{
    if (code < 0 || code >= kEventTypeCount)
        code = ecColdStart;
    return ColorFromStored(EventTypeTable[code].Color);
}
