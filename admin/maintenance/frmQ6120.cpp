#include "admin/maintenance/frmQ6120.h"

#include "admin/maintenance/frmPwd.h"
#include "admin/maintenance/frmWebNew.h"
#include "admin/maintenance/moduleFirmwareLink.h"
#include "admin/maintenance/moduleHold.h"
#include "admin/maintenance/webPageHandlers.h"
#include "admin/maintenance/webProfile.h"
#include "admin/model/frmWait.h"
#include "admin/model/ioAppGlobals.h"
#include "admin/model/ioObject.h"
#include "admin/model/modQ6120.h"

#include <QApplication>
#include <QEvent>
#include <QFileDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QStatusBar>
#include <QStyle>
#include <QTabWidget>
#include <QToolButton>
#include <QUrl>
#include <QVBoxLayout>
#include <QWebEnginePage>
#include <limits>

TfmQ6120::TfmQ6120(QWidget* owner, TModQ6120* module)
    : QWidget(owner)
    , Module(module)
{
    setObjectName(QStringLiteral("fmQ6120"));

    Panel4 = new QWidget(this);
    Panel4->setFixedHeight(41);
    Image1 = new QLabel(Panel4);
    Image1->setScaledContents(true);
    lbDesc = new QLabel(Panel4);
    lbDesc->setAttribute(Qt::WA_TranslucentBackground);
    lbDesc->setStyleSheet(QStringLiteral("color: blue; background: transparent;"));
    QFont big = lbDesc->font();
    big.setPixelSize(18);
    big.setBold(true);
    lbDesc->setFont(big);
    lbDesc->move(16, 8);
    btnReloadWeb = new QToolButton(Panel4);
    btnReloadWeb->setAutoRaise(true);
    btnReloadWeb->setToolTip(QStringLiteral("Reload"));
    btnReloadWeb->setIcon(style()->standardIcon(QStyle::SP_BrowserReload));
    btnReloadWeb->setFixedSize(25, 25);

    PageControl1 = new QTabWidget(this);
    TabWeb = new QWidget;
    auto* webLayout = new QVBoxLayout(TabWeb);
    webLayout->setContentsMargins(0, 0, 0, 0);
    TabFirmware = new QWidget;
    BuildFirmwareTab();
    PageControl1->addTab(TabWeb, QStringLiteral("Web Console"));
    PageControl1->addTab(TabFirmware, style()->standardIcon(QStyle::SP_DriveHDIcon), QStringLiteral("Firmware Update"));

    StatusBar1 = new QStatusBar(this);
    StatusBar1->setSizeGripEnabled(false);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(Panel4);
    layout->addWidget(PageControl1, 1);
    layout->addWidget(StatusBar1);

    connect(btnReloadWeb, &QToolButton::clicked, this, &TfmQ6120::btnReloadWebClick);
    connect(PageControl1, &QTabWidget::currentChanged, this, &TfmQ6120::PageControl1Change);
    TabWeb->installEventFilter(this);
    Panel4->installEventFilter(this);
}

TfmQ6120::~TfmQ6120()
{
    // Normally gone by now (the module's Detach); a page deleted without it
    // still releases its browser before the pop-ups go.
    delete WebBrowser;
}

void TfmQ6120::InitPage()
{
    if (Module)
        lbDesc->setText(QStringLiteral("%1 - %2").arg(
            CatalogueText(ModelNames, Module->ModelIndex), CatalogueText(ModelDescriptions, Module->ModelIndex)));
    lbDesc->adjustSize();
    Image1->setPixmap(QPixmap::fromImage(BannerImage));
    PageControl1->setCurrentWidget(TabWeb);
    if (!WebBrowser) {
        WebBrowser = new TCppWebBrowser(this, TabWeb);
        TabWeb->layout()->addWidget(WebBrowser);
    }
    TabWebResize();
}

QUrl WebConsoleUrl(const QString& address)
{
    return QUrl(QStringLiteral("http://%1").arg(address));
}

void TfmQ6120::Navigate()
{
    if (WebBrowser && Module)
        WebBrowser->load(WebConsoleUrl(Module->Address));
}

void TfmQ6120::OpenWebConsole()
{
    Navigate();
}

void TfmQ6120::btnReloadWebClick()
{
    Navigate();
}

