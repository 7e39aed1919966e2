// The Q6120 module against the simulated server: restart and reset through
// the module pop-up menu, the countdown and the messages, the menu binding,
// keeping a busy module alive, and the module's connection life.
#include "admin/comm/ioClientSocket.h"
#include "admin/comm/ioGlobals.h"
#include "admin/model/frmWait.h"
#include "admin/model/ioAppGlobals.h"
#include "admin/model/ioDevicePage.h"
#include "admin/model/modQ6120.h"
#include "admin/model/pdTwinlane.h"
#include "lab/testsupport/qt/modalAnswerer.h"
#include "lab/testsupport/qt/qtestMain.h"
#include "lab/testsupport/qt/simFrames.h"
#include "lab/testsupport/simProcess.h"

#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QMessageBox>
#include <QTimer>
#include <QtTest>
#include <memory>

namespace {

// How often the tests look at the module and the cursor while a request waits.
constexpr int LookMs = 10;

// Answers the modal windows that a command shows (twltest::ModalAnswerer),
// and notes what the countdown and the message boxes showed.
class TModalWatcher {
public:
    TModalWatcher()
    {
        m_answerer.atBox = [this](QMessageBox* box) {
            messages << box->text();
            if (QApplication::overrideCursor())
                cursorRestoredAtMessage = false;
            if (atMessage)
                atMessage();
        };
        m_answerer.dialogs << [this](QWidget* w) {
            auto* wait = qobject_cast<TfmWait*>(w);
            if (!wait)
                return false;
            countdown << wait->lbTime->text().toInt();
            m_since.start();
            NoteHourglass();
            QObject::connect(wait, &TfmWait::SecondsLeftChanged, &m_answerer, [this](int s) {
                countdown << s;
                tickTimes << m_since.elapsed();
                NoteHourglass();
            });
            // The hourglass is looked at all through the countdown, not only at its ticks.
            auto* look = new QTimer(wait);
            QObject::connect(look, &QTimer::timeout, &m_answerer, [this] { NoteHourglass(); });
            look->start(LookMs);
            waitCaption = wait->windowTitle();
            const auto flags = wait->windowFlags();
            waitHasFrameButtons = flags.testAnyFlags(
                Qt::WindowCloseButtonHint | Qt::WindowMinMaxButtonsHint | Qt::WindowSystemMenuHint);
            if (MainWindowLinks.window) {
                const QPoint d = wait->frameGeometry().center() - MainWindowLinks.window->frameGeometry().center();
                waitCentred = d.manhattanLength() <= 4;
            }
            QTest::keyClick(wait, Qt::Key_Escape);
            waitClosedByEscape = !wait->isVisible();
            return true; // the countdown runs to its end
        };
    }
    QStringList messages;
    QList<int> countdown;
    QList<qint64> tickTimes; // ms since the countdown was first seen, one per tick
    bool cursorRestoredAtMessage = true;
    bool hourglassDuringCountdown = true;
    QString waitCaption;
    bool waitHasFrameButtons = false;
    bool waitClosedByEscape = false;
    bool waitCentred = false;
    std::function<void()> atMessage; // runs while a message box is up

private:
    void NoteHourglass()
    {
        if (!QApplication::overrideCursor() || QApplication::overrideCursor()->shape() != Qt::WaitCursor)
            hourglassDuringCountdown = false;
    }
    twltest::ModalAnswerer m_answerer;
    QElapsedTimer m_since;
};

// A device page that notes the calls a module makes on it.
class TNotingPage : public QWidget, public TDevicePage {
public:
    explicit TNotingPage(QStringList* log)
        : calls(log)
    {
    }
    ~TNotingPage() override { *calls << QStringLiteral("deleted"); }
    void InitPage() override { *calls << QStringLiteral("InitPage"); }
    void OpenWebConsole() override { *calls << QStringLiteral("OpenWebConsole"); }
    void ReleaseBrowser() override { *calls << QStringLiteral("ReleaseBrowser"); }
    QStringList* calls;
};

// A restart of the simulator keeps it away this long.
const char* const RestartMs = "100";

} // namespace

class TestQ6120Commands : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void cleanup();
    void lifecycle();
    void commands_data();
    void commands();
    void menuActsOnLastPreparedModule();
    void busyModuleStaysAlive();
    void connectionOnFailure_data();
    void connectionOnFailure();

