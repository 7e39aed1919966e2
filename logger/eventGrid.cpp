#include "logger/eventGrid.h"

#include "logger/core/eventRecord.h"

#include <QCoreApplication>
#include <QItemSelectionModel>
#include <QMouseEvent>
#include <QPainter>
#include <QWheelEvent>
#include <algorithm>

namespace {
const int kColumnWidths[kEventColumnCount] = { 60, 100, 200, 200, 150, 150 };

void SetUpRows(QTableView* view)
{
    view->verticalHeader()->hide();
    view->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    view->verticalHeader()->setMinimumSectionSize(20);
    view->verticalHeader()->setDefaultSectionSize(20);
    view->setSelectionBehavior(QAbstractItemView::SelectRows);
    view->setSelectionMode(QAbstractItemView::SingleSelection);
    view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    view->setSortingEnabled(false);
    view->setWordWrap(false);
    view->setShowGrid(true);
}
} // namespace

namespace {

// The cells of column 0, drawn as headings at the rows the grid shows.
class TFixedCells : public QWidget {
public:
    explicit TFixedCells(TEventGrid* grid)
        : QWidget(grid)
        , grid_(grid)
    {
        setAttribute(Qt::WA_OpaquePaintEvent);
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter p(this);
        const QPalette pal = palette();
        p.fillRect(rect(), pal.button());
        const QAbstractItemModel* model = grid_->model();
        if (model && model->rowCount() > 0) {
            int first = grid_->rowAt(0);
            int last = grid_->rowAt(height() - 1);
            if (last < 0)
                last = model->rowCount() - 1;
            const QItemSelectionModel* selection = grid_->selectionModel();
            for (int r = std::max(first, 0); first >= 0 && r <= last; ++r) {
                const QRect cell(0, grid_->rowViewportPosition(r), width(), grid_->rowHeight(r));
                const bool selected = selection && selection->isRowSelected(r, {});
                if (selected)
                    p.fillRect(cell, pal.highlight());
                p.setPen(selected ? pal.color(QPalette::HighlightedText) : pal.color(QPalette::ButtonText));
                p.drawText(cell.adjusted(4, 0, -2, -1), Qt::AlignLeft | Qt::AlignVCenter,
                    model->data(model->index(r, 0)).toString());
                p.setPen(Qt::black);
                p.drawLine(cell.left(), cell.bottom(), cell.right(), cell.bottom());
            }
        }
        p.setPen(Qt::black);
        p.drawLine(width() - 1, 0, width() - 1, height() - 1);
    }
    void mousePressEvent(QMouseEvent* event) override
    {
        const int row = grid_->rowAt(event->position().toPoint().y());
        if (row >= 0)
            grid_->selectRow(row);
    }
    void wheelEvent(QWheelEvent* event) override { QCoreApplication::sendEvent(grid_->viewport(), event); }

private:
    TEventGrid* grid_;
};

} // namespace

TEventGrid::TEventGrid(QWidget* parent)
    : QTableView(parent)
    , header_(new TEventHeader(this))
    , fixed_(new TFixedCells(this))
    , fixedHeader_(new TEventHeader(this))
{
    setHorizontalHeader(header_);
    SetUpRows(this);
    setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    header_->setStretchLastSection(false);
    header_->setSectionResizeMode(QHeaderView::Interactive);
    header_->setFixedHeight(22);
    fixedHeader_->setFixedHeight(22);
    fixedHeader_->setSectionResizeMode(QHeaderView::Fixed);
    // Whatever repaints the rows repaints the fixed cells too.
    viewport()->installEventFilter(this);

    connect(header_, &QHeaderView::sectionCountChanged, this, [this](int, int count) {
        for (int c = 0; c < count && c < kEventColumnCount; ++c)
            header_->resizeSection(c, kColumnWidths[c]);
    });
    connect(header_, &QHeaderView::sectionResized, this, [this](int section, int, int size) {
        if (section == 0) {
            fixedHeader_->resizeSection(0, size);
            PlaceFixedColumn();
        }
    });
    connect(header_, &TEventHeader::HeaderReleased, this, &TEventGrid::HeaderReleased);
    connect(fixedHeader_, &TEventHeader::HeaderReleased, this, &TEventGrid::HeaderReleased);
}

void TEventGrid::setModel(QAbstractItemModel* model)
{
    QTableView::setModel(model);
    fixedHeader_->setModel(model);
    for (int c = 1; c < model->columnCount(); ++c)
        fixedHeader_->setSectionHidden(c, true);
    fixedHeader_->resizeSection(0, columnWidth(0));
    PlaceFixedColumn();
}

bool TEventGrid::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == viewport() && event->type() == QEvent::Paint)
        fixed_->update();
    return QTableView::eventFilter(watched, event);
}

void TEventGrid::resizeEvent(QResizeEvent* event)
{
    QTableView::resizeEvent(event);
    PlaceFixedColumn();
}

void TEventGrid::updateGeometries()
{
    QTableView::updateGeometries();
    PlaceFixedColumn();
}

void TEventGrid::PlaceFixedColumn()
{
    if (!fixed_)
        return;
    const int w = columnWidth(0);
    fixedHeader_->setGeometry(frameWidth(), frameWidth(), w, header_->height());
    fixed_->setGeometry(frameWidth(), frameWidth() + header_->height(), w, viewport()->height());
    fixedHeader_->raise();
    fixed_->raise();
}
