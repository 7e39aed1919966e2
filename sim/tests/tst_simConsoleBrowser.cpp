// The console pages in a real browser engine: the status page shows the
// server, its link opens a new window, and the page behind the close link
// closes that window again. Runs in a network namespace of its own with only
// loopback, so the browser engine and the simulator reach nothing else.
#include "lab/testsupport/qt/qtestMain.h"
#include "lab/testsupport/twlTestSupport.h"

#include <QApplication>
#include <QSignalSpy>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineSettings>
#include <QWebEngineView>
#include <QtTest>

namespace {

class RecordingPage : public QWebEnginePage {
    Q_OBJECT
public:
    using QWebEnginePage::QWebEnginePage;
    std::vector<QWebEnginePage*> popups;

Q_SIGNALS:
    void popupCreated(QWebEnginePage* page);

protected:
    QWebEnginePage* createWindow(WebWindowType) override
    {
        auto* page = new QWebEnginePage(profile(), this);
        popups.push_back(page);
        Q_EMIT popupCreated(page);
        return page;
    }
};

QVariant evaluate(QWebEnginePage* page, const QString& script)
{
    QVariant result;
    bool done = false;
    page->runJavaScript(script, [&](const QVariant& v) {
        result = v;
        done = true;
    });
    // Not a test macro: those return void.
    QDeadlineTimer deadline(20000);
    while (!done && !deadline.hasExpired())
        QTest::qWait(10);
    if (!done)
        qWarning("script did not finish: %s", qPrintable(script));
    return result;
}

} // namespace

class tst_SimConsoleBrowser : public QObject {
    Q_OBJECT
public:
    static std::string& NoNetworkReason()
    {
        static std::string reason;
        return reason;
    }

private Q_SLOTS:
    void popupOpensAndClosesItself();
};

void tst_SimConsoleBrowser::popupOpensAndClosesItself()
{
    if (!NoNetworkReason().empty())
        QSKIP(NoNetworkReason().c_str());
    twltest::SimProcess sim({ "--name", "Hall 3", "--ip", "10.1.2.3", "--mac", "02:11:22:33:44:55" }, false);
    QVERIFY2(sim.started(), sim.output().c_str());

    QWebEngineProfile profile; // off the record: nothing written to disk
    RecordingPage page(&profile);
    page.settings()->setAttribute(QWebEngineSettings::JavascriptCanOpenWindows, true);
    QWebEngineView view;
    view.setPage(&page);
    view.resize(640, 400);
    view.show();

    QSignalSpy loaded(&page, &QWebEnginePage::loadFinished);
    page.load(QUrl(QStringLiteral("http://127.0.0.1:%1/").arg(sim.httpPort())));
    QTRY_COMPARE_WITH_TIMEOUT(loaded.size(), 1, 30000);
    QCOMPARE(loaded.at(0).at(0).toBool(), true);
    QCOMPARE(evaluate(&page, "document.getElementById('mac').textContent").toString(), QString("02-11-22-33-44-55"));
    QVERIFY(page.title().contains("Hall 3"));

    QSignalSpy created(&page, &RecordingPage::popupCreated);
    evaluate(&page, "document.getElementById('popupLink').click(); true");
    QTRY_COMPARE_WITH_TIMEOUT(created.size(), 1, 20000);
    QWebEnginePage* popup = page.popups.front();
    QTRY_VERIFY_WITH_TIMEOUT(popup->url().path() == "/popup", 20000);

    QSignalSpy closing(popup, &QWebEnginePage::windowCloseRequested);
    QTRY_VERIFY_WITH_TIMEOUT(evaluate(popup, "document.getElementById('closeLink') !== null").toBool(), 20000);
    evaluate(popup, "document.getElementById('closeLink').click(); true");
    QTRY_COMPARE_WITH_TIMEOUT(closing.size(), 1, 20000);
    QCOMPARE(popup->url().path(), QString("/close"));
    // The console itself stays where it was.
    QCOMPARE(page.url().path(), QString("/"));
}

int main(int argc, char** argv)
{
    // Before the application starts any thread or helper process: they all
    // inherit the namespace of the thread that starts them.
    tst_SimConsoleBrowser::NoNetworkReason() = twltest::EnterPrivateNetwork();
    QApplication app(argc, argv);
    app.setAttribute(Qt::AA_Use96Dpi, true);
    tst_SimConsoleBrowser tc;
    QTEST_SET_MAIN_SOURCE_PATH
    return twltest::QtExec(&tc, argc, argv);
}
#include "tst_simConsoleBrowser.moc"
