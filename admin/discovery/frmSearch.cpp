#include "admin/discovery/frmSearch.h"

#include "admin/discovery/Iphelp.h"
#include "admin/discovery/ioSearchSession.h"
#include "admin/discovery/ioSearchThread.h"
#include "admin/model/ioAppGlobals.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QFontMetrics>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QIcon>
#include <QLabel>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QStatusBar>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>
#include <chrono>
#include <cmath>
#include <thread>

namespace {
constexpr int kAutoStartMs = 200;
constexpr int kTickMs = 500;
constexpr int kTicks = 3;
constexpr int kAnimationMs = 90;
constexpr QSize kClientSize(598, 311);
const QColor kPaleYellow(0xFF, 0xFF, 0xE1);

enum TColumn { colNumber, colServer, colAddress, colMac, colDescription, colCount };
} // namespace

TfmSearch::TfmSearch(QWidget* owner, QList<IONODE*>* resultList)
    : QDialog(owner, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint)
    , ResultList(resultList)
{
    setObjectName(QStringLiteral("fmSearch"));
    setWindowTitle(QStringLiteral("Auto Searching for Twinlane I/O Server(s)  ..."));
    setWindowModality(Qt::ApplicationModal);
    setFixedSize(kClientSize);

    session = std::make_unique<TSearchSession>(resultList, [this](const IONODE& r) {
        // Search thread: only texts cross over, queued in answer order.
        const QStringList texts { CatalogueText(ModelNames, r.ModelIndex), r.Address, r.MacAddress,
            CatalogueText(ModelDescriptions, r.ModelIndex) };
        QMetaObject::invokeMethod(
            this, [this, texts] { AddFoundServer(texts); }, Qt::QueuedConnection);
    });

    Animate1 = new QLabel(this);
    Animate1->setObjectName(QStringLiteral("Animate1"));
    Animate1->setFixedSize(40, 40);
    Animate1->setAlignment(Qt::AlignCenter);
    lbFound = new QLabel(QStringLiteral("0"), this);
    lbFound->setObjectName(QStringLiteral("lbFound"));
    {
        QFont f = lbFound->font();
        f.setBold(true);
        f.setPointSizeF(f.pointSizeF() * 1.6);
        lbFound->setFont(f);
    }
    lbFound->setStyleSheet(QStringLiteral("color: red;"));
    // Room for three digits, so the count does not jump as it grows.
    lbFound->setMinimumWidth(lbFound->fontMetrics().horizontalAdvance(QStringLiteral("0000")));
    lbFound->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    Label2 = new QLabel(QStringLiteral("I/O server(s) were found !"), this);
    Label2->setObjectName(QStringLiteral("Label2"));

    lvEnum = new QTableWidget(0, colCount, this);
    lvEnum->setObjectName(QStringLiteral("lvEnum"));
    lvEnum->setHorizontalHeaderLabels({ QStringLiteral("#"), QStringLiteral("I/O Server"),
        QStringLiteral("IP Address / Port"), QStringLiteral("MAC Address / Unit ID"), QStringLiteral("Description") });
    // The set widths, widened where this font needs more for a full
    // address or MAC text or the caption.
    const int widths[] = { 40, 70, 120, 120 };
    const QString widest[] = { QStringLiteral("000"), QStringLiteral("I/O Server"), QStringLiteral("IP Address / Port"),
        QStringLiteral("MAC Address / Unit ID") };
    const QFontMetrics fm(lvEnum->font());
    for (int c = 0; c < colDescription; ++c) {
        int w = std::max(widths[c], fm.horizontalAdvance(widest[c]) + 14);
        if (c == colAddress)
            w = std::max(w, fm.horizontalAdvance(QStringLiteral("192.168.127.254")) + 14);
        if (c == colMac)
            w = std::max(w, fm.horizontalAdvance(QStringLiteral("DD-DD-DD-DD-DD-DD")) + 14);
        lvEnum->setColumnWidth(c, w);
    }
    lvEnum->horizontalHeader()->setStretchLastSection(true);
    lvEnum->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    lvEnum->horizontalHeader()->setHighlightSections(false);
    lvEnum->verticalHeader()->setVisible(false);
    lvEnum->verticalHeader()->setDefaultSectionSize(lvEnum->fontMetrics().height() + 4);
    lvEnum->setShowGrid(true);
    lvEnum->setWordWrap(false);
    lvEnum->setEditTriggers(QAbstractItemView::NoEditTriggers);
    lvEnum->setSelectionBehavior(QAbstractItemView::SelectRows);
    lvEnum->setSelectionMode(QAbstractItemView::SingleSelection);
    lvEnum->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    {
        QPalette p = lvEnum->palette();
        p.setColor(QPalette::Base, kPaleYellow);
        lvEnum->setPalette(p);
    }

    ProgressBar1 = new QProgressBar(this);
    ProgressBar1->setObjectName(QStringLiteral("ProgressBar1"));
    ProgressBar1->setRange(0, kTicks);
    ProgressBar1->setValue(0);
    ProgressBar1->setTextVisible(false);
    btnStop = new QPushButton(QStringLiteral("Stop"), this);
    btnStop->setObjectName(QStringLiteral("btnStop"));
    btnStop->setEnabled(false);
    btnStop->setAutoDefault(false);

    StatusBar1 = new QStatusBar(this);
    StatusBar1->setObjectName(QStringLiteral("StatusBar1"));
    StatusBar1->setSizeGripEnabled(false);
    StatusPanel0 = new QLabel(StatusBar1);
    StatusPanel0->setFixedWidth(300);
    StatusPanel1 = new QLabel(StatusBar1);
    StatusPanel1->setFixedWidth(50);
    StatusBar1->addWidget(StatusPanel0);
    StatusBar1->addWidget(StatusPanel1);

    auto* top = new QHBoxLayout;
    top->addWidget(Animate1);
    top->addWidget(lbFound);
    top->addSpacing(6);
    top->addWidget(Label2);
    top->addStretch();
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(ProgressBar1, 1);
    bottom->addWidget(btnStop);
    auto* body = new QVBoxLayout;
    body->setContentsMargins(8, 6, 8, 4);
    body->addLayout(top);
    body->addWidget(lvEnum, 1);
    body->addLayout(bottom);
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->setSpacing(0);
    outer->addLayout(body, 1);
    outer->addWidget(StatusBar1);

    TimerAuto = new QTimer(this);
    TimerAuto->setInterval(kAutoStartMs);
    Timer1 = new QTimer(this);
    Timer1->setInterval(kTickMs);
    m_animationTimer = new QTimer(this);
    m_animationTimer->setInterval(kAnimationMs);
    connect(TimerAuto, &QTimer::timeout, this, &TfmSearch::StartSearch);
    connect(Timer1, &QTimer::timeout, this, &TfmSearch::Timer1Timer);
    connect(m_animationTimer, &QTimer::timeout, this, &TfmSearch::TurnAnimation);
    connect(btnStop, &QPushButton::clicked, this, &TfmSearch::btnStopClick);
    TurnAnimation();
}

