#pragma once
// The rows of an event table: six single-byte texts and the event type tag
// each. The texts live in one byte pool per table, so a day of a million
// alarms stays small and sorting only moves small row records.
#include "logger/core/blockList.h"
#include "logger/core/eventRecord.h"

#include <QAbstractTableModel>
#include <QByteArray>
#include <QByteArrayView>
#include <string_view>
#include <vector>

class TEventTableModel : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit TEventTableModel(QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    // Leaves one empty data row with tag 0.
    void Clear();

    // The cell text as bytes ("#" formatted with "%.02d", empty in an empty row).
    QByteArray CellText(int row, int column) const;
    TEventRecord Record(int row) const;
    int Tag(int row) const { return m_rows[size_t(row)].tag; }
    // "#" cell empty: the row never received an alarm or a good log line.
    bool RowEmpty(int row) const { return m_rows[size_t(row)].number == 0; }

    // Puts an alarm into the table the way a new alarm goes in: into the last
    // row when its "#" is empty, otherwise into a new row. "#" becomes the
    // row's position counted from 1. When the table is in the order of its
    // last sort, the new row is placed by binary search and the order kept.
    // Returns the row it landed in.
    int AddAlarm(const TEventRecord& record);

    // Redraws the text colours after a change of the event type colours.
    void ApplyColors();

    // For the sort: whether the rows are in the order of (column, ascending)
    // since the last sort.
    bool IsSortedBy(int column, bool ascending) const
    {
        return m_sorted && m_sortColumn == column && m_sortAscending == ascending;
    }

    // Sort keys of a row, computed once per row by the sort: the number for
    // column 0 (0 for an empty cell), the cell bytes for the others.
    int NumberKey(int row) const { return m_rows[size_t(row)].number; }
    std::string_view TextKey(int row, int column) const;

    // Reorders the rows: the new row i is the old row order[i]. Selections
    // follow their rows. Marks the table as sorted by (column, ascending).
    void ApplyOrder(const std::vector<int>& order, int column, bool ascending);

    // For the log loader: replace all rows at once. Each row either a record
    // (with number > 0) or empty.
    struct TRow {
        qint64 offset = 0; // of cell 1 in the pool; cells 1..5 follow one another
        int length[kEventColumnCount - 1] {};
        int number = 0; // "#"; 0 for an empty cell
        int tag = 0;
    };
    void ResetRows(std::vector<TRow>&& rows, QByteArray&& pool);

private:
    QByteArrayView Cell(const TRow& row, int column) const;
    TRow MakeRow(const TEventRecord& record, int number);
    int InsertPosition(const TRow& row) const;

    TBlockList<TRow> m_rows;
    QByteArray m_pool;
    bool m_sorted = false;
    int m_sortColumn = 0;
    bool m_sortAscending = false;
};
