#include "logger/gridFilter.h"

#include "logger/core/csvExport.h"
#include "logger/core/eventFilterModel.h"
#include "logger/core/eventTableModel.h"
#include "logger/filterBar.h"
#include "logger/eventGrid.h"
#include "logger/messageBoxes.h"

#include <QFileDialog>
#include <QItemSelectionModel>
#include <QTimer>
#include <QToolButton>

TGridFilter::TGridFilter(TEventGrid* grid, TEventTableModel* table, QWidget* barParent)
    : QObject(grid)
    , grid_(grid)
    , table_(table)
    , bar_(new TFilterBar(barParent))
    , filterModel_(new TEventFilterModel(this))
    , countTimer_(new QTimer(this))
{
    countTimer_->setSingleShot(true);
    countTimer_->setInterval(kCountRefreshMs);
    connect(countTimer_, &QTimer::timeout, this, &TGridFilter::ShowCount);
    connect(bar_, &TFilterBar::FilterChanged, this, &TGridFilter::SetFilter);
    connect(bar_->btnExport, &QToolButton::clicked, this, &TGridFilter::Export);
    AskExportPath = [](QWidget* parent) {
        return QFileDialog::getSaveFileName(parent, QStringLiteral("Export Shown Alarms"), QString(),
            QStringLiteral("Log files (*.log *.csv);;All files (*)"));
    };
    ShowError = ShowErrorBox;
    // Loading, clearing and new rows change the count.
    connect(table_, &QAbstractItemModel::modelReset, this, &TGridFilter::ShowCount);
    connect(table_, &QAbstractItemModel::rowsInserted, this, &TGridFilter::CountLater);
    connect(table_, &QAbstractItemModel::dataChanged, this, &TGridFilter::CountLater);
    ShowCount();
}

void TGridFilter::SetFilter(const TEventFilter& filter)
{
    const bool active = filter.Active();
    QItemSelectionModel* old = grid_->selectionModel();
    if (active) {
        if (!active_)
            filterModel_->SetTable(table_);
        filterModel_->SetFilter(filter);
        if (!active_)
            grid_->setModel(filterModel_);
    } else if (active_) {
        grid_->setModel(table_);
        filterModel_->SetTable(nullptr);
        filterModel_->SetFilter(filter);
    }
    if (active != active_) {
        active_ = active;
        if (old && old != grid_->selectionModel())
            old->deleteLater();
        emit GridModelChanged();
    }
    ShowCount();
}

std::vector<int> TGridFilter::ShownTableRows() const
{
    if (active_)
        return filterModel_->ShownTableRows();
    std::vector<int> rows;
    for (int r = 0; r < table_->rowCount(); ++r)
        if (!table_->RowEmpty(r))
            rows.push_back(r);
    return rows;
}

int TGridFilter::GridRow(int tableRow) const
{
    if (!active_)
        return tableRow;
    return filterModel_->mapFromSource(table_->index(tableRow, 0)).row();
}

qint64 TGridFilter::TotalCount() const
{
    qint64 n = 0;
    for (int r = 0; r < table_->rowCount(); ++r)
        n += table_->RowEmpty(r) ? 0 : 1;
    return n;
}

void TGridFilter::CountLater()
{
    if (!countTimer_->isActive())
        countTimer_->start();
}

void TGridFilter::ShowCount()
{
    const qint64 total = TotalCount();
    bar_->ShowCount(active_ ? filterModel_->rowCount() : total, total);
}

void TGridFilter::Export()
{
    const QString path = AskExportPath(grid_->window());
    if (path.isEmpty())
        return;
    QString error;
    if (!ExportRows(*table_, ShownTableRows(), path, &error))
        ShowError(grid_->window(), error);
}
