#include "logger/core/eventFilterModel.h"

#include "common/latin1.h"
#include "logger/core/eventTableModel.h"

#include <QLatin1StringView>

namespace {

bool Contains(std::string_view haystack, const QByteArray& needle)
{
    return QLatin1StringView(haystack.data(), qsizetype(haystack.size()))
        .contains(QLatin1StringView(needle), Qt::CaseInsensitive);
}

} // namespace

TEventFilterModel::TEventFilterModel(QObject* parent)
    : QSortFilterProxyModel(parent)
{
}

void TEventFilterModel::SetTable(TEventTableModel* table)
{
    m_table = table;
    setSourceModel(table);
}

void TEventFilterModel::SetFilter(const TEventFilter& filter)
{
    m_filter = filter;
    // Characters a single-byte cell can't hold match nothing, as they should.
    m_source = filter.source.toLatin1();
    m_text = filter.text.toLatin1();
    invalidateFilter();
}

bool TEventFilterModel::Accepts(int row) const
{
    if (!m_table)
        return false;
    if (!m_filter.Active())
        return true;
    if (m_table->RowEmpty(row))
        return false;
    const int tag = m_table->Tag(row);
    if (tag >= 0 && tag < kEventTypeCount && !m_filter.types[size_t(tag)])
        return false;
    if (!m_source.isEmpty() && !Contains(m_table->TextKey(row, colSourceName), m_source)
        && !Contains(m_table->TextKey(row, colSourceIp), m_source))
        return false;
    if (!m_text.isEmpty()) {
        const QByteArray number = m_table->CellText(row, colNumber);
        bool found = Contains(std::string_view(number.constData(), size_t(number.size())), m_text);
        for (int c = colEventType; !found && c < kEventColumnCount; ++c)
            found = Contains(m_table->TextKey(row, c), m_text);
        if (!found)
            return false;
    }
    return true;
}

bool TEventFilterModel::filterAcceptsRow(int sourceRow, const QModelIndex& sourceParent) const
{
    return !sourceParent.isValid() && Accepts(sourceRow);
}

std::vector<int> TEventFilterModel::ShownTableRows() const
{
    std::vector<int> rows;
    rows.reserve(size_t(rowCount()));
    for (int r = 0; r < rowCount(); ++r)
        rows.push_back(mapToSource(index(r, 0)).row());
    return rows;
}
