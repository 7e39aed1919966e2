#include "admin/shell/frmMain.h"

#include "admin/comm/ioGlobals.h"
#include "admin/discovery/Iphelp.h"
#include "admin/discovery/frmIPConflict.h"
#include "admin/discovery/frmModAdd.h"
#include "admin/discovery/frmSearch.h"
#include "admin/model/frmTwinlane.h"
#include "admin/model/ioAppGlobals.h"
#include "admin/model/ioMod.h"
#include "admin/model/ioTreeNode.h"
#include "admin/model/pdTwinlane.h"
#include "admin/shell/frmAbout.h"
#include "admin/shell/shellHelpers.h"
#include "common/busyCursor.h"
#include "common/programFiles.h"
#include "common/settingsStore.h"

#include <QApplication>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QFileInfo>
#include <QHeaderView>
#include <QLabel>
#include <QLocale>
#include <QMenu>
#include <QMessageBox>
#include <QMouseEvent>
#include <QProgressBar>
#include <QScreen>
#include <QSplitter>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QTreeWidget>
#include <QUrl>
#include <QVBoxLayout>

namespace {
QIcon Icon(const char* name)
{
    return QIcon(QStringLiteral(":/icons/%1.png").arg(QLatin1String(name)));
}

QToolButton* TextMenuButton(QToolBar* bar, const QString& name, const QString& text, QMenu* menu)
{
    auto* b = new QToolButton(bar);
    b->setObjectName(name);
    b->setText(text);
    b->setMenu(menu);
    b->setPopupMode(QToolButton::InstantPopup);
    b->setToolButtonStyle(Qt::ToolButtonTextOnly);
    b->setAutoRaise(true); // flat
    // The drop-down arrow would make the buttons look like combo boxes.
    b->setStyleSheet(QStringLiteral("QToolButton::menu-indicator { image: none; width: 0px; }"
                                    "QToolButton { padding: 2px 8px; }"));
    bar->addWidget(b);
    return b;
}

QToolButton* IconButton(QToolBar* bar, const QString& name, const QString& hint, QAction* action)
{
    auto* b = new QToolButton(bar);
    b->setObjectName(name);
    b->setIcon(action->icon());
    b->setToolTip(hint);
    b->setStatusTip(hint);
    b->setAutoRaise(true);
    b->setIconSize(QSize(20, 20));
    QObject::connect(b, &QToolButton::clicked, action, &QAction::trigger);
    bar->addWidget(b);
    return b;
}

// The status strip places its parts at fixed offsets: the progress bar 216
// pixels from the left, the two panels 111 pixels wide at the right.
class TStatusStrip : public QWidget {
public:
    explicit TStatusStrip(QWidget* parent)
        : QWidget(parent)
    {
    }
    QLabel* status = nullptr;
    QProgressBar* progress = nullptr;
    QLabel* elapse = nullptr;
    QLabel* now = nullptr;

protected:
    void resizeEvent(QResizeEvent*) override
    {
        const int w = width(), h = height();
        status->setGeometry(6, 0, 208, h);
        progress->setGeometry(216, 4, 217, h - 8);
        now->setGeometry(w - 111, 2, 111, h - 4);
        elapse->setGeometry(w - 222, 2, 111, h - 4);
    }
};

QLabel* StatusPanel(QWidget* parent, const QString& name, bool bold)
{
    auto* l = new QLabel(parent);
    l->setObjectName(name);
    l->setFrameShape(QFrame::Panel);
    l->setFrameShadow(QFrame::Sunken);
    l->setAlignment(Qt::AlignCenter);
    if (bold) {
        QFont f = l->font();
        f.setBold(true);
        l->setFont(f);
    }
    return l;
}

// The hourglass for a scan; on every way out the window comes back
// maximised, usable and ready, as after a scan that went well.
class TScanGuard {
public:
    explicit TScanGuard(TfmMain* window)
        : m_window(window)
    {
    }
    ~TScanGuard()
    {
        m_hourglass.reset();
        m_window->showMaximized();
        m_window->EnableCommands(true);
        m_window->Ready = true;
    }

private:
    TfmMain* m_window;
    std::optional<TBusyCursor> m_hourglass { std::in_place };
};

void DeleteRecords(QList<IONODE*>& records)
{
    qDeleteAll(records);
    records.clear();
}
} // namespace

