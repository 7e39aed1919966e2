#pragma once
// The main window of Alarmkeeper: the live event table, the alarm listener
// and the daily log.
#include "logger/core/akSettings.h"
#include "logger/core/eventRecord.h"
#include "logger/eventGrid.h"
#include "logger/messageBoxes.h"

#include <QByteArrayView>
#include <QDateTime>
#include <QMainWindow>
#include <functional>

class QTcpServer;
class QTcpSocket;
class QToolButton;
class QAction;
class TEventTableModel;
class TConnectionAcceptor;
class TSingleInstance;

// Outer size of the main window, frame included.
inline constexpr QSize kMainOuterSize { 879, 589 };

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

    TEventTableModel* EventModel() const { return m_model; }
    QString AppDir() const { return m_appDir; }
    QTcpServer* Listener() const { return ServerSocket1; }
    TConnectionAcceptor* Acceptor() const { return m_acceptor; }

    // The additions for a control room (central log, filters, alerts).
    class TControlRoom* ControlRoom() const { return m_controlRoom; }

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

    TClock m_clock;
    QString m_appDir;
    TAkSettings m_settings; // Port, LogPath, SortCol, SortDir; colours live in EventTypeTable
    bool Clearing = false;
    bool m_shown = false;
    TEventTableModel* m_model;
    QTcpServer* ServerSocket1;
    TConnectionAcceptor* m_acceptor;
    class TControlRoom* m_controlRoom = nullptr;
};
