#include "ioAppGlobals.h"

QString AppDir;
QImage BannerImage;
TMainWindowLinks MainWindowLinks;