TfmMain::TfmMain(QWidget* parent)
    : QMainWindow(parent)
{
    setObjectName(QStringLiteral("fmMain"));
    setWindowTitle(QStringLiteral("KORVEL TwinlaneAdmin"));
    setWindowIcon(Icon("app"));
    resize(784, 620);

    // Menus first: the tool buttons open them.
    muFile = new QMenu(QStringLiteral("File"), this);
    muExit = muFile->addAction(Icon("exit"), QStringLiteral("Exit"));
    muSystem = new QMenu(QStringLiteral("System"), this);
    muRescan = muSystem->addAction(Icon("search"), QStringLiteral("Auto Scan Active Ethernet I/O Server"));
    muSort = new QMenu(QStringLiteral("Sort"), this);
    muByConnection = muSort->addAction(Icon("sortcon"), QStringLiteral("By Connection"));
    muByServer = muSort->addAction(Icon("sortserver"), QStringLiteral("By I/O Server"));
    muByConnection->setCheckable(true);
    muByServer->setCheckable(true);
    muHelp = new QMenu(QStringLiteral("Help"), this);
    muWiringGuide = muHelp->addAction(Icon("help"), QStringLiteral("Wiring Guide for PraxonSK"));
    muAbout = muHelp->addAction(Icon("about"), QStringLiteral("About"));

    muPraxon = new QMenu(this);
    muPraxon->setObjectName(QStringLiteral("muPraxon"));
    muAddPodModule = muPraxon->addAction(Icon("add"), QStringLiteral("Add Twinlane Server"));
    muModRemoteE = new QMenu(this);
    muModRemoteE->setObjectName(QStringLiteral("muModRemoteE"));
    muRemoteERestartModule = muModRemoteE->addAction(Icon("restart"), QStringLiteral("Restart System"));
    muRemoteEResetModule = muModRemoteE->addAction(Icon("reset"), QStringLiteral("Reset to Default"));
    muModRemoteE->addSeparator();
    muDelModule = muModRemoteE->addAction(Icon("delete"), QStringLiteral("Delete Module"));

    // Toolbar row: band 1 the menu buttons, band 2 the icon buttons.
    const QString toolbarStyle = QStringLiteral("QToolBar { border: none; spacing: 2px;"
                                                " background: url(:/icons/toolbar.png) repeat-x; }");
    tbMenu = new QToolBar(QStringLiteral("Menu"), this);
    tbMenu->setObjectName(QStringLiteral("tbMenu"));
    tbMenu->setMovable(false);
    tbMenu->setStyleSheet(toolbarStyle);
    btnFile = TextMenuButton(tbMenu, QStringLiteral("btnFile"), QStringLiteral("File"), muFile);
    btnSys = TextMenuButton(tbMenu, QStringLiteral("btnSys"), QStringLiteral("System"), muSystem);
    btnSort = TextMenuButton(tbMenu, QStringLiteral("btnSort"), QStringLiteral("Sort"), muSort);
    btnHelp = TextMenuButton(tbMenu, QStringLiteral("btnHelp"), QStringLiteral("Help"), muHelp);
    addToolBar(Qt::TopToolBarArea, tbMenu);
    tbCommands = new QToolBar(QStringLiteral("Commands"), this);
    tbCommands->setObjectName(QStringLiteral("tbCommands"));
    tbCommands->setMovable(false);
    tbCommands->setStyleSheet(toolbarStyle);
    btnAutoSearch
        = IconButton(tbCommands, QStringLiteral("btnAutoSearch"), QStringLiteral("Auto search I/O server"), muRescan);
    tbCommands->addSeparator();
    btnSortCon
        = IconButton(tbCommands, QStringLiteral("btnSortCon"), QStringLiteral("Sort by connection"), muByConnection);
    btnSortServer
        = IconButton(tbCommands, QStringLiteral("btnSortServer"), QStringLiteral("Sort by I/O server"), muByServer);
    addToolBar(Qt::TopToolBarArea, tbCommands);

    // Tree pane, splitter, page pane.
    auto* central = new QWidget(this);
    auto* centralLayout = new QVBoxLayout(central);
    centralLayout->setContentsMargins(0, 0, 0, 0);
    centralLayout->setSpacing(0);
    Splitter1 = new QSplitter(Qt::Horizontal, central);
    Splitter1->setObjectName(QStringLiteral("Splitter1"));
    Splitter1->setHandleWidth(3);
    Splitter1->setChildrenCollapsible(false);
    pnTree = new QWidget(Splitter1);
    pnTree->setObjectName(QStringLiteral("pnTree"));
    auto* treeLayout = new QVBoxLayout(pnTree);
    treeLayout->setContentsMargins(0, 0, 0, 0);
    tvXRT = new QTreeWidget(pnTree);
    tvXRT->setObjectName(QStringLiteral("tvXRT"));
    tvXRT->setHeaderHidden(true);
    tvXRT->setColumnCount(1);
    tvXRT->setIndentation(19);
    tvXRT->setEditTriggers(QAbstractItemView::NoEditTriggers);
    tvXRT->setSelectionMode(QAbstractItemView::SingleSelection);
    tvXRT->setIconSize(QSize(16, 16));
    // Long labels scroll sideways rather than being cut short.
    tvXRT->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    tvXRT->header()->setStretchLastSection(false);
    tvXRT->viewport()->setCursor(Qt::PointingHandCursor);
    tvXRT->setContextMenuPolicy(Qt::PreventContextMenu);
    {
        // Keep the selection as visible when the tree loses focus.
        QPalette p = tvXRT->palette();
        p.setColor(QPalette::Inactive, QPalette::Highlight, p.color(QPalette::Active, QPalette::Highlight));
        p.setColor(QPalette::Inactive, QPalette::HighlightedText, p.color(QPalette::Active, QPalette::HighlightedText));
        tvXRT->setPalette(p);
    }
    tvXRT->viewport()->installEventFilter(this);
    treeLayout->addWidget(tvXRT);
    nPanelParent = new QWidget(Splitter1);
    nPanelParent->setObjectName(QStringLiteral("nPanelParent"));
    Splitter1->addWidget(pnTree);
    Splitter1->addWidget(nPanelParent);
    Splitter1->setStretchFactor(0, 0);
    Splitter1->setStretchFactor(1, 1);
    Splitter1->setSizes({ 169, 784 - 169 - 3 });
    centralLayout->addWidget(Splitter1, 1);

    auto* strip = new TStatusStrip(central);
    pnStatus = strip;
    pnStatus->setObjectName(QStringLiteral("pnStatus"));
    pnStatus->setFixedHeight(26);
    lbStatus = new QLabel(QStringLiteral("Ready"), pnStatus);
    lbStatus->setObjectName(QStringLiteral("lbStatus"));
    {
        QFont f = lbStatus->font();
        f.setBold(true);
        lbStatus->setFont(f);
    }
    ProgressBar1 = new QProgressBar(pnStatus);
    ProgressBar1->setObjectName(QStringLiteral("ProgressBar1"));
    ProgressBar1->setRange(0, 100);
    ProgressBar1->setTextVisible(false);
    ProgressBar1->setVisible(false);
    PanelElapse = StatusPanel(pnStatus, QStringLiteral("PanelElapse"), true);
    PanelNow = StatusPanel(pnStatus, QStringLiteral("PanelNow"), false);
    strip->status = lbStatus;
    strip->progress = ProgressBar1;
    strip->elapse = PanelElapse;
    strip->now = PanelNow;
    centralLayout->addWidget(pnStatus);
    setCentralWidget(central);

    Timer1 = new QTimer(this);
    Timer1->setInterval(500);
    TimerNow = new QTimer(this);
    TimerNow->setInterval(950);

    connect(muExit, &QAction::triggered, this, &TfmMain::muExitClick);
    connect(muRescan, &QAction::triggered, this, &TfmMain::ScanServers);
    connect(muByConnection, &QAction::triggered, this, [this] { BuildServerTree(smByConnection); });
    connect(muByServer, &QAction::triggered, this, [this] { BuildServerTree(smByServer); });
    connect(muWiringGuide, &QAction::triggered, this, &TfmMain::muWiringGuideClick);
    connect(muAbout, &QAction::triggered, this, &TfmMain::muAboutClick);
    connect(muAddPodModule, &QAction::triggered, this, &TfmMain::muAddModuleClick);
    connect(muDelModule, &QAction::triggered, this, &TfmMain::muDelModuleClick);
    connect(Timer1, &QTimer::timeout, this, &TfmMain::Timer1Timer);
    connect(TimerNow, &QTimer::timeout, this, &TfmMain::TimerNowTimer);
    connect(tvXRT, &QTreeWidget::currentItemChanged, this, &TfmMain::CurrentNodeChanged);
    connect(tvXRT, &QTreeWidget::itemSelectionChanged, this, &TfmMain::KeepCurrentHighlighted);

    MainWindowLinks.window = this;
    MainWindowLinks.lbStatus = lbStatus;
    MainWindowLinks.muRemoteERestartModule = muRemoteERestartModule;
    MainWindowLinks.muRemoteEResetModule = muRemoteEResetModule;

    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        QRect frame(QPoint(), size());
        frame.moveCenter(screen->availableGeometry().center());
        move(frame.topLeft());
    }

    FormCreate();
}

