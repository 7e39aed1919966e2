#include "frmQ6120.h"

#include "frmWebNew.h"
#include "ioAppGlobals.h"
#include "ioObject.h"
#include "modQ6120.h"
#include "webProfile.h"

#include <QEvent>
#include <QLabel>
#include <QStatusBar>
#include <QStyle>
#include <QTabWidget>
#include <QToolButton>
#include <QUrl>
#include <QVBoxLayout>
#include <QWebEnginePage>

TCppWebBrowser::TCppWebBrowser(TfmQ6120* owner, QWidget* parent)
    : QWebEngineView(parent)
    , Owner(owner)
{
    setPage(new QWebEnginePage(SharedWebProfile(), this));
}

QWebEngineView* TCppWebBrowser::createWindow(QWebEnginePage::WebWindowType)
{
    return Owner->WebBrowserNewWindow2();
}

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
    auto* firmwareLayout = new QVBoxLayout(TabFirmware);
    firmwareLayout->addWidget(new QLabel(QStringLiteral("Firmware update"), TabFirmware));
    firmwareLayout->addStretch();
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
