#pragma once
// The application object of TwinlaneAdmin: an error that escapes an event
// handler is shown in the standard error box and the program goes on.
#include <QApplication>

class TAdminApplication : public QApplication {
public:
    TAdminApplication(int& argc, char** argv);
    bool notify(QObject* receiver, QEvent* event) override;
};
