#pragma once
// Ties a filter bar to an event grid and its table. Without a filter the
// grid shows the table itself and the filter model is detached, so a live
// table pays nothing; with one the grid shows the filter model.
#include "logger/core/eventFilter.h"

#include <QObject>
#include <functional>
#include <vector>

class QTimer;
class TEventFilterModel;
class TEventGrid;
class TEventTableModel;
class TFilterBar;

class TGridFilter : public QObject {
    Q_OBJECT
public:
    // The count is redrawn at most this often while alarms arrive.
    static constexpr int kCountRefreshMs = 250;

    TGridFilter(TEventGrid* grid, TEventTableModel* table, QWidget* barParent);

    TFilterBar* Bar() const { return m_bar; }
    TEventFilterModel* FilterModel() const { return m_filterModel; }
    bool Active() const { return m_active; }

    void SetFilter(const TEventFilter& filter);

    // The table rows the grid shows, top to bottom (rows that never got an
    // alarm left out).
    std::vector<int> ShownTableRows() const;
    // The grid row of a table row; -1 when it is not shown.
    int GridRow(int tableRow) const;

    // Rows with an alarm in the table.
    qint64 TotalCount() const;

    // Redraws "shown of total" soon.
    void CountLater();

    // The export button: the rows shown into a file the operator names.
    void Export();
    // Asks for the file; empty: cancelled. Tests put an answer here.
    std::function<QString(QWidget*)> askExportPath;
    // Reports a failed export; tests put a recorder here.
    std::function<void(QWidget*, const QString&)> showError;

signals:
    // The grid got another model.
    void GridModelChanged();

private:
    void ShowCount();

    TEventGrid* m_grid;
    TEventTableModel* m_table;
    TFilterBar* m_bar;
    TEventFilterModel* m_filterModel;
    QTimer* m_countTimer;
    bool m_active = false;
};
