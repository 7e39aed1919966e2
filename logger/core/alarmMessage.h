#pragma once
// The 58-byte alarm message a server sends, and its decoding into the texts
// of one event table row.
#include "logger/core/eventRecord.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <cstdint>
#include <optional>

inline constexpr int kAlarmMessageSize = 58;
inline constexpr int kSourceNameSize = 40;
// The first byte of every alarm message.
inline constexpr uint8_t kAlarmMarker = 1;

// The fields of a message; offsets on the wire in the comments. Multi-byte
// numbers: the year least significant byte first, the addresses in network
// order (first octet first), kept here as the four wire bytes.
struct AlarmMessage {
    uint8_t Marker = kAlarmMarker; // 0, must be kAlarmMarker
    uint8_t EventType = 0; // 1
    uint16_t Year = 0; // 2
    uint8_t Month = 0; // 4
    uint8_t Day = 0; // 5
    uint8_t Hour = 0; // 6
    uint8_t Minute = 0; // 7
    uint8_t Second = 0; // 8
    char SourceName[kSourceNameSize] {}; // 9, ended by a zero byte
    uint8_t SourceIp[4] {}; // 49
    uint8_t DestinationIp[4] {}; // 53
    uint8_t Checksum = 0; // 57, makes the byte sum 0 modulo 256
};

// The fields of 58 bytes, without any check.
AlarmMessage ParseAlarmMessage(const char* bytes);

// The 58 wire bytes; the checksum is computed unless keepChecksum.
QByteArray EncodeAlarmMessage(const AlarmMessage& message, bool keepChecksum = false);

// Marker 1 and a byte sum of 0 modulo 256. Anything but exactly 58 bytes fails.
bool AlarmMessageValid(QByteArrayView bytes);

// The row of a good message: event type name, FormatAlarmTime, source name,
// source address, destination address ("--" for codes 0 and 1). Cell 0 ("#")
// is left empty; the table numbers its rows. Tag: the code, or 0 for codes
// above 3 (see EventTypeName). Empty when the message fails a check.
//
// The source name ends at its zero byte, or after 40 bytes when there is
// none. CR and LF in it become blanks: a line break would split the log line
// and let a sender forge lines of the log.
std::optional<TEventRecord> DecodeAlarm(QByteArrayView bytes);

// "%d/%d/%d %d:%d:%d" with month, day, year, hour, minute, second.
QByteArray FormatAlarmTime(int month, int day, int year, int hour, int minute, int second);

// "%.02d": at least two digits, zero-padded.
QByteArray FormatRowNumber(int number);
