// The device page with a real browser engine: the console of a local web
// server of this test (127.0.0.1), reload, the tabs and the reload button,
// pop-up windows opened by the console and closed by their own pages.
#include "admin/maintenance/frmQ6120.h"
#include "admin/maintenance/frmWebNew.h"
#include "admin/maintenance/webProfile.h"
#include "admin/model/ioAppGlobals.h"
#include "admin/model/modQ6120.h"
#include "lab/testsupport/qt/qtestMain.h"
#include "lab/testsupport/simProcess.h"

#include <QApplication>
#include <QLabel>
#include <QPointer>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTcpServer>
#include <QTcpSocket>
#include <QToolButton>
#include <QWebEnginePage>
#include <QtTest>

namespace {

// Serves a console page with links into two pop-up pages, and counts the
// requests for each path.
class TConsoleServer : public QObject {
public:
    TConsoleServer()
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
    QHash<QString, int> hits;

private:
    void Answer(QTcpSocket* s)
    {
        QByteArray& buffer = m_pending[s];
        buffer += s->readAll();
        if (!buffer.contains("\r\n\r\n"))
            return;
        const QString path = QString::fromLatin1(buffer.split(' ').value(1));
        m_pending.remove(s);
        ++hits[path];
        static const QHash<QString, QByteArray> pages {
            { QStringLiteral("/"), "<html><head><title>Console</title></head><body>console</body></html>" },
            { QStringLiteral("/one"), "<html><head><title>Popup One</title></head><body>one</body></html>" },
            { QStringLiteral("/two"), "<html><head><title>Popup Two</title></head><body>two</body></html>" },
        };
        const bool found = pages.contains(path);
        const QByteArray body = found ? pages.value(path) : QByteArray("not here");
        s->write(QByteArray(found ? "HTTP/1.1 200 OK\r\n" : "HTTP/1.1 404 Not Found\r\n")
            + "Content-Type: text/html\r\nConnection: close\r\nContent-Length: " + QByteArray::number(body.size())
            + "\r\n\r\n" + body);
        s->disconnectFromHost();
    }
    QTcpServer m_server;
    QHash<QTcpSocket*, QByteArray> m_pending;
};

// The reload button's right edge and the web tab's, in page coordinates.
QPair<int, int> RightEdges(TfmQ6120* page)
{
    const int button = page->btnReloadWeb->mapTo(page, QPoint(page->btnReloadWeb->width(), 0)).x();
    const int tab = page->TabWeb->mapTo(page, QPoint(page->TabWeb->width(), 0)).x();
    return { button, tab };
}

} // namespace

class TestWebConsole : public QObject {
    Q_OBJECT
private slots:
    void consoleUrl_data();
    void consoleUrl();
    void pageAndPopups();
    void simulatorConsole();
};

void TestWebConsole::consoleUrl_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<QString>("url");
    QTest::addColumn<int>("port");
    QTest::newRow("dotted") << "192.168.127.254"
                            << "http://192.168.127.254" << -1;
    QTest::newRow("hostName") << "q6120-lab"
                              << "http://q6120-lab" << -1;
}

void TestWebConsole::consoleUrl()
{
    // Formatting only: nothing is loaded from these addresses.
    QFETCH(QString, address);
    QFETCH(QString, url);
    QFETCH(int, port);
    const QUrl u = WebConsoleUrl(address);
    QCOMPARE(u.toString(), url);
    QCOMPARE(u.port(), port);
    QCOMPARE(u.host(), address);
}

