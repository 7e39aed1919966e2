#include "admin/maintenance/cppWebBrowser.h"

#include "admin/maintenance/frmQ6120.h"
#include "admin/maintenance/webPageHandlers.h"
#include "admin/maintenance/webProfile.h"

#include <QWebEnginePage>

TCppWebBrowser::TCppWebBrowser(TfmQ6120* owner, QWidget* parent)
    : QWebEngineView(parent)
    , m_owner(owner)
{
    setPage(new QWebEnginePage(SharedWebProfile(), this));
    AskLoginFor(page(), this);
}

QWebEngineView* TCppWebBrowser::createWindow(QWebEnginePage::WebWindowType)
{
    return m_owner ? m_owner->WebBrowserNewWindow2() : nullptr;
}
