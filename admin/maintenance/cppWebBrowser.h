#pragma once
#include <QWebEngineView>

class TfmQ6120;

// The embedded browser of the console and of its pop-ups: hands every new
// window the page asks for to the device page's new-window handler (none
// without one), and asks for a login when a page wants one.
class TCppWebBrowser : public QWebEngineView {
    Q_OBJECT
public:
    TCppWebBrowser(TfmQ6120* owner, QWidget* parent);

protected:
    QWebEngineView* createWindow(QWebEnginePage::WebWindowType type) override;

private:
    TfmQ6120* m_owner;
};
