#pragma once
#include "logger/eventHeader.h"

#include <QTableView>

// The event table of both windows: six columns, 20-pixel rows, whole-row
// selection, no editing. The "#" column is fixed: its cells are painted again
// over the left edge as a heading column that never scrolls sideways. (A
// second table view would do the same at twice the cost of every new row.)
class TEventGrid : public QTableView {
    Q_OBJECT
public:
    explicit TEventGrid(QWidget* parent = nullptr);
    void setModel(QAbstractItemModel* model) override;

    TEventHeader* Header() const { return m_header; }
    // The header over the fixed "#" column.
    TEventHeader* FixedHeader() const { return m_fixedHeader; }
    QWidget* FixedColumn() const { return m_fixed; }

signals:
    // A mouse release on either header; column as TEventHeader::ColumnAt.
    void HeaderReleased(int column);

protected:
    void resizeEvent(QResizeEvent* event) override;
    void updateGeometries() override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void PlaceFixedColumn();

    TEventHeader* m_header;
    QWidget* m_fixed; // paints the "#" cells over the left edge
    TEventHeader* m_fixedHeader;
};
