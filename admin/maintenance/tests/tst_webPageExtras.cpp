// What the console pages need beyond showing pages, with a real browser
// engine and a local web server of this test in a private network
// namespace: a pop-up that opens a pop-up, a login asked for in a dialog
// (and cancelled), a download saved where the operator chooses (and not).
#include "admin/maintenance/frmLogin.h"
#include "admin/maintenance/frmQ6120.h"
#include "admin/maintenance/frmWebNew.h"
#include "admin/maintenance/webProfile.h"
#include "admin/model/ioAppGlobals.h"
#include "admin/model/modQ6120.h"
#include "lab/testsupport/qt/modalAnswerer.h"
#include "lab/testsupport/qt/qtestMain.h"

#include <QApplication>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QWebEnginePage>
#include <QtTest>

namespace {

// Console, two pop-up pages, a page behind a login, and a file to download.
class TExtrasServer : public QObject {
public:
    TExtrasServer()
    {
        m_server.listen(QHostAddress::LocalHost, 0);
        connect(&m_server, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* s = m_server.nextPendingConnection()) {
                connect(s, &QTcpSocket::readyRead, s, [this, s] { Answer(s); });
                connect(s, &QTcpSocket::disconnected, s, &QObject::deleteLater);
            }
        });
    }
    QString Address() const { return QStringLiteral("127.0.0.1:%1").arg(m_server.serverPort()); }
    QStringList logins; // Authorization headers received

private:
    void Answer(QTcpSocket* s)
    {
        QByteArray& buffer = m_pending[s];
        buffer += s->readAll();
        const int end = buffer.indexOf("\r\n\r\n");
        if (end < 0)
            return;
        const QByteArray head = buffer.left(end);
        m_pending.remove(s);
        const QByteArray path = head.split(' ').value(1);
        QByteArray authorization;
        for (const QByteArray& line : head.split('\n'))
            if (line.toLower().startsWith("authorization:"))
                authorization = line.mid(14).trimmed();
        QByteArray status = "200 OK", extra, type = "text/html", body;
        auto page = [](const char* title) {
            return QByteArray("<html><head><title>") + title + "</title></head><body>" + title + "</body></html>";
        };
        if (path == "/")
            body = page("Console");
        else if (path == "/one")
            body = page("Popup One");
        else if (path == "/two")
            body = page("Popup Two");
        else if (path.startsWith("/secret")) {
            if (!authorization.isEmpty())
                logins << QString::fromLatin1(authorization);
            if (authorization == "Basic " + QByteArray("admin:pw").toBase64()) {
                body = page("Secret");
            } else {
                status = "401 Unauthorized";
                extra = "WWW-Authenticate: Basic realm=\"Q6120\"\r\n";
                body = page("Denied");
            }
        } else if (path == "/fw.bin") {
            type = "application/octet-stream";
            extra = "Content-Disposition: attachment; filename=\"fw.bin\"\r\n";
            body = "firmware bytes";
        } else {
            status = "404 Not Found";
            body = page("Not here");
        }
        s->write("HTTP/1.1 " + status + "\r\nContent-Type: " + type + "\r\n" + extra
            + "Connection: close\r\nContent-Length: " + QByteArray::number(body.size()) + "\r\n\r\n" + body);
        s->disconnectFromHost();
    }
    QTcpServer m_server;
    QHash<QTcpSocket*, QByteArray> m_pending;
};

// Answers the login and save dialogs as told (twltest::ModalAnswerer), and
// notes what it saw.
class TDialogAnswerer {
public:
    TDialogAnswerer()
    {
        const twltest::ModalAnswerer::Handler handler = [this](QWidget* w) { return Answer(w); };
        m_answerer.dialogs = QList<twltest::ModalAnswerer::Handler>(MostDialogs, handler);
    }
    bool accept = true;
    QString user, password, saveAs;
    QStringList seen;

private:
    static constexpr int MostDialogs = 8;
    bool Answer(QWidget* w)
    {
        if (auto* login = qobject_cast<TfmLogin*>(w)) {
            seen << QStringLiteral("login ") + login->lbSite->text();
            login->etUser->setText(user);
            login->etPassword->setText(password);
            (accept ? login->btnOK : login->btnCancel)->click();
            return true;
        }
        if (auto* save = qobject_cast<QFileDialog*>(w)) {
            seen << QStringLiteral("save ") + save->selectedFiles().value(0).section(QLatin1Char('/'), -1);
            if (accept) {
                // selectFile leaves a focused name field as it is.
                if (QWidget* focused = save->focusWidget())
                    focused->clearFocus();
                save->selectFile(saveAs);
                static_cast<QDialog*>(save)->accept();
            } else {
                static_cast<QDialog*>(save)->reject();
            }
            return true;
        }
        return false;
    }
    twltest::ModalAnswerer m_answerer;
};

} // namespace

class TestWebPageExtras : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void popupOpensPopup();
    void login();
    void download();

private:
    bool Load(QWebEngineView* view, const QString& path, const QString& title);
    TExtrasServer m_server;
    QWidget* m_main = nullptr;
    TModQ6120* m_module = nullptr;
    TfmQ6120* m_page = nullptr;
    QList<TIOObject*> m_list;
    QTemporaryDir m_dir;
};