TfmSearch::~TfmSearch()
{
    // Not shown, or taken down without closing: the worker still ends first.
    if (session)
        session->StopSearch = true;
    WaitForSearchThread();
}

bool TfmSearch::StopRequested() const
{
    return session->StopSearch.load();
}

bool TfmSearch::event(QEvent* e)
{
    if (e->type() == QEvent::WindowActivate && !m_activated) {
        m_activated = true;
        TimerAuto->start();
    }
    return QDialog::event(e);
}

void TfmSearch::showEvent(QShowEvent* e)
{
    QDialog::showEvent(e);
    // Centred on the main window, which is not its owner.
    QWidget* main = parentWidget() ? parentWidget()->window() : MainWindowLinks.window;
    if (main && main->isVisible()) {
        QRect frame = frameGeometry();
        frame.moveCenter(main->frameGeometry().center());
        move(frame.topLeft());
    }
    // Offscreen and some window managers never activate a window.
    QTimer::singleShot(kAutoStartMs, this, [this] {
        if (!m_activated) {
            m_activated = true;
            TimerAuto->start();
        }
    });
}

void TfmSearch::StartSearch()
{
    TimerAuto->stop();
    if (m_started || m_closing)
        return;
    m_started = true;
    m_animationTimer->start();
    StatusPanel0->setText(QStringLiteral("Search for Twinlane modules..."));
    ProgressBar1->setRange(0, TicksLeft);
    ProgressBar1->setValue(0);
    if (LocalInterfaces && !LocalInterfaces->isEmpty()) {
        session->Activate();
        SearchThread = new TEnumThread(&TSearchSession::Callback); // options 1000 ms, 5 requests
        SearchThread->Start();
    }
    Timer1->start();
    btnStop->setEnabled(true);
}