TfmMain::~TfmMain()
{
    // A window taken down without the close query still releases what it
    // owns, in the close order.
    if (!m_closed)
        FormClose();
    if (MainWindowLinks.window == this)
        MainWindowLinks = TMainWindowLinks {};
}

void TfmMain::FormCreate()
{
    Ready = false;
    SortMode = smByConnection;
    muByConnection->setChecked(true);
    SocketTimeout
        = ReadRegInteger(SettingsKey(QString::fromLatin1(kAdminBaseKey)), QStringLiteral("Socket Timeout"), 5000);
    AppDir = QCoreApplication::applicationDirPath() + QLatin1Char('/');
    QString error;
    BannerImage = LoadJpegImage(ProgramFile(QStringLiteral("image/bar.jpg"), AppDir), &error);
    if (BannerImage.isNull())
        QMessageBox::critical(this, QStringLiteral("TwinlaneAdmin"), error);
    LoadLocalInterfaces();
    // Why host routes can't be written (no route helper, not in its group),
    // shown on the status strip rather than asked.
    pnStatus->setToolTip(HostRouteProblem());
}

bool TfmMain::event(QEvent* e)
{
    if (e->type() == QEvent::WindowActivate)
        FormActivate();
    return QMainWindow::event(e);
}

void TfmMain::FormActivate()
{
    if (!m_firstActivation)
        return;
    m_firstActivation = false;
    Timer1->start();
}

