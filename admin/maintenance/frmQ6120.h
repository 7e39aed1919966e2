#pragma once
// The page of a Q6120 server: caption strip, the server's web console in an
// embedded browser, and the firmware update tab.
#include "admin/maintenance/cppWebBrowser.h"
#include "admin/maintenance/firmware/firmwareUpdate.h"
#include "admin/model/ioDevicePage.h"

#include <QUrl>
#include <QWidget>

class QGroupBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QStatusBar;
class QTabWidget;
class QToolButton;
class TModQ6120;

// "http://%s" with the server's address text, unchanged: the server's web
// server on the standard port (a host name typed by hand works too).
QUrl WebConsoleUrl(const QString& address);

class TfmQ6120 : public QWidget, public TDevicePage, private TFirmwareUi {
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

    // The "Firmware Update" tab.
    QGroupBox* GroupBox1;
    QLabel* Label4;
    QLineEdit* etPath;
    QToolButton* btnFile;
    QLabel* Label36;
    QLabel* Label37;
    QLabel* Label38;
    QPushButton* btnGo;
    QLabel* lbFWStep;
    QProgressBar* ProgressBar1;
    QLabel* lbFWTotal;
    QProgressBar* ProgressBar2;

    // Time limits of the download's requests; tests shorten them.
    TFirmwareLimits firmwareLimits;
    // The download of the package at etPath's path into the module's server.
    void UpdateFirmware();
    bool UpdateRunning() const { return m_updating; }

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
    void btnFileClick();
    void btnGoClick();
    void etPathChange();
    void BuildFirmwareTab();

    // TFirmwareUi: what the download shows on this page.
    bool AskPassword(std::string& password) override;
    void ShowMessage(const char* text) override;
    void UpdateStarted() override;
    void ClearPath() override;
    void DownloadStarted(int recordCount) override;
    void RecordStarted(int index, int count, uint64_t evenLength) override;
    void RecordProgress(uint64_t bytesSent) override;
    void RecordsDone(int done) override;
    void ShowCountdown() override;
    void DownloadEnded() override;

    bool m_updating = false;
    bool m_busyCursorShown = false;
    // Record lengths beyond a progress bar's int range are shown scaled down.
    int m_progressShift = 0;
    void PageControl1Change(int index);
    void TabWebResize();
    void Navigate();
};
