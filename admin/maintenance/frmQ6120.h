#pragma once
// The page of a Q6120 server: caption strip, the server's web console in an
// embedded browser, and the firmware update tab.
#include "ioDevicePage.h"

#include <QUrl>
#include <QWebEngineView>
#include <QWidget>

class QLabel;
class QStatusBar;
class QTabWidget;
class QToolButton;
class TModQ6120;
class TfmQ6120;

// "http://%s" with the server's address text, unchanged: the server's web
// server on the standard port (a host name typed by hand works too).
QUrl WebConsoleUrl(const QString& address);

// The embedded browser: hands every new window the page asks for to the
// page's new-window handler.
class TCppWebBrowser : public QWebEngineView {
    Q_OBJECT
public:
    TCppWebBrowser(TfmQ6120* owner, QWidget* parent);

protected:
    QWebEngineView* createWindow(QWebEnginePage::WebWindowType type) override;

private:
    TfmQ6120* Owner;
};

class TfmQ6120 : public QWidget, public TDevicePage {
    Q_OBJECT
public:
    TfmQ6120(QWidget* owner, TModQ6120* module);
    ~TfmQ6120() override;

    void InitPage() override;
    void OpenWebConsole() override;
    void ReleaseBrowser() override;

    TModQ6120* Module; // not owned
    TCppWebBrowser* WebBrowser = nullptr; // owned; from InitPage to ReleaseBrowser

    QWidget* Panel4;
    QLabel* Image1;
    QLabel* lbDesc;
    QToolButton* btnReloadWeb;
    QTabWidget* PageControl1;
    QWidget* TabWeb;
    QWidget* TabFirmware;
    QStatusBar* StatusBar1;

    // NewWindow2: a pop-up window, owned by this page, whose browser
    // receives the new window.
    QWebEngineView* WebBrowserNewWindow2();

signals:
    // A pop-up window was created for the console.
    void PopupCreated(QWidget* popup);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void btnReloadWebClick();
    void PageControl1Change(int index);
    void TabWebResize();
    void Navigate();
};