void TestWebConsole::pageAndPopups()
{
    TConsoleServer server;
    QWidget main;
    main.resize(900, 700);
    MainWindowLinks.window = &main;
    QWidget* host = new QWidget(&main);
    host->resize(800, 600);
    main.show();

    BannerImage = QImage(64, 8, QImage::Format_RGB32);
    BannerImage.fill(Qt::darkCyan);
    auto* module = new TModQ6120(0);
    auto* page = new TfmQ6120(nullptr, module);
    QList<QWidget*> popups;
    QStringList firstCaptions;
    connect(page, &TfmQ6120::PopupCreated, this, [&](QWidget* p) {
        popups << p;
        firstCaptions << p->windowTitle();
    });
    module->Attach(page, host, nullptr);
    QVERIFY(page->WebBrowser);
    QCOMPARE(page->lbDesc->text(), QStringLiteral("Q6120 - Twinlane Ethernet Peer-to-Peer I/O Server (8DI + 8DO)"));
    QCOMPARE(page->PageControl1->tabText(0), QStringLiteral("Web Console"));
    QCOMPARE(page->PageControl1->tabText(1), QStringLiteral("Firmware Update"));
    QCOMPARE(page->PageControl1->currentWidget(), page->TabWeb);

    QSignalSpy loaded(page->WebBrowser, &QWebEngineView::loadFinished);
    QList<TIOObject*> list;
    module->AttachToList(&list, host, server.Address());
    module->ShowPage();
    QTRY_VERIFY_WITH_TIMEOUT(!loaded.isEmpty(), 60000);
    QCOMPARE(loaded.first().first().toBool(), true);
    QCOMPARE(page->WebBrowser->url().toString(), QStringLiteral("http://%1/").arg(server.Address()));
    QTRY_COMPARE(page->WebBrowser->title(), QStringLiteral("Console"));

    // The caption strip: the banner stretched over all of it.
    QCOMPARE(page->Panel4->height(), 41);
    QCOMPARE(page->Image1->geometry(), page->Panel4->rect());
    QVERIFY(page->Image1->hasScaledContents());
    QCOMPARE(page->Image1->pixmap().size(), QSize(64, 8));

    // The reload button: on the console tab only, 20 px from its right edge.
    QVERIFY(page->btnReloadWeb->isVisible());
    for (const QSize size : { QSize(800, 600), QSize(640, 480) }) {
        host->resize(size);
        page->resize(size);
        QCoreApplication::processEvents();
        const auto [button, tab] = RightEdges(page);
        QCOMPARE(button, tab - 20);
    }
    page->PageControl1->setCurrentWidget(page->TabFirmware);
    QVERIFY(!page->btnReloadWeb->isVisible());
    page->PageControl1->setCurrentWidget(page->TabWeb);
    QVERIFY(page->btnReloadWeb->isVisible());

    loaded.clear();
    page->btnReloadWeb->click();
    QTRY_VERIFY_WITH_TIMEOUT(!loaded.isEmpty(), 30000);
    QCOMPARE(server.hits.value(QStringLiteral("/")), 2);

    // Two windows opened by the console's own script.
    page->WebBrowser->page()->runJavaScript(QStringLiteral("window.open('/one'); window.open('/two');"));
    QTRY_COMPARE_WITH_TIMEOUT(popups.size(), 2, 30000);
    QCOMPARE(firstCaptions, (QStringList { QStringLiteral("fmWebNew"), QStringLiteral("fmWebNew") }));
    auto* one = qobject_cast<TfmWebNew*>(popups[0]);
    auto* two = qobject_cast<TfmWebNew*>(popups[1]);
    QVERIFY(one && two);
    QCOMPARE(one->size(), QSize(644, 427));
    QCOMPARE(one->parent(), page);
    QVERIFY(one->isVisible() && two->isVisible());
    QTRY_COMPARE_WITH_TIMEOUT(one->windowTitle(), QStringLiteral("Popup One"), 30000);
    QTRY_COMPARE_WITH_TIMEOUT(two->windowTitle(), QStringLiteral("Popup Two"), 30000);

    // A page that closes its window hides it; the other one and the console stay.
    one->CppWebBrowser1->page()->runJavaScript(QStringLiteral("window.close();"));
    QTRY_VERIFY_WITH_TIMEOUT(!one->isVisible(), 30000);
    QVERIFY(two->isVisible());
    QCOMPARE(page->WebBrowser->title(), QStringLiteral("Console"));
    QPointer<TfmWebNew> hiddenOne = one, openTwo = two;
    QVERIFY(hiddenOne); // kept until the page goes

    // Detach releases the browser first, then the page takes its pop-ups along.
    QPointer<TfmQ6120> pageGuard = page;
    module->Detach();
    QVERIFY(!pageGuard);
    QVERIFY(!hiddenOne && !openTwo);
    delete module;
    MainWindowLinks.window = nullptr;
    BannerImage = QImage();
}

void TestWebConsole::simulatorConsole()
{
    twltest::SimProcess sim({}, false);
    if (!sim.started())
        QSKIP(qPrintable(QStringLiteral("simulated server not available: ") + QString::fromStdString(sim.output())));
    QWidget host;
    auto* module = new TModQ6120(0);
    auto* page = new TfmQ6120(nullptr, module);
    QList<QWidget*> popups;
    connect(page, &TfmQ6120::PopupCreated, this, [&](QWidget* p) { popups << p; });
    module->Attach(page, &host, nullptr);
    QList<TIOObject*> list;
    module->AttachToList(&list, &host, QStringLiteral("127.0.0.1:%1").arg(sim.httpPort()));
    QTRY_COMPARE_WITH_TIMEOUT(page->WebBrowser->title(), QStringLiteral("Q6120 Web Console"), 60000);

    // The console's link into a new window, and that window's own way out.
    page->WebBrowser->page()->runJavaScript(QStringLiteral("document.getElementById('popupLink').click();"));
    QTRY_COMPARE_WITH_TIMEOUT(popups.size(), 1, 30000);
    auto* popup = qobject_cast<TfmWebNew*>(popups[0]);
    QVERIFY(popup);
    QTRY_COMPARE_WITH_TIMEOUT(popup->windowTitle(), QStringLiteral("Q6120 Settings"), 30000);
    QVERIFY(popup->isVisible());
    popup->CppWebBrowser1->page()->runJavaScript(QStringLiteral("document.getElementById('closeLink').click();"));
    QTRY_VERIFY_WITH_TIMEOUT(!popup->isVisible(), 30000);
    module->Detach();
    delete module;
}

int main(int argc, char** argv)
{
    PrepareWebEngine();
    QApplication app(argc, argv);
    TestWebConsole test;
    return twltest::QtExec(&test, argc, argv);
}

#include "tst_webConsole.moc"
