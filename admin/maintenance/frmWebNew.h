#pragma once
// A pop-up window for a page that the web console opens in a new window.
#include <QWidget>

class QWebEngineView;

class TfmWebNew : public QWidget {
    Q_OBJECT
public:
    // Owned by owner (the device page) and destroyed with it; shows itself.
    explicit TfmWebNew(QWidget* owner);

    // The browser that receives the new window.
    QWebEngineView* CppWebBrowser1;

private:
    void CppWebBrowser1TitleChange(const QString& title);
    void CppWebBrowser1WindowClosing();
};
