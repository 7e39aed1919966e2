#include "logger/frmMain.h"

#include "common/singleInstance.h"
#include "logger/banner.h"
#include "logger/controlRoom.h"
#include "logger/core/alarmMessage.h"
#include "logger/core/connectionAcceptor.h"
#include "logger/core/eventTableModel.h"
#include "logger/core/logFormat.h"
#include "logger/core/sortGrid.h"
#include "logger/frmAbout.h"
#include "logger/frmLogDate.h"
#include "logger/frmSetting.h"
#include "logger/frmViewLog.h"
#include "logger/windowFrame.h"

#include <QApplication>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QMenu>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QStatusBar>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>
#include <cstring>
#include <utility>

TfmMain::TfmMain(const QString& programDir, TClock clock, QWidget* parent)
    : QMainWindow(parent)
    , m_clock(std::move(clock))
    , m_model(new TEventTableModel(this))
    , ServerSocket1(new QTcpServer(this))
    , m_acceptor(new TConnectionAcceptor(ServerSocket1, this))
{
    if (!m_clock)
        m_clock = [] { return QDateTime::currentDateTime(); };
    m_appDir = programDir.isEmpty() ? QCoreApplication::applicationDirPath() : programDir;
    if (!m_appDir.endsWith(QLatin1Char('/')))
        m_appDir += QLatin1Char('/');
    BuildWindow();
    FormCreate();
    m_controlRoom = new TControlRoom(this);
}

TfmMain::~TfmMain()
{
    StopListening();
}

void TfmMain::BuildWindow()
{
    setWindowTitle(QString::fromLatin1(kAppTitle));
    setWindowIcon(AlarmkeeperIcon());

    auto* bar = new QToolBar(this);
    bar->setMovable(false);
    bar->setFloatable(false);
    bar->setToolButtonStyle(Qt::ToolButtonTextOnly);
    addToolBar(Qt::TopToolBarArea, bar);
    auto menuButton = [&](const QString& text) {
        auto* b = new QToolButton(bar);
        b->setText(text);
        b->setAutoRaise(true);
        b->setPopupMode(QToolButton::InstantPopup);
        b->setMenu(new QMenu(b));
        bar->addWidget(b);
        return b;
    };
    btnSystem = menuButton(QStringLiteral("&System"));
    btnLog = menuButton(QStringLiteral("&Log"));
    btnHelp = menuButton(QStringLiteral("&Help"));
    muSettings = btnSystem->menu()->addAction(QStringLiteral("Settings"), this, &TfmMain::muSettingsClick);
    btnSystem->menu()->addSeparator();
    muExit = btnSystem->menu()->addAction(QStringLiteral("E&xit"), this, &TfmMain::Exit1Click);
    muOpen = btnLog->menu()->addAction(QStringLiteral("Open"), this, &TfmMain::muOpenClick);
    muClear = btnLog->menu()->addAction(QStringLiteral("Clear"), this, &TfmMain::muClearClick);
    muAbout = btnHelp->menu()->addAction(QStringLiteral("&About"), this, &TfmMain::muAboutClick);

    auto* central = new QWidget(this);
    auto* layout = new QVBoxLayout(central);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(new TBanner(central));
    xgEvent = new TEventGrid(central);
    xgEvent->setModel(m_model);
    layout->addWidget(xgEvent, 1);
    setCentralWidget(central);
    setStatusBar(new QStatusBar(this));
    connect(xgEvent, &TEventGrid::HeaderReleased, this, &TfmMain::xgEventMouseUp);

    PlaceOnScreen();
    connect(m_acceptor, &TConnectionAcceptor::connectionAccepted, this, &TfmMain::ServerSocket1Accept);
    connect(m_acceptor, &TConnectionAcceptor::pausedChanged, this, &TfmMain::ShowListenerState);
    ShowListenerState(false); // empty until the listener has something to say
}

void TfmMain::FormCreate()
{
    m_settings = LoadAkSettings(m_appDir);
    ApplyEventColors(m_settings);

    // Only the last level is created; a missing parent is the operator's to fix.
    if (!QFileInfo(m_settings.LogPath).isDir() && !QDir().mkdir(m_settings.LogPath))
        ShowMessageBox(this, QStringLiteral("Cannot create %1").arg(m_settings.LogPath));

    // A log of today that can't be read is shown, but alarms must still be
    // received: sorting and listening go on.
    QString error;
    int loaded;
    {
        TBusyCursor busy;
        loaded = LoadLogFile(TodayLogPath(), *m_model, &error);
    }
    if (loaded < 0)
        ShowErrorBox(this, error);
    SortGrid(*m_model, m_settings.SortCol, m_settings.SortDir);

    if (m_settings.Port < 1 || m_settings.Port > 65535) {
        ShowErrorBox(this, QStringLiteral("Cannot listen on port %1: not a valid port number").arg(m_settings.Port));
        return;
    }
    // Every connected server holds a file handle.
    RaiseOpenFileLimit();
    if (!ServerSocket1->listen(QHostAddress::Any, quint16(m_settings.Port))) {
        ShowErrorBox(this, ServerSocket1->errorString());
        return;
    }
    m_acceptor->Start();
}

void TfmMain::StopListening()
{
    m_acceptor->Stop();
    ServerSocket1->close();
}

void TfmMain::ShowListenerState(bool paused)
{
    if (!paused) {
        statusBar()->clearMessage();
        return;
    }
    statusBar()->showMessage(QStringLiteral("New connections wait: %1 (%2 connected)")
                                 .arg(QString::fromLocal8Bit(std::strerror(m_acceptor->PauseError())))
                                 .arg(m_acceptor->Connections()));
}

