#include "admin/maintenance/webProfile.h"

#include "admin/maintenance/webPageHandlers.h"

#include <QCoreApplication>
#include <QPointer>
#include <QWebEngineDownloadRequest>
#include <QWebEngineProfile>

QWebEngineProfile* SharedWebProfile()
{
    static QPointer<QWebEngineProfile> profile;
    if (!profile) {
        profile = new QWebEngineProfile(QCoreApplication::instance());
        QObject::connect(profile, &QWebEngineProfile::downloadRequested, profile, &SaveDownload);
    }
    return profile;
}

void PrepareWebEngine()
{
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QByteArray flags = qgetenv("QTWEBENGINE_CHROMIUM_FLAGS");
    if (!flags.contains("--renderer-process-limit")) {
        if (!flags.isEmpty())
            flags += ' ';
        flags += "--renderer-process-limit=" + QByteArray::number(RendererProcessLimit);
        qputenv("QTWEBENGINE_CHROMIUM_FLAGS", flags);
    }
}
