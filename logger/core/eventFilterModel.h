#pragma once
// The rows of an event table that pass a filter, in the table's own order
// (the table sorts; this only leaves rows out). Rows that never received an
// alarm are left out while a filter is active.
//
// Attach it only while a filter is active: an attached proxy follows every
// insertion and sort of its table, which a large live table should not pay
// for when nothing is filtered.
#include "logger/core/eventFilter.h"

#include <QByteArray>
#include <QSortFilterProxyModel>
#include <vector>

class TEventTableModel;

class TEventFilterModel : public QSortFilterProxyModel {
    Q_OBJECT
public:
    explicit TEventFilterModel(QObject* parent = nullptr);

    void SetTable(TEventTableModel* table);
    TEventTableModel* Table() const { return m_table; }

    void SetFilter(const TEventFilter& filter);
    const TEventFilter& Filter() const { return m_filter; }

    // Whether the row of the table passes the filter.
    bool Accepts(int tableRow) const;

    // Table rows shown, top to bottom.
    std::vector<int> ShownTableRows() const;

protected:
    bool filterAcceptsRow(int sourceRow, const QModelIndex& sourceParent) const override;

private:
    TEventTableModel* m_table = nullptr;
    TEventFilter m_filter;
    QByteArray m_source; // the filter texts as table bytes (Latin-1)
    QByteArray m_text;
};
