#include "admin/maintenance/frmWebNew.h"

#include "admin/maintenance/frmQ6120.h"

#include "admin/maintenance/webProfile.h"
#include "admin/model/ioAppGlobals.h"

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

    // A pop-up's pages may open windows too: they go to the same device page.
    CppWebBrowser1 = new TCppWebBrowser(qobject_cast<TfmQ6120*>(owner), this);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(CppWebBrowser1);

    connect(CppWebBrowser1, &QWebEngineView::titleChanged, this, &TfmWebNew::CppWebBrowser1TitleChange);
    connect(
        CppWebBrowser1->page(), &QWebEnginePage::windowCloseRequested, this, &TfmWebNew::CppWebBrowser1WindowClosing);

    QRect area;
    if (MainWindowLinks.window)
        area = MainWindowLinks.window->frameGeometry();
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
