#pragma once
// Program-wide values of TwinlaneAdmin that the device objects and their
// pages use, set by the main window when it is created.
#include <QImage>
#include <QString>

class QAction;
class QLabel;
class QWidget;

// Folder of the program file, with a trailing separator.
extern QString AppDir;
// The banner picture, drawn stretched in the caption strips of the pages.
extern QImage BannerImage;

// The parts of the main window that the device objects write to or bind.
struct TMainWindowLinks {
    QWidget* window = nullptr; // owner for message boxes and dialogs
    QLabel* lbStatus = nullptr; // status text
    QAction* muRemoteERestartModule = nullptr; // "Restart System"
    QAction* muRemoteEResetModule = nullptr; // "Reset to Default"
};
extern TMainWindowLinks MainWindowLinks;
