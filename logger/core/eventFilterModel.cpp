#include "logger/core/eventFilterModel.h"

#include "logger/core/eventTableModel.h"
#include "common/latin1.h"

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
    table_ = table;
    setSourceModel(table);
}

void TEventFilterModel::SetFilter(const TEventFilter& filter)
{
    filter_ = filter;
    // Characters a single-byte cell can't hold match nothing, as they should.
    source_ = filter.Source.toLatin1();
    text_ = filter.Text.toLatin1();
    invalidateFilter();
}

bool TEventFilterModel::Accepts(int row) const
{
    if (!table_)
        return false;
    if (!filter_.Active())
        return true;
    if (table_->RowEmpty(row))
        return false;
    const int tag = table_->Tag(row);
    if (tag >= 0 && tag < kEventTypeCount && !filter_.Types[size_t(tag)])
        return false;
    if (!source_.isEmpty() && !Contains(table_->TextKey(row, colSourceName), source_)
        && !Contains(table_->TextKey(row, colSourceIp), source_))
        return false;
    if (!text_.isEmpty()) {
        const QByteArray number = table_->CellText(row, colNumber);
        bool found = Contains(std::string_view(number.constData(), size_t(number.size())), text_);
        for (int c = colEventType; !found && c < kEventColumnCount; ++c)
            found = Contains(table_->TextKey(row, c), text_);
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