private:
    std::unique_ptr<TModQ6120> NewModule(int port);
    static void Drop(std::unique_ptr<TModQ6120>& module);
    QWidget* m_main = nullptr;
    QWidget* m_host = nullptr;
    QAction* m_restart = nullptr;
    QAction* m_reset = nullptr;
    QList<TIOObject*> m_list;
    std::unique_ptr<twltest::SimProcess> m_sim, m_exceptionSim, m_slowSim;
};

void TestQ6120Commands::initTestCase()
{
    m_main = new QWidget;
    m_main->resize(800, 600);
    m_main->show();
    m_host = new QWidget(m_main);
    m_restart = new QAction(QStringLiteral("Restart System"), m_main);
    m_reset = new QAction(QStringLiteral("Reset to Default"), m_main);
    m_restart->setEnabled(false);
    m_reset->setEnabled(false);
    MainWindowLinks.window = m_main;
    MainWindowLinks.muRemoteERestartModule = m_restart;
    MainWindowLinks.muRemoteEResetModule = m_reset;
    SocketTimeout = 2000;

    m_sim = std::make_unique<twltest::SimProcess>(std::vector<std::string> { "--restart-time", RestartMs }, false);
    if (!m_sim->started())
        QSKIP(qPrintable(QStringLiteral("simulated server not available: ") + QString::fromStdString(m_sim->output())));
    m_exceptionSim = std::make_unique<twltest::SimProcess>(
        std::vector<std::string> { "--restart-time", RestartMs, "--fault", "exception" }, false);
    m_slowSim = std::make_unique<twltest::SimProcess>(
        std::vector<std::string> { "--restart-time", RestartMs, "--fault", "delay 300" }, false);
    QVERIFY2(m_exceptionSim->started(), m_exceptionSim->output().c_str());
    QVERIFY2(m_slowSim->started(), m_slowSim->output().c_str());
}

void TestQ6120Commands::cleanupTestCase()
{
    MainWindowLinks = TMainWindowLinks {};
    delete m_main;
}

void TestQ6120Commands::cleanup()
{
    AbortRequested = false;
    QCOMPARE(QApplication::overrideCursor(), nullptr);
}

std::unique_ptr<TModQ6120> TestQ6120Commands::NewModule(int port)
{
    auto module = std::make_unique<TModQ6120>(0);
    module->Attach(new QWidget, m_host, nullptr);
    module->AttachToList(&m_list, m_host, QStringLiteral("127.0.0.1"));
    // Servers listen on 502; the simulator here on a free port.
    module->Connections[0]->SetPort(port);
    return module;
}

void TestQ6120Commands::Drop(std::unique_ptr<TModQ6120>& module)
{
    if (!module)
        return;
    module->Detach();
    module.reset();
}

void TestQ6120Commands::lifecycle()
{
    QStringList calls;
    auto module = std::make_unique<TModQ6120>(0);
    QCOMPARE(module->UnitId, 1);
    QCOMPARE(module->ChannelKinds, 3u);
    QCOMPARE(module->TypeCode, 17);
    QCOMPARE(module->Name, QStringLiteral("Q6120"));
    QVERIFY(!module->Connections[0]);

    module->Attach(new TNotingPage(&calls), m_host, nullptr);
    QVERIFY(module->Connections[0]);
    QVERIFY(!module->Connections[0]->IsOpen());
    QList<TIOObject*> list;
    module->AttachToList(&list, m_host, QStringLiteral("192.168.127.254"));
    QCOMPARE(module->Connections[0]->Host(), std::string("192.168.127.254"));
    QCOMPARE(module->Connections[0]->Port(), 502);
    QCOMPARE(list, QList<TIOObject*> { module.get() });
    module->SetAddress(QStringLiteral("127.0.0.2")); // host of the next open
    QCOMPARE(module->Connections[0]->Host(), std::string("127.0.0.2"));

    module->Detach();
    QVERIFY(!module->Connections[0]);
    // The page's browser goes before the page itself.
    QCOMPARE(calls,
        (QStringList { QStringLiteral("InitPage"), QStringLiteral("OpenWebConsole"), QStringLiteral("ReleaseBrowser"),
            QStringLiteral("deleted") }));
    module->CloseConnections(); // nothing there: nothing to do
}

