#include "admin/model/ioAppGlobals.h"

QString AppDir;
QImage BannerImage;
TMainWindowLinks MainWindowLinks;
