#pragma once
// Sorting of event tables.
#include <QByteArray>
#include <QByteArrayView>
#include <string_view>

#include "common/busyCursor.h"

class TEventTableModel;

enum class TSortKind { Numeric, Text };

// True while a sort runs; one flag for all tables. A sort asked for meanwhile
// is skipped.
extern bool Sorting;

// The text a sort compares. Text kind: the text itself. Numeric kind: the
// text without bytes 0..32 at both ends read as a decimal integer (0 when it
// is none) and written with at least nine digits ("-" before negatives).
QByteArray SortKey(QByteArrayView text, TSortKind kind);

// Key comparison: bytes as unsigned values, a prefix before the longer text.
inline bool SortKeyLess(QByteArrayView a, QByteArrayView b)
{
    return std::string_view(a.data(), size_t(a.size())) < std::string_view(b.data(), size_t(b.size()));
}

// Sorts the data rows by column (numeric for column 0, text otherwise). Equal
// keys end in no particular order. Rows are compared by keys computed once
// per row; a table already in that order is left as it is.
void SortGrid(TEventTableModel& table, int column, bool ascending);
