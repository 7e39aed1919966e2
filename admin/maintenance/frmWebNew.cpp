#include "frmWebNew.h"

#include "ioAppGlobals.h"
#include "webProfile.h"

#include <QGuiApplication>
#include <QScreen>
#include <QVBoxLayout>
#include <QWebEnginePage>
#include <QWebEngineView>

TfmWebNew::TfmWebNew(QWidget* owner)
    : QWidget(owner, Qt::Window)
{
    setObjectName(QStringLiteral("fmWebNew"));
    setWindowTitle(QStringLiteral("fmWebNew"));
    resize(644, 427);

    CppWebBrowser1 = new QWebEngineView(this);
    CppWebBrowser1->setPage(new QWebEnginePage(SharedWebProfile(), CppWebBrowser1));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(CppWebBrowser1);

    connect(CppWebBrowser1, &QWebEngineView::titleChanged, this, &TfmWebNew::CppWebBrowser1TitleChange);
    connect(
        CppWebBrowser1->page(), &QWebEnginePage::windowCloseRequested, this, &TfmWebNew::CppWebBrowser1WindowClosing);

    QRect area;
    if (MainWindowLinks.Window)
        area = MainWindowLinks.Window->frameGeometry();
    else if (QScreen* s = QGuiApplication::primaryScreen())
        area = s->availableGeometry();
    if (area.isValid())
        move(area.center() - rect().center());
    show();
}

void TfmWebNew::CppWebBrowser1TitleChange(const QString& title)
{
    setWindowTitle(title);
}

void TfmWebNew::CppWebBrowser1WindowClosing()
{
    // Hidden, not destroyed: it stays with the page that owns it.
    hide();
}
