#pragma once
// The application object of TwinlaneAdmin: an error that escapes an event
// handler is shown in the standard error box and the program goes on.
// SIGTERM, SIGINT and SIGHUP end the program through its normal close order
// without a question, so a kill or a logout leaves no host route behind.
#include <QApplication>

class QSocketNotifier;

class TAdminApplication : public QApplication {
public:
    // The web engine refuses root unless its sandbox is off, and the pages it
    // shows come from the plant network: root is refused, unless this
    // variable (the engine's own switch) is "1" (tests and containers only).
    static constexpr const char* SandboxOffVariable = "QTWEBENGINE_DISABLE_SANDBOX";
    static constexpr int RefusedExitCode = 1;

    TAdminApplication(int& argc, char** argv);
    ~TAdminApplication() override;
    bool notify(QObject* receiver, QEvent* event) override;

    // Why the program won't run as this user, with how to run it; empty when
    // it will. Read before the application object exists.
    static QString RootRefusal();
    // Says it on standard error, and in a message box when there is a display.
    static int Refuse(const QString& text, int& argc, char** argv);

private:
    void SignalArrived();

    QSocketNotifier* m_signalNotifier = nullptr;
};
