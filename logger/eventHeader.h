#pragma once
#include <QHeaderView>

// Header of an event table: a pointing hand over its cells, and a report of
// every mouse release on it with the column under the pointer.
class TEventHeader : public QHeaderView {
    Q_OBJECT
public:
    explicit TEventHeader(QWidget* parent = nullptr);

    // The visible column whose header cell has x strictly between its left
    // and right edges; -1 on a border line or past the last column.
    int ColumnAt(int x) const;

signals:
    // A release of any button while the pointer is within the header row's
    // height; column as ColumnAt. Not after dragging a column border, which
    // widens a column and is no click.
    void HeaderReleased(int column);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    bool m_resizing = false; // a column border was dragged since the press
};
