#pragma once
// Rows of an event table written as a log file: one comma-text line per row
// in the daily log's own format, so the log viewer and the loader read it.
#include <QString>
#include <vector>

class TEventTableModel;

// Writes the given rows in the given order; the file is replaced only when
// all of it is written. False with the reason in *error otherwise.
bool ExportRows(
    const TEventTableModel& table, const std::vector<int>& rows, const QString& path, QString* error = nullptr);