void TestQ6120Commands::commands_data()
{
    QTest::addColumn<bool>("reset");
    QTest::addColumn<int>("server"); // 0 normal, 1 exception, 2 nobody
    QTest::addColumn<QString>("frameTail");
    QTest::addColumn<int>("frames");
    QTest::addColumn<QString>("message");
    QTest::newRow("restart") << false << 0 << "00 00 00 06 01 08 00 01 FF 00" << 1
                             << "I/O server restarted successfully...";
    QTest::newRow("reset") << true << 0 << "00 00 00 06 01 08 00 01 55 AA" << 1 << "I/O server reset successfully...";
    QTest::newRow("restartException") << false << 1 << "00 00 00 06 01 08 00 01 FF 00" << 2
                                      << "FAIL to restart I/O server!";
    QTest::newRow("resetException") << true << 1 << "00 00 00 06 01 08 00 01 55 AA" << 2 << "FAIL to reset I/O server!";
    QTest::newRow("restartNobody") << false << 2 << "" << 0 << "FAIL to restart I/O server!";
}

void TestQ6120Commands::commands()
{
    QFETCH(bool, reset);
    QFETCH(int, server);
    QFETCH(QString, frameTail);
    QFETCH(int, frames);
    QFETCH(QString, message);
    twltest::SimProcess* sim = server == 0 ? m_sim.get() : server == 1 ? m_exceptionSim.get() : nullptr;
    const int port = sim ? sim->modbusPort() : 1; // nothing listens on port 1 of loopback
    const int before = sim ? int(twltest::SimFrames(*sim).size()) : 0;

    auto module = NewModule(port);
    module->PrepareMenu();
    QVERIFY(m_restart->isEnabled() && m_reset->isEnabled());
    TModalWatcher watcher;
    (reset ? m_reset : m_restart)->trigger();

    QCOMPARE(watcher.messages, QStringList { message });
    QVERIFY(watcher.cursorRestoredAtMessage);
    QCOMPARE(QApplication::overrideCursor(), nullptr);
    if (sim) {
        const QStringList seen = twltest::SimFrames(*sim).mid(before);
        QCOMPARE(int(seen.size()), frames);
        for (const QString& f : seen) // after the transaction identifier
            QCOMPARE(f.mid(6), frameTail);
    }
    if (server == 0) {
        QCOMPARE(watcher.countdown, (QList<int> { 8, 7, 6, 5, 4, 3, 2, 1, 0 }));
        // A second a tick. A tick delayed by a busy machine is followed by
        // one that keeps the timer's schedule, so single gaps may be short;
        // the seven gaps together still take about seven seconds (a 100 ms
        // timer would take under one).
        QCOMPARE(watcher.tickTimes.size(), 8);
        const qint64 span = watcher.tickTimes.last() - watcher.tickTimes.first();
        QVERIFY2(span >= 6000, qPrintable(QStringLiteral("the last tick came %1 ms after the first").arg(span)));
        QCOMPARE(watcher.waitCaption, QStringLiteral("Restarting I/O Server"));
        QVERIFY(!watcher.waitHasFrameButtons);
        QVERIFY(!watcher.waitClosedByEscape);
        QVERIFY(watcher.waitCentred);
        QVERIFY(watcher.hourglassDuringCountdown);
        QVERIFY(module->Connections[0]->IsOpen());
    } else {
        QVERIFY(watcher.countdown.isEmpty());
        QVERIFY(!module->Connections[0]->IsOpen()); // closed by the final failure
    }
    Drop(module);
}

void TestQ6120Commands::menuActsOnLastPreparedModule()
{
    auto first = NewModule(m_sim->modbusPort());
    auto second = NewModule(m_exceptionSim->modbusPort());
    const int firstBefore = int(twltest::SimFrames(*m_sim).size());
    const int secondBefore = int(twltest::SimFrames(*m_exceptionSim).size());
    first->PrepareMenu();
    second->PrepareMenu();
    QCOMPARE(TIOModRemoteE::MenuModule(), second.get());
    {
        TModalWatcher watcher;
        m_restart->trigger();
        QCOMPARE(watcher.messages, QStringList { QStringLiteral("FAIL to restart I/O server!") });
    }
    QCOMPARE(int(twltest::SimFrames(*m_sim).size()), firstBefore);
    QCOMPARE(int(twltest::SimFrames(*m_exceptionSim).size()), secondBefore + 2);

    // A module on its way out takes its binding with it.
    Drop(second);
    QCOMPARE(TIOModRemoteE::MenuModule(), nullptr);
    {
        TModalWatcher watcher;
        m_restart->trigger();
        m_reset->trigger();
        QCoreApplication::processEvents();
        QVERIFY(watcher.messages.isEmpty());
    }
    QCOMPARE(int(twltest::SimFrames(*m_sim).size()), firstBefore);
    Drop(first);
}

