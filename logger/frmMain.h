#pragma once
// The main window of Alarmkeeper: the live event table, the alarm listener
// and the daily log.
#include "akSettings.h"
#include "eventRecord.h"

#include <QByteArrayView>
#include <QDateTime>
#include <QHeaderView>
#include <QMainWindow>
#include <QTableView>
#include <functional>

class QTcpServer;
class QTcpSocket;
class QToolButton;
class QAction;
class TEventTableModel;
class TConnectionAcceptor;
class TSingleInstance;

// Boxes of the program: a message box (OK, captioned with the application
// title), a confirmation box ("Confirm", Yes default, Escape answers No; its
// close box gives neither answer) and an error box.
enum class TAnswer { Yes, No, Closed };
void ShowMessageBox(QWidget* parent, const QString& text);
TAnswer ShowConfirmBox(QWidget* parent, const QString& text);
void ShowErrorBox(QWidget* parent, const QString& text);

inline constexpr const char* kAppTitle = "KORVEL Alarmkeeper";
// Outer size of the main window, frame included.
inline constexpr QSize kMainOuterSize { 879, 589 };

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
    bool resizing_ = false; // a column border was dragged since the press
};

// The event table of both windows: six columns, 20-pixel rows, whole-row
// selection, no editing. The "#" column is fixed: its cells are painted again
// over the left edge as a heading column that never scrolls sideways. (A
// second table view would do the same at twice the cost of every new row.)
class TEventGrid : public QTableView {
    Q_OBJECT
public:
    explicit TEventGrid(QWidget* parent = nullptr);
    void setModel(QAbstractItemModel* model) override;

    TEventHeader* Header() const { return header_; }
    // The header over the fixed "#" column.
    TEventHeader* FixedHeader() const { return fixedHeader_; }
    QWidget* FixedColumn() const { return fixed_; }

signals:
    // A mouse release on either header; column as TEventHeader::ColumnAt.
    void HeaderReleased(int column);

protected:
    void resizeEvent(QResizeEvent* event) override;
    void updateGeometries() override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void PlaceFixedColumn();

    TEventHeader* header_;
    QWidget* fixed_; // paints the "#" cells over the left edge
    TEventHeader* fixedHeader_;
};

class TfmMain : public QMainWindow {
    Q_OBJECT
public:
    using TClock = std::function<QDateTime()>;

    // programDir: the folder of the program (default: the executable's);
    // clock: the local date and time (default: the system's).
    explicit TfmMain(const QString& programDir = QString(), TClock clock = {}, QWidget* parent = nullptr);
    ~TfmMain() override;

    // The settings as they stand, colours from EventTypeTable.
    TAkSettings CurrentSettings() const;
    // After the settings dialog's OK: keeps the values (a new port counts
    // from the next start), takes the colours, stores all six values and
    // recolours the table.
    void ApplySettings(const TAkSettings& settings);
    // Redraws the table in the colours of EventTypeTable.
    void ApplyColors();

    // Checks and decodes one message of 58 bytes, adds its row, logs it and
    // sorts the table. A message that fails a check leaves no trace.
    void HandleAlarm(QByteArrayView message);

    // Log > Open once the day is chosen: the viewer, or the message that
    // there is no file.
    void OpenLogOfDate(const QDate& date);

    // A later start of the program brings this window forward, with its
    // open dialog on top.
    void FollowLaterStarts(TSingleInstance& instance);

    TEventTableModel* EventModel() const { return model_; }
    QString AppDir() const { return appDir_; }
    QTcpServer* Listener() const { return ServerSocket1; }
    TConnectionAcceptor* Acceptor() const { return acceptor_; }

    // The additions for a control room (central log, filters, alerts).
    class TControlRoom* ControlRoom() const { return controlRoom_; }

    TEventGrid* xgEvent;
    QToolButton* btnSystem;
    QToolButton* btnLog;
    QToolButton* btnHelp;
    QAction* muSettings;
    QAction* muExit;
    QAction* muOpen;
    QAction* muClear;
    QAction* muAbout;

    void muSettingsClick();
    void Exit1Click();
    void muOpenClick();
    void muClearClick();
    void muAboutClick();

signals:
    // After an alarm is shown and logged; row: where it stands after the sort.
    void AlarmAccepted(const TEventRecord& record, int row);

protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void PlaceOnScreen();
    void FormCreate();
    void BuildWindow();
    void AppendToLog(const TEventRecord& record);
    QString TodayLogPath() const;
    void ServerSocket1Accept(QTcpSocket* socket);
    void StopListening();
    void ShowListenerState(bool paused);
    void ServerSocket1ClientRead(QTcpSocket* socket);
    void xgEventMouseUp(int column);

    TClock clock_;
    QString appDir_;
    TAkSettings settings_; // Port, LogPath, SortCol, SortDir; colours live in EventTypeTable
    bool Clearing = false;
    bool shown_ = false;
    TEventTableModel* model_;
    QTcpServer* ServerSocket1;
    TConnectionAcceptor* acceptor_;
    class TControlRoom* controlRoom_ = nullptr;
};
