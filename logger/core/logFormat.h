#pragma once
// Daily log files: the name of a day's file and the comma-text line format.
#include "logger/core/eventRecord.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QDate>
#include <QString>
#include <functional>
#include <utility>
#include <vector>

class TEventTableModel;

// "akEvent_yymmdd.log".
QString LogFileName(const QDate& date);

// logPath, one separator, the file name; a logPath that already ends in a
// separator is not trimmed.
QString LogFilePath(const QString& logPath, const QDate& date);

// Fields joined by commas; a field holding a space, a byte below 32, a double
// quote or a comma is written in double quotes with its quotes doubled.
QByteArray CommaText(const std::array<QByteArray, kEventColumnCount>& fields);

// Calls onLine for every line of text: a line ends at CR LF, a lone CR or a
// lone LF; a last line without a line end counts; a zero byte ends the text.
void SplitLines(QByteArrayView text, const std::function<void(QByteArrayView)>& onLine);

// Splits one line by the comma-text reading rules and appends the fields'
// bytes to out, one after the other; spans gets (start, length) in out per
// field. Returns the number of fields. An empty line or one of blanks has
// none. A quote left open runs to the end of the line; text right after a
// closing quote starts the next field.
int SplitCommaText(QByteArrayView line, QByteArray& out, std::vector<std::pair<qsizetype, qsizetype>>& spans);

// The same, returning the fields.
std::vector<QByteArray> SplitCommaText(QByteArrayView line);

// Appends one line (fields, then CR LF) to path, creating the file when it is
// missing. The file is open only for this call. False when it can't be
// opened or written; the caller reports nothing. A line that fails part-way
// is cut off again, so the file keeps whole lines only.
bool AppendLogLine(const QString& path, const std::array<QByteArray, kEventColumnCount>& fields);

// Fills table from the file: one row per line, at least one. A line of six
// fields fills its row ("#" from the line position, the tag from the event
// type name, "--" as destination for codes 0 and 1); any other line leaves
// its row empty. Returns the number of rows filled; 0 for a missing file.
// A file that exists but can't be read leaves the table emptied, puts the
// reason in *error and returns -1.
int LoadLogFile(const QString& path, TEventTableModel& table, QString* error = nullptr);
