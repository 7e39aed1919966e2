#pragma once
// Pure helpers of the main window, kept apart so they run without one.
#include <QDateTime>
#include <QImage>
#include <QList>
#include <QString>

struct tIPNODE;

// "%d:%s": whole days from start to now, then the rest as hh:mm:ss.
// A clock set back before start reads 0:00:00:00.
QString ElapsedText(const QDateTime& start, const QDateTime& now);

// "Host", or "Host : [a]/[b]..." with the address of every operational
// interface that is not a software loopback, in list order.
QString HostLabel(const QList<tIPNODE>& interfaces);

// The JPEG file decoded into an RGB picture. On failure the picture is
// null and error (when given) says why.
QImage LoadJpegImage(const QString& path, QString* error = nullptr);
