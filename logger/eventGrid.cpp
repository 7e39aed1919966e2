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
        , m_grid(grid)
    {
        setAttribute(Qt::WA_OpaquePaintEvent);
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter p(this);
        const QPalette pal = palette();
        p.fillRect(rect(), pal.button());
        const QAbstractItemModel* model = m_grid->model();
        if (model && model->rowCount() > 0) {
            int first = m_grid->rowAt(0);
            int last = m_grid->rowAt(height() - 1);
            if (last < 0)
                last = model->rowCount() - 1;
            const QItemSelectionModel* selection = m_grid->selectionModel();
            for (int r = std::max(first, 0); first >= 0 && r <= last; ++r) {
                const QRect cell(0, m_grid->rowViewportPosition(r), width(), m_grid->rowHeight(r));
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
        const int row = m_grid->rowAt(event->position().toPoint().y());
        if (row >= 0)
            m_grid->selectRow(row);
    }
    void wheelEvent(QWheelEvent* event) override { QCoreApplication::sendEvent(m_grid->viewport(), event); }

private:
    TEventGrid* m_grid;
};

} // namespace

TEventGrid::TEventGrid(QWidget* parent)
    : QTableView(parent)
    , m_header(new TEventHeader(this))
    , m_fixed(new TFixedCells(this))
    , m_fixedHeader(new TEventHeader(this))
{
    setHorizontalHeader(m_header);
    SetUpRows(this);
    setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    m_header->setStretchLastSection(false);
    m_header->setSectionResizeMode(QHeaderView::Interactive);
    m_header->setFixedHeight(22);
    m_fixedHeader->setFixedHeight(22);
    m_fixedHeader->setSectionResizeMode(QHeaderView::Fixed);
    // Whatever repaints the rows repaints the fixed cells too.
    viewport()->installEventFilter(this);

    connect(m_header, &QHeaderView::sectionCountChanged, this, [this](int, int count) {
        for (int c = 0; c < count && c < kEventColumnCount; ++c)
            m_header->resizeSection(c, kColumnWidths[c]);
    });
    connect(m_header, &QHeaderView::sectionResized, this, [this](int section, int, int size) {
        if (section == 0) {
            m_fixedHeader->resizeSection(0, size);
            PlaceFixedColumn();
        }
    });
    connect(m_header, &TEventHeader::HeaderReleased, this, &TEventGrid::HeaderReleased);
    connect(m_fixedHeader, &TEventHeader::HeaderReleased, this, &TEventGrid::HeaderReleased);
}

void TEventGrid::setModel(QAbstractItemModel* model)
{
    QTableView::setModel(model);
    m_fixedHeader->setModel(model);
    for (int c = 1; c < model->columnCount(); ++c)
        m_fixedHeader->setSectionHidden(c, true);
    m_fixedHeader->resizeSection(0, columnWidth(0));
    PlaceFixedColumn();
}

bool TEventGrid::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == viewport() && event->type() == QEvent::Paint)
        m_fixed->update();
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
    if (!m_fixed)
        return;
    const int w = columnWidth(0);
    m_fixedHeader->setGeometry(frameWidth(), frameWidth(), w, m_header->height());
    m_fixed->setGeometry(frameWidth(), frameWidth() + m_header->height(), w, viewport()->height());
    m_fixedHeader->raise();
    m_fixed->raise();
}
