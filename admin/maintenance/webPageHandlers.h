#pragma once
// What every console page and pop-up needs beyond showing pages: a login
// asked for in a dialog, and downloads saved where the operator chooses.
class QWebEngineDownloadRequest;
class QWebEnginePage;
class QWidget;

// Asks for the login whenever page wants one; cancelled when the operator
// cancels. owner: the window the dialog belongs to.
void AskLoginFor(QWebEnginePage* page, QWidget* owner);

// Offers a save dialog for a download of the shared profile; the download
// is cancelled unless a file is chosen.
void SaveDownload(QWebEngineDownloadRequest* download);
