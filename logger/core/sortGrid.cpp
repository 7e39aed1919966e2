#include "logger/core/sortGrid.h"

#include "logger/core/eventTableModel.h"

#include <algorithm>
#include <numeric>

bool Sorting = false;

namespace {

// The Sorting flag, reset on every way out.
class TSortScope {
public:
    TSortScope() { Sorting = true; }
    ~TSortScope() { Sorting = false; }
    TSortScope(const TSortScope&) = delete;
    TSortScope& operator=(const TSortScope&) = delete;

private:
    TBusyCursor m_cursor;
};

bool IsBlank(char c)
{
    return uint8_t(c) <= 32;
}

// Decimal integer with optional sign, within 32 bits.
bool ParseInteger(QByteArrayView text, int& value)
{
    if (text.isEmpty())
        return false;
    qsizetype i = 0;
    const bool negative = text[0] == '-';
    if (text[0] == '-' || text[0] == '+')
        ++i;
    if (i == text.size())
        return false;
    qint64 v = 0;
    for (; i < text.size(); ++i) {
        if (text[i] < '0' || text[i] > '9')
            return false;
        v = v * 10 + (text[i] - '0');
        if (v > qint64(INT_MAX) + 1)
            return false;
    }
    v = negative ? -v : v;
    if (v > INT_MAX || v < INT_MIN)
        return false;
    value = int(v);
    return true;
}

template <typename Key> void SortBy(std::vector<std::pair<Key, int>>& keyed, bool ascending)
{
    if (ascending)
        std::sort(keyed.begin(), keyed.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    else
        std::sort(keyed.begin(), keyed.end(), [](const auto& a, const auto& b) { return b.first < a.first; });
}

} // namespace

QByteArray SortKey(QByteArrayView text, TSortKind kind)
{
    if (kind == TSortKind::Text)
        return text.toByteArray();
    qsizetype from = 0, to = text.size();
    while (from < to && IsBlank(text[from]))
        ++from;
    while (to > from && IsBlank(text[to - 1]))
        --to;
    int value = 0;
    if (!ParseInteger(text.sliced(from, to - from), value))
        value = 0;
    QByteArray digits = QByteArray::number(value < 0 ? -qint64(value) : qint64(value));
    if (digits.size() < 9)
        digits.prepend(QByteArray(9 - digits.size(), '0'));
    return value < 0 ? '-' + digits : digits;
}

void SortGrid(TEventTableModel& table, int column, bool ascending)
{
    if (Sorting || column < 0 || column >= table.columnCount())
        return;
    if (table.IsSortedBy(column, ascending))
        return;
    TSortScope scope;
    const int n = table.rowCount();
    std::vector<int> order(static_cast<size_t>(n));
    // "#" cells only ever hold numbers this program wrote, below a billion,
    // where comparing the numbers is the same as comparing their SortKey texts.
    if (column == 0) {
        std::vector<std::pair<int, int>> keyed(static_cast<size_t>(n));
        for (int r = 0; r < n; ++r)
            keyed[size_t(r)] = { table.NumberKey(r), r };
        SortBy(keyed, ascending);
        for (int r = 0; r < n; ++r)
            order[size_t(r)] = keyed[size_t(r)].second;
    } else {
        std::vector<std::pair<std::string_view, int>> keyed(static_cast<size_t>(n));
        for (int r = 0; r < n; ++r)
            keyed[size_t(r)] = { table.TextKey(r, column), r };
        SortBy(keyed, ascending);
        for (int r = 0; r < n; ++r)
            order[size_t(r)] = keyed[size_t(r)].second;
    }
    table.ApplyOrder(order, column, ascending);
}
