// Two real starts of TwinlaneAdmin: the second asks the first to come
// forward and ends with code 0; the first keeps running. Then the request
// and the coming forward on their own. Runs inside a network namespace of
// the test's own, which the programs inherit.
#include "admin/shell/tests/shellTestSupport.h"
#include "common/singleInstance.h"

#include <QDialog>
#include <QDir>
#include <QFile>
#include <QLockFile>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <future>
#include <memory>
#include <unistd.h>

namespace {
// Ends its program when the test leaves, also after a failed check.
struct TProgram {
    QProcess process;
    ~TProgram()
    {
        if (process.state() != QProcess::NotRunning) {
            process.kill();
            process.waitForFinished(10000);
        }
    }
};
} // namespace

class TestSingleInstance : public QObject {
    Q_OBJECT
private:
    QTemporaryDir m_temp;
    QProcessEnvironment m_env;

    QString Program() const { return qEnvironmentVariable("TWL_BIN_DIR") + QStringLiteral("/TwinlaneAdmin"); }
    QString Name() const { return QStringLiteral("TwinlaneAdmin-%1").arg(::getuid()); }

    void Start(TProgram& p)
    {
        p.process.setProcessEnvironment(m_env);
        p.process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        p.process.start(Program(), {});
    }

private slots:
    void initTestCase()
    {
        if (!InPrivateNetns())
            QSKIP("cannot create a network namespace for the programs (needs root or user namespaces)");
        QVERIFY(QFile::exists(Program()));
        QVERIFY(m_temp.isValid());
        const QString runtime = m_temp.filePath(QStringLiteral("run"));
        QVERIFY(QDir().mkpath(runtime));
        QFile::setPermissions(runtime, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        m_env = QProcessEnvironment::systemEnvironment();
        m_env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        m_env.insert(QStringLiteral("KORVEL_MACHINE_SETTINGS"), m_temp.filePath(QStringLiteral("machine.ini")));
        m_env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime);
        m_env.insert(QStringLiteral("TMPDIR"), m_temp.path());
    }

    void secondStartEnds_data()
    {
        QTest::addColumn<bool>("firstRuns");
        QTest::newRow("first copy running") << true;
        QTest::newRow("lock held, nobody listening") << false;
    }
    void secondStartEnds()
    {
        QFETCH(bool, firstRuns);
        const QString lockPath
            = m_env.value(QStringLiteral("XDG_RUNTIME_DIR")) + QLatin1Char('/') + Name() + QStringLiteral(".lock");
        const QString socketPath
            = m_env.value(QStringLiteral("XDG_RUNTIME_DIR")) + QLatin1Char('/') + Name() + QStringLiteral(".socket");
        TProgram first;
        std::unique_ptr<QLockFile> heldLock;
        if (firstRuns) {
            Start(first);
            QVERIFY(first.process.waitForStarted(30000));
            // Ready once it holds the lock and listens.
            QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(lockPath) && QFile::exists(socketPath), 60000);
        } else {
            heldLock = std::make_unique<QLockFile>(lockPath);
            QVERIFY(heldLock->tryLock(0));
        }
        TProgram second;
        Start(second);
        QVERIFY(second.process.waitForFinished(60000));
        QCOMPARE(second.process.exitStatus(), QProcess::NormalExit);
        QCOMPARE(second.process.exitCode(), 0);
        if (firstRuns) {
            QCOMPARE(first.process.state(), QProcess::Running);
            first.process.kill();
            QVERIFY(first.process.waitForFinished(30000));
        }
    }

    // The request itself, both ends in this process: the later copy asks
    // from a thread of its own, since it waits while the first answers.
    void requestReachesFirst_data()
    {
        QTest::addColumn<bool>("firstListens");
        QTest::newRow("first listens") << true;
        QTest::newRow("lock held, nobody listening") << false;
    }
    void requestReachesFirst()
    {
        QFETCH(bool, firstListens);
        const QByteArray savedRuntime = qgetenv("XDG_RUNTIME_DIR");
        const QByteArray savedTmp = qgetenv("TMPDIR");
        qputenv("XDG_RUNTIME_DIR", m_env.value(QStringLiteral("XDG_RUNTIME_DIR")).toLocal8Bit());
        qputenv("TMPDIR", m_temp.path().toLocal8Bit());
        const QString name = QStringLiteral("TwinlaneAdminTest");
        {
            TSingleInstance first(name);
            std::unique_ptr<QLockFile> heldLock;
            if (firstListens) {
                QVERIFY(first.Acquire());
            } else {
                heldLock = std::make_unique<QLockFile>(
                    m_env.value(QStringLiteral("XDG_RUNTIME_DIR")) + QLatin1Char('/') + first.ServerName() + ".lock");
                QVERIFY(heldLock->tryLock(0));
            }
            QSignalSpy requests(&first, &TSingleInstance::activationRequested);
            std::future<bool> delivered = std::async(std::launch::async, [name] {
                TSingleInstance later(name);
                return !later.Acquire() && later.NotifyRunning(2000);
            });
            // The first answers from its event loop while the later copy
            // waits, each of its waits bounded.
            QTRY_VERIFY_WITH_TIMEOUT(
                delivered.wait_for(std::chrono::milliseconds(0)) == std::future_status::ready, 30000);
            QCOMPARE(delivered.get(), firstListens);
            QTRY_COMPARE(requests.count(), firstListens ? 1 : 0);
        }
        qputenv("XDG_RUNTIME_DIR", savedRuntime);
        qputenv("TMPDIR", savedTmp);
    }

    void bringForward()
    {
        QWidget window;
        window.setWindowTitle(QStringLiteral("KORVEL TwinlaneAdmin"));
        window.resize(200, 100);
        window.showMinimized();
        QVERIFY(window.isMinimized());
        TSingleInstance::BringForward(&window);
        QVERIFY(!window.isMinimized());
        QVERIFY(window.isVisible());
        QVERIFY(QTest::qWaitForWindowActive(&window));
        // An open dialog of the first copy comes on top and takes the focus.
        QDialog dialog(&window);
        dialog.setModal(true);
        dialog.show();
        window.activateWindow();
        QTRY_COMPARE(QApplication::activeWindow(), &window);
        TSingleInstance::BringForward(&window);
        QTRY_COMPARE(QApplication::activeWindow(), &dialog);
        TSingleInstance::BringForward(nullptr); // no window: nothing happens
    }
};

TWL_LAB_QTEST_MAIN(TestSingleInstance)
#include "tst_singleInstance.moc"