void TestWebPageExtras::initTestCase()
{
    if (!twltest::PrivateNetworkProblem().empty())
        QSKIP(twltest::PrivateNetworkProblem().c_str());
    m_main = new QWidget;
    m_main->resize(900, 700);
    MainWindowLinks.window = m_main;
    m_main->show();
    m_module = new TModQ6120(0);
    m_page = new TfmQ6120(nullptr, m_module);
    m_module->Attach(m_page, m_main, nullptr);
    QSignalSpy loaded(m_page->WebBrowser, &QWebEngineView::loadFinished);
    m_module->AttachToList(&m_list, m_main, m_server.Address());
    m_module->ShowPage();
    QTRY_VERIFY_WITH_TIMEOUT(!loaded.isEmpty(), 60000);
    QTRY_COMPARE_WITH_TIMEOUT(m_page->WebBrowser->title(), QStringLiteral("Console"), 30000);
}

void TestWebPageExtras::cleanupTestCase()
{
    if (!m_module)
        return;
    m_module->Detach();
    delete m_module;
    MainWindowLinks = TMainWindowLinks {};
    delete m_main;
}

bool TestWebPageExtras::Load(QWebEngineView* view, const QString& path, const QString& title)
{
    view->load(QUrl(QStringLiteral("http://%1%2").arg(m_server.Address(), path)));
    return QTest::qWaitFor([&] { return view->title() == title; }, 30000);
}

void TestWebPageExtras::popupOpensPopup()
{
    QList<QWidget*> popups;
    connect(m_page, &TfmQ6120::PopupCreated, this, [&](QWidget* p) { popups << p; });
    m_page->WebBrowser->page()->runJavaScript(QStringLiteral("window.open('/one');"));
    QTRY_COMPARE_WITH_TIMEOUT(popups.size(), 1, 30000);
    auto* one = qobject_cast<TfmWebNew*>(popups[0]);
    QVERIFY(one);
    QTRY_COMPARE_WITH_TIMEOUT(one->windowTitle(), QStringLiteral("Popup One"), 30000);
    // The pop-up's own page opens a window: a second pop-up of the same page.
    one->CppWebBrowser1->page()->runJavaScript(QStringLiteral("window.open('/two');"));
    QTRY_COMPARE_WITH_TIMEOUT(popups.size(), 2, 30000);
    auto* two = qobject_cast<TfmWebNew*>(popups[1]);
    QVERIFY(two);
    QTRY_COMPARE_WITH_TIMEOUT(two->windowTitle(), QStringLiteral("Popup Two"), 30000);
    QCOMPARE(two->parent(), m_page);
    QVERIFY(one->isVisible() && two->isVisible());
    two->CppWebBrowser1->page()->runJavaScript(QStringLiteral("window.close();"));
    QTRY_VERIFY_WITH_TIMEOUT(!two->isVisible(), 30000);
    QVERIFY(one->isVisible());
    one->close();
}

void TestWebPageExtras::login()
{
    TDialogAnswerer answerer;
    answerer.accept = false;
    QVERIFY(Load(m_page->WebBrowser, QStringLiteral("/secret?1"), QStringLiteral("Denied")));
    QCOMPARE(answerer.seen, QStringList { QStringLiteral("login 127.0.0.1 (Q6120)") });
    QVERIFY(m_server.logins.isEmpty());

    answerer.accept = true;
    answerer.user = QStringLiteral("admin");
    answerer.password = QStringLiteral("pw");
    QVERIFY(Load(m_page->WebBrowser, QStringLiteral("/secret?2"), QStringLiteral("Secret")));
    QCOMPARE(answerer.seen.size(), 2);
    QCOMPARE(m_server.logins.last(), QStringLiteral("Basic ") + QString::fromLatin1(QByteArray("admin:pw").toBase64()));
}

void TestWebPageExtras::download()
{
    TDialogAnswerer answerer;
    answerer.accept = false;
    m_page->WebBrowser->load(QUrl(QStringLiteral("http://%1/fw.bin").arg(m_server.Address())));
    QTRY_COMPARE_WITH_TIMEOUT(answerer.seen.size(), 1, 30000);
    QCOMPARE(answerer.seen.first(), QStringLiteral("save fw.bin"));

    answerer.accept = true;
    answerer.saveAs = m_dir.filePath(QStringLiteral("chosen.bin"));
    m_page->WebBrowser->load(QUrl(QStringLiteral("http://%1/fw.bin").arg(m_server.Address())));
    QTRY_COMPARE_WITH_TIMEOUT(answerer.seen.size(), 2, 30000);
    QFile saved(answerer.saveAs);
    QTRY_VERIFY_WITH_TIMEOUT(saved.exists() && saved.size() == 14, 30000);
    QVERIFY(saved.open(QIODevice::ReadOnly));
    QCOMPARE(saved.readAll(), QByteArray("firmware bytes"));
    // The refused one left nothing behind.
    QCOMPARE(QDir(m_dir.path()).entryList(QDir::Files), QStringList { QStringLiteral("chosen.bin") });
}

int main(int argc, char** argv)
{
    // The namespace before any thread or helper process starts.
    twltest::PrivateNetworkProblem() = twltest::EnterPrivateNetwork();
    PrepareWebEngine();
    QApplication app(argc, argv);
    TestWebPageExtras tc;
    QTEST_SET_MAIN_SOURCE_PATH
    return twltest::QtExec(&tc, argc, argv);
}

#include "tst_webPageExtras.moc"
