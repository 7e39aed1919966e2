#pragma once
// "Alarm Log Viewer": the alarms of one day's log file.
#include <QDate>
#include <QDialog>
#include <QSize>

class QLabel;
class QPushButton;
class TEventGrid;
class TEventTableModel;
class TGridFilter;

// Outer size of the viewer, frame included.
inline constexpr QSize kViewerOuterSize { 878, 460 };

class TfmViewLog : public QDialog {
    Q_OBJECT
public:
    TfmViewLog(const QDate& date, const QString& path, QWidget* parent = nullptr);

    TEventTableModel* EventModel() const { return m_model; }
    // The filter row with its export.
    TGridFilter* Filter() const { return m_filter; }

    TEventGrid* xgEvent;
    QPushButton* btnReload;
    QLabel* lbRecords;

    void btnReloadClick();

protected:
    void showEvent(QShowEvent* event) override;

private:
    void xgEventMouseUp(int column);
    void PlaceOverParent();

    QString m_path;
    bool m_sortDir = false; // the direction of the next header click
    bool m_shown = false;
    TEventTableModel* m_model;
    TGridFilter* m_filter;
};
