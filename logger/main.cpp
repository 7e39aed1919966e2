// Alarmkeeper: receives the alarms of Twinlane servers, shows and logs them.
#include "common/singleInstance.h"
#include "logger/frmMain.h"

#include <QApplication>
#include <exception>

namespace {

// An error that escapes a handler is shown, and the program goes on.
class TAlarmkeeperApp : public QApplication {
public:
    using QApplication::QApplication;
    bool notify(QObject* receiver, QEvent* event) override
    {
        try {
            return QApplication::notify(receiver, event);
        } catch (const std::exception& e) {
            ShowErrorBox(activeWindow(), QString::fromLocal8Bit(e.what()));
        } catch (...) {
            ShowErrorBox(activeWindow(), QStringLiteral("Unknown error"));
        }
        return false;
    }
};

} // namespace

int main(int argc, char* argv[])
{
    TAlarmkeeperApp app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Alarmkeeper"));

    TSingleInstance instance(QStringLiteral("Alarmkeeper"));
    if (!instance.Acquire()) {
        if (instance.State() == TSingleInstance::TState::Failed) {
            // Not another copy: say why instead of ending without a word.
            ShowErrorBox(nullptr, instance.ErrorText());
            return 1;
        }
        QApplication::setApplicationName(QStringLiteral("Finding"));
        instance.NotifyRunning();
        return 0;
    }
    try {
        TfmMain window;
        window.FollowLaterStarts(instance);
        window.show();
        return app.exec();
    } catch (const std::exception& e) {
        ShowErrorBox(nullptr, QString::fromLocal8Bit(e.what()));
    }
    return 1;
}
