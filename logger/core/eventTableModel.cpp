#include "logger/core/eventTableModel.h"

#include "common/latin1.h"
#include "logger/core/alarmMessage.h"
#include "logger/core/eventTypes.h"

#include <QBrush>
#include <QFont>
#include <algorithm>

namespace {
const char* const kCaptions[kEventColumnCount]
    = { "#", "Event type", "Event Date/Time", "Source Name", "Source IP", "Destination IP" };
}

TEventTableModel::TEventTableModel(QObject* parent)
    : QAbstractTableModel(parent)
{
    m_rows.push_back(TRow());
}

int TEventTableModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(m_rows.size());
}

int TEventTableModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : kEventColumnCount;
}

QByteArrayView TEventTableModel::Cell(const TRow& row, int column) const
{
    qint64 offset = row.offset;
    for (int c = 1; c < column; ++c)
        offset += row.length[c - 1];
    return QByteArrayView(m_pool.constData() + offset, row.length[column - 1]);
}

std::string_view TEventTableModel::TextKey(int row, int column) const
{
    const QByteArrayView v = Cell(m_rows[size_t(row)], column);
    return std::string_view(v.data(), size_t(v.size()));
}

QByteArray TEventTableModel::CellText(int row, int column) const
{
    const TRow& r = m_rows[size_t(row)];
    if (column == colNumber)
        return r.number ? FormatRowNumber(r.number) : QByteArray();
    return Cell(r, column).toByteArray();
}

TEventRecord TEventTableModel::Record(int row) const
{
    TEventRecord rec;
    for (int c = 0; c < kEventColumnCount; ++c)
        rec.cells[size_t(c)] = CellText(row, c);
    rec.tag = Tag(row);
    return rec;
}

QVariant TEventTableModel::data(const QModelIndex& index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return {};
    const TRow& r = m_rows[size_t(index.row())];
    switch (role) {
    case Qt::DisplayRole: {
        if (index.column() == colNumber)
            return r.number ? FromWire(FormatRowNumber(r.number)) : QString();
        const QByteArrayView cell = Cell(r, index.column());
        return FromWire(cell.data(), cell.size());
    }
    case Qt::ForegroundRole:
        // The "#" column is a heading, never coloured; a selected cell is
        // drawn in the highlight colours by the view, whatever this says.
        if (index.column() == colNumber)
            return {};
        return QBrush(EventColor(r.tag));
    default:
        return {};
    }
}

QVariant TEventTableModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || section < 0 || section >= kEventColumnCount)
        return {};
    switch (role) {
    case Qt::DisplayRole:
        return QString::fromLatin1(kCaptions[section]);
    case Qt::FontRole: {
        QFont bold;
        bold.setBold(true);
        return bold;
    }
    case Qt::TextAlignmentRole:
        return int(Qt::AlignCenter);
    default:
        return {};
    }
}

Qt::ItemFlags TEventTableModel::flags(const QModelIndex& index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
}

void TEventTableModel::Clear()
{
    beginResetModel();
    m_rows.clear();
    m_rows.push_back(TRow());
    m_pool.clear();
    m_sorted = false;
    endResetModel();
}

void TEventTableModel::ResetRows(std::vector<TRow>&& rows, QByteArray&& pool)
{
    beginResetModel();
    if (rows.empty())
        rows.emplace_back();
    m_rows.assign(std::move(rows));
    m_pool = std::move(pool);
    m_sorted = false;
    endResetModel();
}

TEventTableModel::TRow TEventTableModel::MakeRow(const TEventRecord& record, int number)
{
    TRow row;
    row.offset = m_pool.size();
    for (int c = 1; c < kEventColumnCount; ++c) {
        m_pool.append(record.cells[size_t(c)]);
        row.length[c - 1] = int(record.cells[size_t(c)].size());
    }
    row.number = number;
    row.tag = record.tag;
    return row;
}

int TEventTableModel::InsertPosition(const TRow& row) const
{
    // Upper bound in the current order, so the new row follows its equals.
    auto before = [&](const TRow& a, const TRow& b) {
        if (m_sortColumn == colNumber)
            return m_sortAscending ? a.number < b.number : b.number < a.number;
        const QByteArrayView ka = Cell(a, m_sortColumn), kb = Cell(b, m_sortColumn);
        const std::string_view sa(ka.data(), size_t(ka.size())), sb(kb.data(), size_t(kb.size()));
        return m_sortAscending ? sa < sb : sb < sa;
    };
    size_t lo = 0, hi = m_rows.size();
    while (lo < hi) {
        const size_t mid = lo + (hi - lo) / 2;
        if (before(row, m_rows[mid]))
            hi = mid;
        else
            lo = mid + 1;
    }
    return int(lo);
}

int TEventTableModel::AddAlarm(const TEventRecord& record)
{
    const int last = int(m_rows.size()) - 1;
    if (m_rows.back().number == 0) {
        // The empty last row takes the alarm; where it belongs is left to the sort.
        m_rows.back() = MakeRow(record, last + 1);
        m_sorted = false;
        emit dataChanged(index(last, 0), index(last, kEventColumnCount - 1));
        return last;
    }
    TRow row = MakeRow(record, last + 2);
    const int at = m_sorted ? InsertPosition(row) : last + 1;
    beginInsertRows({}, at, at);
    m_rows.insert(size_t(at), row);
    endInsertRows();
    return at;
}

void TEventTableModel::ApplyColors()
{
    if (!m_rows.empty())
        emit dataChanged(index(0, 1), index(rowCount() - 1, kEventColumnCount - 1), { Qt::ForegroundRole });
}

void TEventTableModel::ApplyOrder(const std::vector<int>& order, int column, bool ascending)
{
    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    std::vector<TRow> all;
    all.reserve(m_rows.size());
    m_rows.ForEach([&](const TRow& r) { all.push_back(r); });
    std::vector<TRow> sortedRows;
    sortedRows.reserve(all.size());
    for (int from : order)
        sortedRows.push_back(all[size_t(from)]);
    m_rows.assign(std::move(sortedRows));

    const QModelIndexList before = persistentIndexList();
    if (!before.isEmpty()) {
        std::vector<int> newPosition(order.size());
        for (size_t i = 0; i < order.size(); ++i)
            newPosition[size_t(order[i])] = int(i);
        QModelIndexList after;
        after.reserve(before.size());
        for (const QModelIndex& idx : before)
            after.append(index(newPosition[size_t(idx.row())], idx.column()));
        changePersistentIndexList(before, after);
    }
    m_sorted = true;
    m_sortColumn = column;
    m_sortAscending = ascending;
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}
