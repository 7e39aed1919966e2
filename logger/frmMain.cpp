#include "frmMain.h"

#include "alarmMessage.h"
#include "eventTableModel.h"
#include "frmAbout.h"
#include "frmLogDate.h"
#include "frmSetting.h"
#include "frmViewLog.h"
#include "logFormat.h"
#include "sortGrid.h"

#include <QApplication>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QLinearGradient>
#include <QMenu>
#include <QMessageBox>
#include <QMouseEvent>
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

// ---- boxes ----------------------------------------------------------------

void ShowMessageBox(QWidget* parent, const QString& text)
{
    QMessageBox box(QMessageBox::NoIcon, QString::fromLatin1(kAppTitle), text, QMessageBox::Ok, parent);
    box.exec();
}

bool ShowConfirmBox(QWidget* parent, const QString& text)
{
    QMessageBox box(QMessageBox::Question, QStringLiteral("Confirm"), text, QMessageBox::Yes | QMessageBox::No, parent);
    box.setDefaultButton(QMessageBox::Yes);
    box.setEscapeButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
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
    if (p.y() >= 0 && p.y() < height())
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

TEventGrid::TEventGrid(QWidget* parent)
    : QTableView(parent)
    , header_(new TEventHeader(this))
    , fixed_(new QTableView(this))
    , fixedHeader_(new TEventHeader(fixed_))
{
    setHorizontalHeader(header_);
    SetUpRows(this);
    setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    header_->setStretchLastSection(false);
    header_->setSectionResizeMode(QHeaderView::Interactive);
    header_->setFixedHeight(22);

    fixed_->setHorizontalHeader(fixedHeader_);
    SetUpRows(fixed_);
    fixed_->setFocusPolicy(Qt::NoFocus);
    fixed_->setFrameShape(QFrame::NoFrame);
    fixed_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    fixed_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    fixedHeader_->setFixedHeight(22);
    fixedHeader_->setSectionResizeMode(QHeaderView::Fixed);
    // Drawn as a heading column: button face, black lines.
    QPalette heading = fixed_->palette();
    heading.setColor(QPalette::Base, heading.color(QPalette::Button));
    heading.setColor(QPalette::Mid, Qt::black);
    fixed_->setPalette(heading);
    fixed_->viewport()->setAutoFillBackground(true);

    connect(header_, &QHeaderView::sectionCountChanged, this, [this](int, int count) {
        for (int c = 0; c < count && c < kEventColumnCount; ++c)
            header_->resizeSection(c, kColumnWidths[c]);
    });
    connect(header_, &QHeaderView::sectionResized, this, [this](int section, int, int size) {
        if (section == 0) {
            fixed_->setColumnWidth(0, size);
            PlaceFixedColumn();
        }
    });
    connect(
        verticalScrollBar(), &QAbstractSlider::valueChanged, fixed_->verticalScrollBar(), &QAbstractSlider::setValue);
    connect(
        fixed_->verticalScrollBar(), &QAbstractSlider::valueChanged, verticalScrollBar(), &QAbstractSlider::setValue);
    connect(header_, &TEventHeader::HeaderReleased, this, &TEventGrid::HeaderReleased);
    connect(fixedHeader_, &TEventHeader::HeaderReleased, this, &TEventGrid::HeaderReleased);
}

void TEventGrid::setModel(QAbstractItemModel* model)
{
    QTableView::setModel(model);
    fixed_->setModel(model);
    fixed_->setSelectionModel(selectionModel());
    for (int c = 1; c < model->columnCount(); ++c)
        fixed_->setColumnHidden(c, true);
    fixed_->setColumnWidth(0, columnWidth(0));
    PlaceFixedColumn();
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
    fixed_->setGeometry(frameWidth(), frameWidth(), columnWidth(0), viewport()->height() + header_->height());
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
{
    if (!clock_)
        clock_ = [] { return QDateTime::currentDateTime(); };
    appDir_ = programDir.isEmpty() ? QCoreApplication::applicationDirPath() : programDir;
    if (!appDir_.endsWith(QLatin1Char('/')))
        appDir_ += QLatin1Char('/');
    BuildWindow();
    FormCreate();
}

TfmMain::~TfmMain()
{
    ServerSocket1->close();
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

    resize(879, 589);
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
    connect(ServerSocket1, &QTcpServer::newConnection, this, &TfmMain::ServerSocket1Accept);
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
    if (!ServerSocket1->listen(QHostAddress::Any, quint16(settings_.Port)))
        ShowErrorBox(this, ServerSocket1->errorString());
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

void TfmMain::ServerSocket1Accept()
{
    while (QTcpSocket* socket = ServerSocket1->nextPendingConnection()) {
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] { ServerSocket1ClientRead(socket); });
        // Connection errors are nobody's business: the peer goes, its bytes with it.
        connect(socket, &QTcpSocket::errorOccurred, socket, [] {});
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
    }
}

void TfmMain::ServerSocket1ClientRead(QTcpSocket* socket)
{
    // TCP keeps no message boundaries: bytes wait in the socket until a
    // whole message is there; what is left when the peer closes is dropped.
    while (socket->bytesAvailable() >= kAlarmMessageSize) {
        const QByteArray message = socket->read(kAlarmMessageSize);
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
    SortGrid(*model_, settings_.SortCol, settings_.SortDir);
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
    if (!ShowConfirmBox(this, QStringLiteral("Clear log file, Are you sure?")))
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

void TfmMain::closeEvent(QCloseEvent* event)
{
    if (!ShowConfirmBox(this, QStringLiteral("Exit Alarmkeeper, Are you sure?"))) {
        event->ignore();
        return;
    }
    ServerSocket1->close();
    event->accept();
}
