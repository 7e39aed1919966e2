#include "webProfile.h"

#include <QCoreApplication>
#include <QPointer>
#include <QWebEngineProfile>

QWebEngineProfile* SharedWebProfile()
{
    static QPointer<QWebEngineProfile> profile;
    if (!profile)
        profile = new QWebEngineProfile(QCoreApplication::instance());
    return profile;
}