QString TfmMain::TodayLogPath() const
{
    return LogFilePath(m_settings.LogPath, m_clock().date());
}

TAkSettings TfmMain::CurrentSettings() const
{
    TAkSettings s = m_settings;
    for (int code = 0; code < kEventTypeCount; ++code)
        s.Colors[size_t(code)] = EventTypeTable[size_t(code)].Color;
    return s;
}

void TfmMain::ApplySettings(const TAkSettings& settings)
{
    m_settings.Port = settings.Port;
    m_settings.LogPath = settings.LogPath;
    m_settings.Colors = settings.Colors;
    ApplyEventColors(m_settings);
    StoreAkSettings(m_settings);
    ApplyColors();
}

void TfmMain::ApplyColors()
{
    m_model->ApplyColors();
    xgEvent->viewport()->update();
}

void TfmMain::ServerSocket1Accept(QTcpSocket* socket)
{
    connect(socket, &QTcpSocket::readyRead, this, [this, socket] { ServerSocket1ClientRead(socket); });
    // Connection errors are nobody's business: the peer goes, its bytes with it.
    connect(socket, &QTcpSocket::errorOccurred, socket, [] {});
    connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
    // Bytes that came with the connection.
    if (socket->bytesAvailable() > 0)
        ServerSocket1ClientRead(socket);
}

void TfmMain::ServerSocket1ClientRead(QTcpSocket* socket)
{
    // TCP keeps no message boundaries: bytes wait in the socket until a
    // whole message is there; what is left when the peer closes is dropped.
    QPointer<QTcpSocket> alive(socket);
    while (alive && alive->bytesAvailable() >= kAlarmMessageSize) {
        const QByteArray message = alive->read(kAlarmMessageSize);
        if (!AlarmMessageValid(message)) {
            // Out of step with the sender (a stray byte, junk): drop all
            // this connection holds, so that the next write starts afresh
            // instead of every later message failing too.
            alive->readAll();
            return;
        }
        HandleAlarm(message);
    }
}

void TfmMain::HandleAlarm(QByteArrayView message)
{
    const std::optional<TEventRecord> record = DecodeAlarm(message);
    if (!record)
        return;
    const int row = m_model->AddAlarm(*record);
    const TEventRecord added = m_model->Record(row);
    while (Clearing) {
        QCoreApplication::processEvents(QEventLoop::AllEvents);
        QThread::msleep(1);
    }
    AppendToLog(added);
    const QPersistentModelIndex placed = m_model->index(row, 0);
    SortGrid(*m_model, m_settings.SortCol, m_settings.SortDir);
    emit AlarmAccepted(added, placed.row());
}

void TfmMain::AppendToLog(const TEventRecord& record)
{
    // A line that can't be written is lost without a word; the next alarm tries again.
    AppendLogLine(TodayLogPath(), record.cells);
}

void TfmMain::muSettingsClick()
{
    TfmSettings dialog(CurrentSettings(), this);
    if (dialog.exec() == QDialog::Accepted)
        ApplySettings(dialog.Settings());
}

void TfmMain::Exit1Click()
{
    close();
}

void TfmMain::muOpenClick()
{
    TfmLogDate chooser(this);
    if (chooser.exec() != QDialog::Accepted)
        return;
    OpenLogOfDate(chooser.Date());
}

void TfmMain::OpenLogOfDate(const QDate& date)
{
    const QString path = LogFilePath(m_settings.LogPath, date);
    if (!QFileInfo::exists(path)) {
        ShowMessageBox(this, QStringLiteral("There is no log file on the date!!"));
        return;
    }
    TfmViewLog viewer(date, path, this);
    viewer.exec();
}

void TfmMain::muClearClick()
{
    if (ShowConfirmBox(this, QStringLiteral("Clear log file, Are you sure?")) != TAnswer::Yes)
        return;
    Clearing = true;
    struct TReset {
        bool& flag;
        ~TReset() { flag = false; }
    } reset { Clearing };
    m_model->Clear();
    QFile::remove(TodayLogPath()); // a file held elsewhere stays; nothing is said
}

void TfmMain::muAboutClick()
{
    TfmAbout about(this);
    about.exec();
}

void TfmMain::xgEventMouseUp(int column)
{
    if (column >= 0) {
        if (column != m_settings.SortCol)
            m_settings.SortCol = column;
        m_settings.SortDir = !m_settings.SortDir;
        StoreAkSortOrder(m_settings);
    }
    if (m_settings.SortCol >= 0)
        SortGrid(*m_model, m_settings.SortCol, m_settings.SortDir);
}

void TfmMain::FollowLaterStarts(TSingleInstance& instance)
{
    connect(&instance, &TSingleInstance::activationRequested, this, [this] { TSingleInstance::BringForward(this); });
}

void TfmMain::PlaceOnScreen()
{
    const QScreen* screen = QGuiApplication::primaryScreen();
    PlaceFrame(this, kMainOuterSize, screen ? screen->availableGeometry() : QRect(QPoint(), kMainOuterSize));
}

void TfmMain::showEvent(QShowEvent* event)
{
    if (!m_shown) {
        m_shown = true;
        PlaceOnScreen(); // now that the frame is known
    }
    QMainWindow::showEvent(event);
}

void TfmMain::closeEvent(QCloseEvent* event)
{
    // Only No keeps the program: closing the question box ends it too.
    if (ShowConfirmBox(this, QStringLiteral("Exit Alarmkeeper, Are you sure?")) == TAnswer::No) {
        event->ignore();
        return;
    }
    StopListening();
    event->accept();
}