void TfmQ6120::ReleaseBrowser()
{
    if (!WebBrowser)
        return;
    WebBrowser->stop();
    delete WebBrowser;
    WebBrowser = nullptr;
}

QWebEngineView* TfmQ6120::WebBrowserNewWindow2()
{
    auto* popup = new TfmWebNew(this);
    emit PopupCreated(popup);
    return popup->CppWebBrowser1;
}

void TfmQ6120::PageControl1Change(int index)
{
    btnReloadWeb->setVisible(PageControl1->widget(index) == TabWeb);
    TabWebResize();
}

void TfmQ6120::TabWebResize()
{
    // The tab's right edge, seen from the strip the button sits on.
    const int tabLeft = TabWeb->mapTo(this, QPoint(0, 0)).x() - Panel4->x();
    const int width = TabWeb->width();
    btnReloadWeb->move(tabLeft + width - btnReloadWeb->width() - 20, (Panel4->height() - btnReloadWeb->height()) / 2);
}

bool TfmQ6120::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::Resize) {
        if (watched == Panel4)
            Image1->setGeometry(Panel4->rect());
        if (watched == TabWeb)
            TabWebResize();
    }
    return QWidget::eventFilter(watched, event);
}

void TfmQ6120::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    TabWebResize();
}

void TfmQ6120::BuildFirmwareTab()
{
    GroupBox1 = new QGroupBox(TabFirmware);
    Label4 = new QLabel(QStringLiteral("Firmware File Path :"), GroupBox1);
    etPath = new QLineEdit(GroupBox1);
    btnFile = new QToolButton(GroupBox1);
    btnFile->setAutoRaise(true);
    btnFile->setIcon(style()->standardIcon(QStyle::SP_DirOpenIcon));
    btnFile->setToolTip(QStringLiteral("Open"));
    Label36 = new QLabel(QStringLiteral("Warning:"), GroupBox1);
    Label37 = new QLabel(QStringLiteral("1. The firmware download may take around 2 minutes."), GroupBox1);
    Label38 = new QLabel(
        QStringLiteral("2. Disconnecting power or network cable during the time would  lead to firmware corruption."),
        GroupBox1);
    btnGo = new QPushButton(style()->standardIcon(QStyle::SP_ArrowUp), QStringLiteral("Update"), GroupBox1);
    btnGo->setEnabled(false);
    lbFWStep = new QLabel(QStringLiteral("Step 1/3"), GroupBox1);
    ProgressBar1 = new QProgressBar(GroupBox1);
    lbFWTotal = new QLabel(QStringLiteral("Total progress"), GroupBox1);
    ProgressBar2 = new QProgressBar(GroupBox1);
    for (QWidget* w : { static_cast<QWidget*>(lbFWStep), static_cast<QWidget*>(ProgressBar1),
             static_cast<QWidget*>(lbFWTotal), static_cast<QWidget*>(ProgressBar2) })
        w->setVisible(false);

    auto* grid = new QGridLayout(GroupBox1);
    grid->addWidget(Label4, 0, 0);
    grid->addWidget(etPath, 0, 1);
    grid->addWidget(btnFile, 0, 2);
    grid->addWidget(Label36, 1, 0, Qt::AlignTop);
    grid->addWidget(Label37, 1, 1, 1, 2);
    grid->addWidget(Label38, 2, 1, 1, 2);
    grid->addWidget(btnGo, 3, 1, Qt::AlignLeft);
    grid->addWidget(lbFWStep, 4, 0);
    grid->addWidget(ProgressBar1, 4, 1, 1, 2);
    grid->addWidget(lbFWTotal, 5, 0);
    grid->addWidget(ProgressBar2, 5, 1, 1, 2);
    grid->setColumnStretch(1, 1);
    auto* layout = new QVBoxLayout(TabFirmware);
    layout->addWidget(GroupBox1);
    layout->addStretch();

    connect(btnFile, &QToolButton::clicked, this, &TfmQ6120::btnFileClick);
    connect(btnGo, &QPushButton::clicked, this, &TfmQ6120::btnGoClick);
    // Every change, also by the program (the clearing at the end of an update).
    connect(etPath, &QLineEdit::textChanged, this, &TfmQ6120::etPathChange);
}

void TfmQ6120::etPathChange()
{
    btnGo->setEnabled(true);
}

