#include "logger/gridFilter.h"

#include "logger/core/csvExport.h"
#include "logger/core/eventFilterModel.h"
#include "logger/core/eventTableModel.h"
#include "logger/eventGrid.h"
#include "logger/filterBar.h"
#include "logger/messageBoxes.h"

#include <QFileDialog>
#include <QItemSelectionModel>
#include <QTimer>
#include <QToolButton>

TGridFilter::TGridFilter(TEventGrid* grid, TEventTableModel* table, QWidget* barParent)
    : QObject(grid)
    , m_grid(grid)
    , m_table(table)
    , m_bar(new TFilterBar(barParent))
    , m_filterModel(new TEventFilterModel(this))
    , m_countTimer(new QTimer(this))
{
    m_countTimer->setSingleShot(true);
    m_countTimer->setInterval(kCountRefreshMs);
    connect(m_countTimer, &QTimer::timeout, this, &TGridFilter::ShowCount);
    connect(m_bar, &TFilterBar::FilterChanged, this, &TGridFilter::SetFilter);
    connect(m_bar->btnExport, &QToolButton::clicked, this, &TGridFilter::Export);
    askExportPath = [](QWidget* parent) {
        return QFileDialog::getSaveFileName(parent, QStringLiteral("Export Shown Alarms"), QString(),
            QStringLiteral("Log files (*.log *.csv);;All files (*)"));
    };
    showError = ShowErrorBox;
    // Loading, clearing and new rows change the count.
    connect(m_table, &QAbstractItemModel::modelReset, this, &TGridFilter::ShowCount);
    connect(m_table, &QAbstractItemModel::rowsInserted, this, &TGridFilter::CountLater);
    connect(m_table, &QAbstractItemModel::dataChanged, this, &TGridFilter::CountLater);
    ShowCount();
}

void TGridFilter::SetFilter(const TEventFilter& filter)
{
    const bool active = filter.Active();
    QItemSelectionModel* old = m_grid->selectionModel();
    if (active) {
        if (!m_active)
            m_filterModel->SetTable(m_table);
        m_filterModel->SetFilter(filter);
        if (!m_active)
            m_grid->setModel(m_filterModel);
    } else if (m_active) {
        m_grid->setModel(m_table);
        m_filterModel->SetTable(nullptr);
        m_filterModel->SetFilter(filter);
    }
    if (active != m_active) {
        m_active = active;
        if (old && old != m_grid->selectionModel())
            old->deleteLater();
        emit GridModelChanged();
    }
    ShowCount();
}

std::vector<int> TGridFilter::ShownTableRows() const
{
    if (m_active)
        return m_filterModel->ShownTableRows();
    std::vector<int> rows;
    for (int r = 0; r < m_table->rowCount(); ++r)
        if (!m_table->RowEmpty(r))
            rows.push_back(r);
    return rows;
}

int TGridFilter::GridRow(int tableRow) const
{
    if (!m_active)
        return tableRow;
    return m_filterModel->mapFromSource(m_table->index(tableRow, 0)).row();
}

qint64 TGridFilter::TotalCount() const
{
    qint64 n = 0;
    for (int r = 0; r < m_table->rowCount(); ++r)
        n += m_table->RowEmpty(r) ? 0 : 1;
    return n;
}

void TGridFilter::CountLater()
{
    if (!m_countTimer->isActive())
        m_countTimer->start();
}

void TGridFilter::ShowCount()
{
    const qint64 total = TotalCount();
    m_bar->ShowCount(m_active ? m_filterModel->rowCount() : total, total);
}

void TGridFilter::Export()
{
    const QString path = askExportPath(m_grid->window());
    if (path.isEmpty())
        return;
    QString error;
    if (!ExportRows(*m_table, ShownTableRows(), path, &error))
        showError(m_grid->window(), error);
}
