#pragma once
// Texts of the system are single bytes (Latin-1) on the wire and in files.
// These two keep that conversion in one place, so no byte is ever guessed
// as UTF-8.
#include <QByteArray>
#include <QString>

inline QString FromWire(const QByteArray& bytes)
{
    return QString::fromLatin1(bytes);
}
inline QString FromWire(const char* bytes, qsizetype size)
{
    return QString::fromLatin1(bytes, size);
}
// Characters outside Latin-1 become '?', as a single-byte code page would.
inline QByteArray ToWire(const QString& text)
{
    return text.toLatin1();
}
