#include "frmMain.h"

#include "alarmMessage.h"
#include "connectionAcceptor.h"
#include "controlRoom.h"
#include "eventTableModel.h"
#include "frmAbout.h"
#include "frmLogDate.h"
#include "frmSetting.h"
#include "frmViewLog.h"
#include "logFormat.h"
#include "singleInstance.h"
#include "sortGrid.h"
#include "windowFrame.h"

#include <QApplication>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLinearGradient>
#include <QMenu>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPointer>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QStatusBar>
#include <QStyle>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>
#include <QWheelEvent>
#include <cstring>
#include <utility>

// ---- boxes ----------------------------------------------------------------

void ShowMessageBox(QWidget* parent, const QString& text)
{
    QMessageBox box(QMessageBox::NoIcon, QString::fromLatin1(kAppTitle), text, QMessageBox::Ok, parent);
    box.exec();
}

namespace {
// QMessageBox would take its close box for the Escape button.
class TConfirmBox : public QMessageBox {
public:
    using QMessageBox::QMessageBox;
    bool closedByBox = false;

protected:
    void closeEvent(QCloseEvent* event) override
    {
        closedByBox = true;
        event->accept();
        done(QMessageBox::Cancel);
    }
};
} // namespace

TAnswer ShowConfirmBox(QWidget* parent, const QString& text)
{
    TConfirmBox box(QMessageBox::Question, QStringLiteral("Confirm"), text, QMessageBox::Yes | QMessageBox::No, parent);
    box.setDefaultButton(QMessageBox::Yes);
    box.setEscapeButton(QMessageBox::No);
    const int answer = box.exec();
    if (box.closedByBox)
        return TAnswer::Closed;
    return answer == QMessageBox::Yes ? TAnswer::Yes : TAnswer::No;
}

void ShowErrorBox(QWidget* parent, const QString& text)
{
    QMessageBox box(QMessageBox::Critical, QString::fromLatin1(kAppTitle), text, QMessageBox::Ok, parent);
    box.exec();
}

// ---- event table ------------------------------------------------------------

TEventHeader::TEventHeader(QWidget* parent)
    : QHeaderView(Qt::Horizontal, parent)
{
    setMouseTracking(true);
    setSectionsClickable(false);
    setHighlightSections(false);
    setDefaultAlignment(Qt::AlignCenter);
    connect(this, &QHeaderView::sectionResized, this, [this] {
        if (QGuiApplication::mouseButtons() != Qt::NoButton)
            resizing_ = true;
    });
}

void TEventHeader::mousePressEvent(QMouseEvent* event)
{
    resizing_ = false;
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
    const bool resized = std::exchange(resizing_, false);
    if (!resized && p.y() >= 0 && p.y() < height())
        emit HeaderReleased(ColumnAt(p.x()));
}

void TEventHeader::leaveEvent(QEvent* event)
{
    if (viewport()->cursor().shape() == Qt::PointingHandCursor)
        viewport()->unsetCursor();
    QHeaderView::leaveEvent(event);
}

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

// ---- banner -----------------------------------------------------------------

namespace {
class TBanner : public QWidget {
public:
    explicit TBanner(QWidget* parent)
        : QWidget(parent)
    {
        setFixedHeight(40);
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter p(this);
        QLinearGradient g(0, 0, width(), 0);
        g.setColorAt(0, QColor(0x10, 0x2A, 0x5C));
        g.setColorAt(1, QColor(0x6A, 0x9C, 0xD8));
        p.fillRect(rect(), g);
        QFont f = font();
        f.setBold(true);
        f.setPointSize(14);
        p.setFont(f);
        p.setPen(Qt::white);
        p.drawText(rect().adjusted(14, 0, 0, 0), Qt::AlignVCenter | Qt::AlignLeft, QStringLiteral("Alarmkeeper"));
        f.setBold(false);
        f.setPointSize(9);
        p.setFont(f);
        p.drawText(rect().adjusted(0, 0, -14, 0), Qt::AlignVCenter | Qt::AlignRight,
            QStringLiteral("Twinlane server alarm events"));
    }
};
} // namespace

// ---- main window --------------------------------------------------------------

