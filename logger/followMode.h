#pragma once
// The live table follows the newest alarm at its sorted position until the
// operator scrolls away; then the follow control says so, and a click on it
// brings the table back to the newest alarm and follows again.
#include <QObject>
#include <QPersistentModelIndex>

class QTimer;
class QToolButton;
class TEventGrid;
class TEventTableModel;
class TGridFilter;

class TFollowMode : public QObject {
    Q_OBJECT
public:
    // New alarms are scrolled to at most this often.
    static constexpr int kFollowRefreshMs = 100;

    TFollowMode(TEventGrid* grid, TEventTableModel* table, TGridFilter* filter, QToolButton* control);

    bool Following() const { return m_following; }
    void SetFollowing(bool on);

    // A new alarm landed in this table row.
    void AlarmAt(int tableRow);

    // Shows the newest alarm now (when it is shown at all).
    void ScrollToNewest();

signals:
    void FollowingChanged(bool on);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void ShowState();

    TEventGrid* m_grid;
    QObject* m_viewport; // the grid's, for comparison only
    QObject* m_gridObject;
    TEventTableModel* m_table;
    TGridFilter* m_filter;
    QToolButton* m_control;
    QTimer* m_refresh;
    QPersistentModelIndex m_newest;
    bool m_following = true;
    bool m_scrolling = false; // our own scroll, not the operator's
};
