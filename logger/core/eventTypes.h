#pragma once
// The four event types a server reports, by the code its alarm carries.
#include <QColor>
#include <QString>
#include <array>
#include <cstdint>

// The codes an alarm carries in its event type byte.
enum TEventCode : int { ecColdStart = 0, ecWarmStart = 1, ecOffLine = 2, ecOnLine = 3 };
inline constexpr int kEventTypeCount = 4;

struct TEventType {
    const char* Name; // fixed, at most 19 characters
    uint32_t Color; // text colour, stored encoding: red in the lowest byte
};

// One table for the whole process: the decoder takes the names from it, the
// tables their colours; colours start at the defaults, are replaced by the
// stored ones at start-up and by the settings dialog.
extern std::array<TEventType, kEventTypeCount> EventTypeTable;

// The factory colours, also the defaults of "Color_0" to "Color_3".
inline constexpr std::array<uint32_t, kEventTypeCount> kDefaultEventColors
    = { 0x000000u, 0x808080u, 0x0000FFu, 0x008000u };

// Name of a code. Codes above 3 exist on no server we know; a message with
// one is kept (nothing an operator might need is dropped) under the generic
// name "Event %d" and shown in the colour of code 0, like any unknown name.
QString EventTypeName(int code);

// Code of a name as the log loader maps it back: exact, case-sensitive;
// any other text, "Cold Start" included, is 0.
int EventTypeCode(const QString& name);

// Text colour of a row tag; codes outside the table take code 0's colour.
QColor EventColor(int code);

// Stored integer (0x00BBGGRR) <-> colour. The top byte is ignored on reading
// and written as 0.
inline QColor ColorFromStored(uint32_t v)
{
    return QColor(int(v & 0xFF), int((v >> 8) & 0xFF), int((v >> 16) & 0xFF));
}
inline uint32_t StoredFromColor(const QColor& c)
{
    return uint32_t(c.red()) | (uint32_t(c.green()) << 8) | (uint32_t(c.blue()) << 16);
}
