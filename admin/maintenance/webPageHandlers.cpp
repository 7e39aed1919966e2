#include "admin/maintenance/webPageHandlers.h"

#include "admin/maintenance/frmLogin.h"
#include "admin/model/ioAppGlobals.h"

#include <QAuthenticator>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QPointer>
#include <QWebEngineDownloadRequest>
#include <QWebEnginePage>

void AskLoginFor(QWebEnginePage* page, QWidget* owner)
{
    QPointer<QWidget> window(owner);
    QObject::connect(
        page, &QWebEnginePage::authenticationRequired, page, [window](const QUrl& url, QAuthenticator* authenticator) {
            TfmLogin dialog(window, url.host(), authenticator->realm());
            if (dialog.exec() == QDialog::Accepted) {
                authenticator->setUser(dialog.etUser->text());
                authenticator->setPassword(dialog.etPassword->text());
            } else {
                // A null authenticator tells the engine the login was refused.
                *authenticator = QAuthenticator();
            }
        });
}

void SaveDownload(QWebEngineDownloadRequest* download)
{
    QFileDialog dialog(MainWindowLinks.window);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setDirectory(download->downloadDirectory());
    dialog.selectFile(download->downloadFileName());
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        download->cancel();
        return;
    }
    const QFileInfo target(dialog.selectedFiles().first());
    download->setDownloadDirectory(target.absolutePath());
    download->setDownloadFileName(target.fileName());
    download->accept();
}
