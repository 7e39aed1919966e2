#include "logger/eventHeader.h"

#include <QGuiApplication>
#include <QMouseEvent>
#include <QStyle>
#include <utility>

TEventHeader::TEventHeader(QWidget* parent)
    : QHeaderView(Qt::Horizontal, parent)
{
    setMouseTracking(true);
    setSectionsClickable(false);
    setHighlightSections(false);
    setDefaultAlignment(Qt::AlignCenter);
    connect(this, &QHeaderView::sectionResized, this, [this] {
        if (QGuiApplication::mouseButtons() != Qt::NoButton)
            m_resizing = true;
    });
}

void TEventHeader::mousePressEvent(QMouseEvent* event)
{
    m_resizing = false;
    QHeaderView::mousePressEvent(event);
}

int TEventHeader::ColumnAt(int x) const
{
    for (int c = 0; c < count(); ++c) {
        if (isSectionHidden(c))
            continue;
        const int left = sectionViewportPosition(c);
        const int right = left + sectionSize(c) - 1; // the line after the cell
        if (left < x && x < right)
            return c;
    }
    return -1;
}

void TEventHeader::mouseMoveEvent(QMouseEvent* event)
{
    QHeaderView::mouseMoveEvent(event);
    const QPoint p = event->position().toPoint();
    const int column = p.y() < height() ? ColumnAt(p.x()) : -1;
    bool hand = column >= 0;
    if (hand && sectionResizeMode(column) == QHeaderView::Interactive) {
        // Within the grip margin of a border the header offers its resize cursor.
        const int grip = style()->pixelMetric(QStyle::PM_HeaderGripMargin, nullptr, this);
        const int left = sectionViewportPosition(column);
        hand = p.x() > left + grip && p.x() < left + sectionSize(column) - 1 - grip;
    }
    if (hand)
        viewport()->setCursor(Qt::PointingHandCursor);
    else if (viewport()->cursor().shape() == Qt::PointingHandCursor)
        viewport()->unsetCursor();
}

void TEventHeader::mouseReleaseEvent(QMouseEvent* event)
{
    QHeaderView::mouseReleaseEvent(event);
    const QPoint p = event->position().toPoint();
    const bool resized = std::exchange(m_resizing, false);
    if (!resized && p.y() >= 0 && p.y() < height())
        emit HeaderReleased(ColumnAt(p.x()));
}

void TEventHeader::leaveEvent(QEvent* event)
{
    if (viewport()->cursor().shape() == Qt::PointingHandCursor)
        viewport()->unsetCursor();
    QHeaderView::leaveEvent(event);
}