void TfmSearch::Timer1Timer()
{
    if (TicksLeft == 0 || StopRequested()) {
        Timer1->stop();
        done(QDialog::Accepted);
        return;
    }
    ProgressBar1->setValue(ProgressBar1->value() + 1);
    --TicksLeft;
}

void TfmSearch::btnStopClick()
{
    btnStop->setEnabled(false);
    session->StopSearch = true;
    done(QDialog::Rejected);
}

void TfmSearch::reject()
{
    if (btnStop->isEnabled() && !m_closing)
        btnStopClick();
}

void TfmSearch::closeEvent(QCloseEvent* e)
{
    // No frame buttons: only the ticks and Stop end the dialog.
    if (m_closing || !btnStop->isEnabled()) {
        e->ignore();
        return;
    }
    e->ignore();
    btnStopClick();
}

void TfmSearch::done(int result)
{
    if (m_closing)
        return;
    m_closing = true;
    session->StopSearch = true;
    TimerAuto->stop();
    Timer1->stop();
    WaitForSearchThread();
    m_animationTimer->stop();
    QDialog::done(result);
}

void TfmSearch::WaitForSearchThread()
{
    if (!SearchThread)
        return;
    while (!SearchThread->Done.load()) {
        QCoreApplication::processEvents();
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    delete SearchThread;
    SearchThread = nullptr;
    // Rows handed over just before the end are still listed.
    QCoreApplication::sendPostedEvents(this, QEvent::MetaCall);
}

void TfmSearch::AddFoundServer(const QStringList& texts)
{
    const int row = lvEnum->rowCount();
    lvEnum->insertRow(row);
    const QStringList cells { QString::number(row + 1), texts.value(0), texts.value(1), texts.value(2),
        texts.value(3) };
    for (int c = 0; c < colCount; ++c) {
        auto* item = new QTableWidgetItem(cells.at(c));
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
        lvEnum->setItem(row, c, item);
    }
    lvEnum->scrollToBottom();
    lbFound->setText(QString::number(lvEnum->rowCount()));
    emit rowAdded(lvEnum->rowCount());
}

void TfmSearch::TurnAnimation()
{
    // A magnifier circling while the search runs.
    static const QPixmap glass = QIcon(QStringLiteral(":/icons/search.png")).pixmap(24, 24);
    QPixmap frame(36, 36);
    frame.fill(Qt::transparent);
    {
        QPainter p(&frame);
        p.setRenderHint(QPainter::SmoothPixmapTransform);
        const double rad = m_animationAngle * M_PI / 180.0;
        const QPointF centre(18 + 5 * std::cos(rad), 18 + 5 * std::sin(rad));
        p.drawPixmap(QPointF(centre.x() - 12, centre.y() - 12), glass);
    }
    Animate1->setPixmap(frame);
    m_animationAngle = (m_animationAngle + 30) % 360;
}