void TfmMain::Timer1Timer()
{
    Timer1->stop();
    if (Product || m_closed)
        return;
    Product = new TTwinlane();
    auto* page = new TfmTwinlane(nullptr, Product);
    Product->Attach(page, nPanelParent, nullptr);
    ScanServers();
    StartTime = QDateTime::currentDateTime();
    TimerNow->start();
    Ready = true;
}

void TfmMain::TimerNowTimer()
{
    const QDateTime now = QDateTime::currentDateTime();
    PanelElapse->setText(ElapsedText(StartTime, now));
    // The long time format without the zone name, which would not fit.
    QString format = QLocale::system().timeFormat(QLocale::LongFormat);
    format.remove(QLatin1Char('t'));
    PanelNow->setText(QLocale::system().toString(now.time(), format.trimmed()));
}

void TfmMain::ScanServers()
{
    // A device request of a module still waits (its event loop runs this);
    // tearing the modules down now would pull them from under it.
    if (Product && Product->AnyRequestPending()) {
        TellRequestPending();
        return;
    }
    EnableCommands(false);
    TScanGuard guard(this);
    Ready = false;
    AbortRequested = true;
    // The nodes point at the modules about to go; take them down now,
    // without selection events, so nothing can reach a deleted object.
    ClearTree();
    // Also after an error the tree shows what the product holds, and
    // device requests are no longer told to give up.
    auto showResult = [this] {
        AbortRequested = false;
        BuildServerTree(SortMode);
        lbStatus->setText(QStringLiteral("Ready"));
        ProgressBar1->setVisible(false);
    };
    QList<IONODE*> records;
    struct TRecordsOwner {
        QList<IONODE*>& list;
        ~TRecordsOwner() { DeleteRecords(list); }
    } owner { records };
    try {
        if (Product)
            Product->RemoveAllModules();
        AbortRequested = false;
        for (;;) {
            DeleteRecords(records);
            if (m_searchRunner)
                m_searchRunner(records);
            else
                RunSearchDialog(records);
            const bool conflict
                = std::any_of(records.begin(), records.end(), [](const IONODE* r) { return r && r->Conflict; });
            if (!conflict)
                break;
            const bool again = m_conflictRunner ? m_conflictRunner(records) : RunConflictDialog(records);
            if (!again)
                break;
        }
        for (const IONODE* r : std::as_const(records)) {
            if (r && !r->Conflict && !r->Address.isEmpty() && !r->MacAddress.isEmpty())
                AddHostRoute(r->LocalAddress, r->Address, r->MacAddress);
        }
        lbStatus->setText(QStringLiteral("Adding I/O servers..."));
        ProgressBar1->setRange(0, int(records.size()));
        ProgressBar1->setValue(1);
        ProgressBar1->setVisible(true);
        if (Product)
            Product->AddServers(nPanelParent, ProgressBar1, records);
    } catch (...) {
        // The group texts may still name the modules that went.
        if (Product)
            Product->RefreshLists();
        showResult();
        throw;
    }
    showResult();
}