void TfmQ6120::btnFileClick()
{
    QFileDialog dialog(this);
    dialog.setNameFilter(QStringLiteral("Twinlane firmware files (*.skp)"));
    dialog.setFileMode(QFileDialog::ExistingFile);
    // The toolkit's own dialog: the same everywhere, and tests can answer it.
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    if (dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty())
        etPath->setText(QFileInfo(dialog.selectedFiles().first()).absoluteFilePath());
}

void TfmQ6120::btnGoClick()
{
    UpdateFirmware();
}

void TfmQ6120::UpdateFirmware()
{
    if (!Module || m_updating)
        return;
    // The module stays, message boxes and countdown included.
    TModuleHold::Guard hold(Module);
    m_updating = true;
    // On every way out, also by an error: not running, the cursor back.
    struct TClear {
        TfmQ6120* Page;
        ~TClear()
        {
            Page->m_updating = false;
            if (Page->m_busyCursorShown) {
                QApplication::restoreOverrideCursor();
                Page->m_busyCursorShown = false;
            }
        }
    } clear { this };
    TModuleFirmwareLink link(Module);
    TFirmwareUpdate update(link, *this, firmwareLimits);
    const TFirmwareOutcome outcome = update.UpdateFirmware(etPath->text().toLocal8Bit().toStdString());
    if (outcome == TFirmwareOutcome::Updated) {
        OpenWebConsole();
        PageControl1->setCurrentWidget(TabWeb);
    }
}

bool TfmQ6120::AskPassword(std::string& password)
{
    TfmPwd dialog(this);
    dialog.exec();
    // Cancel leaves it empty. Single-byte text, compared byte for byte.
    password = dialog.Password.toLatin1().toStdString();
    return dialog.result() == QDialog::Accepted;
}

void TfmQ6120::ShowMessage(const char* text)
{
    // A message box shows the arrow even while the download's hourglass is up.
    const bool busy = QApplication::overrideCursor() != nullptr;
    if (busy)
        QApplication::setOverrideCursor(Qt::ArrowCursor);
    QWidget* owner = MainWindowLinks.window ? MainWindowLinks.window : this;
    QMessageBox box(
        QMessageBox::NoIcon, QStringLiteral("TwinlaneAdmin"), QString::fromLatin1(text), QMessageBox::Ok, owner);
    box.exec();
    if (busy)
        QApplication::restoreOverrideCursor();
}

void TfmQ6120::UpdateStarted()
{
    btnGo->setEnabled(false);
}

void TfmQ6120::ClearPath()
{
    etPath->clear();
}

void TfmQ6120::DownloadStarted(int recordCount)
{
    btnFile->setEnabled(false);
    etPath->setEnabled(false);
    ProgressBar1->setRange(0, 0);
    ProgressBar1->setValue(0);
    ProgressBar1->setVisible(true);
    lbFWStep->setVisible(true);
    ProgressBar2->setRange(0, recordCount);
    ProgressBar2->setValue(0);
    ProgressBar2->setVisible(true);
    lbFWTotal->setVisible(true);
    QApplication::setOverrideCursor(Qt::WaitCursor);
    m_busyCursorShown = true;
}

void TfmQ6120::RecordStarted(int index, int count, uint64_t evenLength)
{
    lbFWStep->setText(QStringLiteral("Step %1/%2").arg(index + 1).arg(count));
    m_progressShift = 0;
    while ((evenLength >> m_progressShift) > uint64_t(std::numeric_limits<int>::max()))
        ++m_progressShift;
    ProgressBar1->setValue(0);
    ProgressBar1->setMaximum(int(evenLength >> m_progressShift));
}

void TfmQ6120::RecordProgress(uint64_t bytesSent)
{
    ProgressBar1->setValue(int(bytesSent >> m_progressShift));
}

void TfmQ6120::RecordsDone(int done)
{
    ProgressBar2->setValue(done);
}

void TfmQ6120::ShowCountdown()
{
    TfmWait wait(MainWindowLinks.window);
    wait.exec();
}

void TfmQ6120::DownloadEnded()
{
    ProgressBar1->setVisible(false);
    lbFWStep->setVisible(false);
    ProgressBar2->setVisible(false);
    lbFWTotal->setVisible(false);
    etPath->clear();
    btnFile->setEnabled(true);
    etPath->setEnabled(true);
    if (m_busyCursorShown) {
        QApplication::restoreOverrideCursor();
        m_busyCursorShown = false;
    }
}