TfmMain::TfmMain(const QString& programDir, TClock clock, QWidget* parent)
    : QMainWindow(parent)
    , clock_(std::move(clock))
    , model_(new TEventTableModel(this))
    , ServerSocket1(new QTcpServer(this))
    , acceptor_(new TConnectionAcceptor(ServerSocket1, this))
{
    if (!clock_)
        clock_ = [] { return QDateTime::currentDateTime(); };
    appDir_ = programDir.isEmpty() ? QCoreApplication::applicationDirPath() : programDir;
    if (!appDir_.endsWith(QLatin1Char('/')))
        appDir_ += QLatin1Char('/');
    BuildWindow();
    FormCreate();
    controlRoom_ = new TControlRoom(this);
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
    xgEvent->setModel(model_);
    layout->addWidget(xgEvent, 1);
    setCentralWidget(central);
    setStatusBar(new QStatusBar(this));
    connect(xgEvent, &TEventGrid::HeaderReleased, this, &TfmMain::xgEventMouseUp);

    PlaceOnScreen();
    connect(acceptor_, &TConnectionAcceptor::connectionAccepted, this, &TfmMain::ServerSocket1Accept);
    connect(acceptor_, &TConnectionAcceptor::pausedChanged, this, &TfmMain::ShowListenerState);
    ShowListenerState(false); // empty until the listener has something to say
}

void TfmMain::FormCreate()
{
    settings_ = LoadAkSettings(appDir_);
    ApplyEventColors(settings_);

    // Only the last level is created; a missing parent is the operator's to fix.
    if (!QFileInfo(settings_.LogPath).isDir() && !QDir().mkdir(settings_.LogPath))
        ShowMessageBox(this, QStringLiteral("Cannot create %1").arg(settings_.LogPath));

    // A log of today that can't be read is shown, but alarms must still be
    // received: sorting and listening go on.
    QString error;
    int loaded;
    {
        TBusyCursor busy;
        loaded = LoadLogFile(TodayLogPath(), *model_, &error);
    }
    if (loaded < 0)
        ShowErrorBox(this, error);
    SortGrid(*model_, settings_.SortCol, settings_.SortDir);

    if (settings_.Port < 1 || settings_.Port > 65535) {
        ShowErrorBox(this, QStringLiteral("Cannot listen on port %1: not a valid port number").arg(settings_.Port));
        return;
    }
    // Every connected server holds a file handle.
    RaiseOpenFileLimit();
    if (!ServerSocket1->listen(QHostAddress::Any, quint16(settings_.Port))) {
        ShowErrorBox(this, ServerSocket1->errorString());
        return;
    }
    acceptor_->Start();
}

void TfmMain::StopListening()
{
    acceptor_->Stop();
    ServerSocket1->close();
}

void TfmMain::ShowListenerState(bool paused)
{
    if (!paused) {
        statusBar()->clearMessage();
        return;
    }
    statusBar()->showMessage(QStringLiteral("New connections wait: %1 (%2 connected)")
                                 .arg(QString::fromLocal8Bit(std::strerror(acceptor_->PauseError())))
                                 .arg(acceptor_->Connections()));
}

QString TfmMain::TodayLogPath() const
{
    return LogFilePath(settings_.LogPath, clock_().date());
}

TAkSettings TfmMain::CurrentSettings() const
{
    TAkSettings s = settings_;
    for (int code = 0; code < kEventTypeCount; ++code)
        s.Colors[size_t(code)] = EventTypeTable[size_t(code)].Color;
    return s;
}

void TfmMain::ApplySettings(const TAkSettings& settings)
{
    settings_.Port = settings.Port;
    settings_.LogPath = settings.LogPath;
    settings_.Colors = settings.Colors;
    ApplyEventColors(settings_);
    StoreAkSettings(settings_);
    ApplyColors();
}

void TfmMain::ApplyColors()
{
    model_->ApplyColors();
    xgEvent->viewport()->update();
}

// ---- listener -----------------------------------------------------------------

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
    const int row = model_->AddAlarm(*record);
    const TEventRecord added = model_->Record(row);
    while (Clearing) {
        QCoreApplication::processEvents(QEventLoop::AllEvents);
        QThread::msleep(1);
    }
    AppendToLog(added);
    const QPersistentModelIndex placed = model_->index(row, 0);
    SortGrid(*model_, settings_.SortCol, settings_.SortDir);
    emit AlarmAccepted(added, placed.row());
}

void TfmMain::AppendToLog(const TEventRecord& record)
{
    // A line that can't be written is lost without a word; the next alarm tries again.
    AppendLogLine(TodayLogPath(), record.Cells);
}

// ---- commands -----------------------------------------------------------------

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
    const QString path = LogFilePath(settings_.LogPath, date);
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
    model_->Clear();
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
        if (column != settings_.SortCol)
            settings_.SortCol = column;
        settings_.SortDir = !settings_.SortDir;
        StoreAkSortOrder(settings_);
    }
    if (settings_.SortCol >= 0)
        SortGrid(*model_, settings_.SortCol, settings_.SortDir);
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
    if (!shown_) {
        shown_ = true;
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