void TfmMain::ClearTree()
{
    const QSignalBlocker blockTree(tvXRT);
    const QSignalBlocker blockSelection(tvXRT->selectionModel());
    tvXRT->clear();
}

void TfmMain::BuildServerTree(int sortMode)
{
    SortMode = sortMode;
    muByConnection->setChecked((sortMode & smByConnection) != 0);
    muByServer->setChecked((sortMode & smByServer) != 0);

    // The tree comes down without selection events, so the product page
    // would otherwise stay in view under the next page shown; the modules'
    // pages are hidden by the selection that follows.
    if (Product)
        Product->HidePage();
    ClearTree();
    QTreeWidgetItem* root
        = AddChildNode(tvXRT, nullptr, LocalInterfaces ? HostLabel(*LocalInterfaces) : QStringLiteral("Host"));
    SetNodeImage(root, 0);
    if (Product)
        Product->BuildTree(sortMode, tvXRT, root);
    {
        const QSignalBlocker block(tvXRT);
        SortTreeByText(tvXRT);
    }

    const QList<QTreeWidgetItem*> nodes = NodesInTreeOrder(tvXRT);
    QTreeWidgetItem* select = nullptr;
    for (QTreeWidgetItem* n : nodes) {
        if (const TIOObject* o = NodeObject(n); o && o->Kind == okModule) {
            select = n;
            break;
        }
    }
    if (!select) {
        for (QTreeWidgetItem* n : nodes) {
            if (const TIOObject* o = NodeObject(n); o && o->Kind == okProduct) {
                select = n;
                break;
            }
        }
    }
    if (select)
        tvXRT->setCurrentItem(select);
    tvXRT->expandAll();
}

void TfmMain::CurrentNodeChanged(QTreeWidgetItem* current, QTreeWidgetItem* previous)
{
    tvXRTChanging(previous);
    tvXRTChange(current);
}