void TestQ6120Commands::busyModuleStaysAlive()
{
    TTwinlane product;
    const TModuleFactory saved = TTwinlane::ModuleFactory();
    TTwinlane::SetModuleFactory([](QWidget* host, TIOObject* owner, int modelIndex) -> TIOMod* {
        auto* m = new TModQ6120(modelIndex);
        m->Attach(new QWidget, host, owner);
        return m;
    });
    product.Attach(new QWidget, m_host, nullptr);
    auto* module = static_cast<TModQ6120*>(product.CreateModule(m_host, 0, QStringLiteral("127.0.0.1")));
    QVERIFY(module);
    module->Connections[0]->SetPort(m_slowSim->modbusPort());

    // While the request waits, events run: deleting the module is refused,
    // and so is a second request on it.
    int removed = -1, second = 0;
    bool pendingSeen = false;
    {
        QTimer look;
        connect(&look, &QTimer::timeout, this, [&] {
            if (module->requestPending && removed < 0) {
                pendingSeen = product.AnyRequestPending();
                removed = product.RemoveModule(module);
                uint8_t reply[19];
                second = module->ModbusRequest(4, 0x2504, 5, nullptr, reply, true, 0, false);
            }
        });
        look.start(LookMs);
        uint8_t reply[19] = {};
        QCOMPARE(module->ModbusRequest(4, 0x2504, 5, nullptr, reply, true, 0, true), 19);
    }
    QVERIFY(pendingSeen);
    QCOMPARE(removed, 0);
    QCOMPARE(second, -1);
    QVERIFY(!module->requestPending);

    // The command holds the module through its message box too.
    module->Connections[0]->Close();
    module->Connections[0]->SetPort(m_exceptionSim->modbusPort());
    module->PrepareMenu();
    int removedAtMessage = -1;
    {
        TModalWatcher watcher;
        watcher.atMessage = [&] { removedAtMessage = product.RemoveModule(module); };
        m_restart->trigger();
        QCOMPARE(watcher.messages, QStringList { QStringLiteral("FAIL to restart I/O server!") });
    }
    QCOMPARE(removedAtMessage, 0);
    QCOMPARE(product.RemoveModule(module), 1);
    QCOMPARE(TIOModRemoteE::MenuModule(), nullptr);
    product.Detach();
    TTwinlane::SetModuleFactory(saved);
}

void TestQ6120Commands::connectionOnFailure_data()
{
    QTest::addColumn<bool>("abort");
    QTest::addColumn<bool>("openAfterOffline");
    QTest::newRow("offlineCloses") << false << false;
    QTest::newRow("abortKeepsItOpen") << true << true;
}

void TestQ6120Commands::connectionOnFailure()
{
    QFETCH(bool, abort);
    QFETCH(bool, openAfterOffline);
    auto module = NewModule(m_sim->modbusPort());
    uint8_t reply[19];
    QCOMPARE(module->ModbusRequest(4, 0x2504, 5, nullptr, reply, true, 0, true), 19);
    QVERIFY(module->Connections[0]->IsOpen());
    const int before = int(twltest::SimFrames(*m_sim).size());
    AbortRequested = abort;
    if (abort) // nothing is sent meanwhile
        QCOMPARE(module->ModbusRequest(4, 0x2504, 5, nullptr, reply, true, 0, true), -1);
    module->SetOnline(false);
    QCOMPARE(module->Connections[0]->IsOpen(), openAfterOffline);
    QCOMPARE(int(twltest::SimFrames(*m_sim).size()), before);
    AbortRequested = false;
    // A closed connection is opened again by the next request.
    QCOMPARE(module->ModbusRequest(4, 0x2504, 5, nullptr, reply, true, 0, true), 19);
    Drop(module);
}

TWL_QTEST_MAIN(TestQ6120Commands)
#include "tst_q6120Commands.moc"