void TfmMain::KeepCurrentHighlighted()
{
    // A click on the root or a group moves the current node on, but the
    // view then highlights the node under the pointer; the highlight must
    // stay on the node whose page is in view.
    QTreeWidgetItem* current = tvXRT->currentItem();
    if (!current)
        return;
    const QList<QTreeWidgetItem*> selected = tvXRT->selectedItems();
    if (selected.size() != 1 || selected.first() != current)
        tvXRT->selectionModel()->select(tvXRT->currentIndex(), QItemSelectionModel::ClearAndSelect);
}

void TfmMain::tvXRTChanging(QTreeWidgetItem* current)
{
    if (TIOObject* o = NodeObject(current))
        o->HidePage();
}

void TfmMain::tvXRTChange(QTreeWidgetItem* node)
{
    if (Product)
        Product->HideAllPages();
    if (!node)
        return;
    if (TIOObject* o = NodeObject(node)) {
        o->ShowPage();
        return;
    }
    const QList<QTreeWidgetItem*> nodes = NodesInTreeOrder(tvXRT);
    const qsizetype at = nodes.indexOf(node);
    if (at >= 0 && at + 1 < nodes.size())
        tvXRT->setCurrentItem(nodes.at(at + 1));
}

bool TfmMain::eventFilter(QObject* watched, QEvent* e)
{
    if (watched == tvXRT->viewport() && e->type() == QEvent::MouseButtonPress) {
        auto* me = static_cast<QMouseEvent*>(e);
        if (me->button() == Qt::RightButton) {
            tvXRTMouseDown(me->button(), me->position().toPoint());
            return true;
        }
    }
    return QMainWindow::eventFilter(watched, e);
}

void TfmMain::tvXRTMouseDown(Qt::MouseButton button, const QPoint& viewportPos)
{
    if (button != Qt::RightButton)
        return;
    QTreeWidgetItem* node = tvXRT->itemAt(viewportPos);
    if (!node)
        return;
    tvXRT->setCurrentItem(node);
    TIOObject* o = NodeObject(node);
    if (!o)
        return;
    const QPoint screenPos = tvXRT->viewport()->mapToGlobal(viewportPos);
    if (o->Kind == okProduct) {
        PopupMenu(muPraxon, screenPos);
    } else if (o->Kind == okModule && static_cast<TIOMod*>(o)->TypeCode == TypeCodeRemoteEthernet) {
        auto* module = static_cast<TIOMod*>(o);
        module->PrepareMenu();
        // A module busy with a request takes no second command.
        muDelModule->setEnabled(!module->requestPending);
        PopupMenu(muModRemoteE, screenPos);
    }
}

void TfmMain::PopupMenu(QMenu* menu, const QPoint& screenPos)
{
    emit menuPopupEvent(menu, screenPos);
    menu->popup(screenPos);
}

void TfmMain::SelectObjectNode(TIOObject* object)
{
    if (!object)
        return;
    for (QTreeWidgetItem* n : NodesInTreeOrder(tvXRT)) {
        if (NodeObject(n) == object) {
            tvXRT->setCurrentItem(n);
            n->setExpanded(true);
            return;
        }
    }
}

void TfmMain::EnableCommands(bool enabled)
{
    for (QToolButton* b : { btnFile, btnSys, btnSort, btnHelp, btnAutoSearch, btnSortCon, btnSortServer })
        b->setEnabled(enabled);
    for (QMenu* m : { muFile, muSystem, muSort, muHelp })
        m->menuAction()->setEnabled(enabled);
    for (QMenu* m : { muPraxon, muModRemoteE })
        for (QAction* a : m->actions())
            a->setEnabled(enabled);
}

void TfmMain::muAddModuleClick()
{
    TIOObject* target = NodeObject(tvXRT->currentItem());
    if (!target || !Product)
        return;
    const std::optional<TModAddResult> result = m_modAddRunner ? m_modAddRunner(this, target, Product->Modules())
                                                               : RunModAddDialog(target, Product->Modules());
    if (!result)
        return;
    if (result->TypeCode & TypeCodeNetworkBit)
        AddHostRoute(result->LocalAddress, result->Address, QString());
    TIOMod* module = nullptr;
    if (target->Kind == okProduct)
        module = Product->AddModule(nPanelParent, target, result->ModelIndex, result->Address);
    if (module) {
        BuildServerTree(SortMode);
        SelectObjectNode(module);
    }
}

void TfmMain::muDelModuleClick()
{
    std::optional<TBusyCursor> wait(std::in_place);
    TIOObject* o = NodeObject(tvXRT->currentItem());
    if (!o || !Product || o->Kind != okModule)
        return;
    auto* module = static_cast<TIOMod*>(o);
    // Its device request still waits; the module must outlive it.
    if (module->requestPending) {
        wait.reset();
        TellRequestPending();
        return;
    }
    if (module->TypeCode & TypeCodeNetworkBit)
        RemoveHostRoute(module->Address);
    Product->RemoveModule(module);
    BuildServerTree(SortMode);
}

void TfmMain::RunSearchDialog(QList<IONODE*>& records)
{
    // No owner, centred on this window.
    TfmSearch search(nullptr, &records);
    search.exec();
}

bool TfmMain::RunConflictDialog(QList<IONODE*>& records)
{
    TfmIPConflict conflict(nullptr, &records);
    return conflict.exec() == QDialog::Accepted;
}

std::optional<TModAddResult> TfmMain::RunModAddDialog(TIOObject* target, QList<TIOObject*>* modules)
{
    TfmModAdd add(this, modules, target);
    if (add.exec() != QDialog::Accepted)
        return std::nullopt;
    return TModAddResult { add.ModelIndex, add.TypeCode, add.LocalAddress, add.Address };
}

void TfmMain::TellRequestPending()
{
    const QString text = QStringLiteral("An I/O server is still busy with a request. Try again when it has finished.");
    QMessageBox::information(this, QStringLiteral("TwinlaneAdmin"), text);
}

void TfmMain::muExitClick()
{
    close();
}

void TfmMain::muWiringGuideClick()
{
    const QString path = ProgramFile(QStringLiteral("help/Twinlanesk.hlp"), AppDir);
    if (!QFileInfo::exists(path)) {
        QMessageBox::warning(
            this, QStringLiteral("Help"), QStringLiteral("Cannot find the help file \"%1\".").arg(path));
        return;
    }
    if (!QDesktopServices::openUrl(QUrl::fromLocalFile(path)))
        QMessageBox::warning(this, QStringLiteral("Help"),
            QStringLiteral("No program to show the help file \"%1\" was found.").arg(path));
}

void TfmMain::muAboutClick()
{
    TfmAbout about(this);
    about.exec();
}

bool TfmMain::FormCloseQuery()
{
    if (!Ready)
        return false;
    // A device request waits inside this event loop; its module and the
    // window must stay until it returns.
    if (Product && Product->AnyRequestPending()) {
        TellRequestPending();
        return false;
    }
    const auto answer = QMessageBox::question(this, QStringLiteral("Confirm"),
        QStringLiteral("Exit TwinlaneAdmin, Are you sure?"), QMessageBox::Yes | QMessageBox::No, QMessageBox::No);
    if (answer != QMessageBox::Yes)
        return false;
    AbortRequested = true;
    return true;
}

void TfmMain::FormClose()
{
    if (m_closed)
        return;
    m_closed = true;
    TBusyCursor wait;
    Timer1->stop();
    TimerNow->stop();
    // The nodes' objects are about to go; no selection event may reach them.
    ClearTree();
    if (Product) {
        Product->Detach();
        delete Product;
        Product = nullptr;
    }
    BannerImage = QImage();
    ReleaseLocalInterfaces();
}

void TfmMain::closeEvent(QCloseEvent* e)
{
    if (m_closed) {
        e->accept();
        return;
    }
    if (!FormCloseQuery()) {
        e->ignore();
        return;
    }
    FormClose();
    e->accept();
}
