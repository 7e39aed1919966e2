// The single-instance guard between real processes (singleInstanceProbe).
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <memory>
#include <unistd.h>

namespace {
// Ends its process when the test leaves, also after a failed check.
struct TProbe {
    QProcess process;
    ~TProbe()
    {
        if (process.state() != QProcess::NotRunning) {
            process.kill();
            process.waitForFinished(10000);
        }
    }
};
} // namespace

class TestSingleInstanceGuard : public QObject {
    Q_OBJECT
    std::unique_ptr<QTemporaryDir> m_temp;
    QProcessEnvironment m_env;

    QString Runtime() const { return m_temp->filePath(QStringLiteral("run")); }
    QString Base() const { return Runtime() + QStringLiteral("/Probe-%1").arg(::getuid()); }

    void Start(TProbe& p, const QStringList& arguments = {})
    {
        p.process.setProcessEnvironment(m_env);
        p.process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        p.process.start(qEnvironmentVariable("TWL_PROBE"), arguments);
    }
    // Starts a copy that must become the first.
    void StartFirst(TProbe& p)
    {
        Start(p);
        QVERIFY(p.process.waitForStarted(10000));
        QTRY_VERIFY_WITH_TIMEOUT(p.process.canReadLine(), 20000);
        QCOMPARE(p.process.readLine(), QByteArray("first\n"));
    }
    // Runs a later copy to its end; its one line.
    QByteArray RunLater(int* exitCode = nullptr, const QStringList& arguments = {})
    {
        TProbe p;
        Start(p, arguments);
        if (!p.process.waitForFinished(20000))
            return "still running";
        if (exitCode)
            *exitCode = p.process.exitCode();
        return p.process.readAll().trimmed();
    }

private slots:
    void init()
    {
        m_temp = std::make_unique<QTemporaryDir>();
        QVERIFY(m_temp->isValid());
        QVERIFY(QDir().mkpath(Runtime()));
        QVERIFY(QDir().mkpath(m_temp->filePath(QStringLiteral("tmp"))));
        QFile::setPermissions(Runtime(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        m_env = QProcessEnvironment::systemEnvironment();
        m_env.insert(QStringLiteral("XDG_RUNTIME_DIR"), Runtime());
        m_env.insert(QStringLiteral("TMPDIR"), m_temp->filePath(QStringLiteral("tmp")));
    }

    // Lock and socket together in the runtime folder; later copies reach
    // the first, and its socket stays for the next one.
    void laterCopiesReachTheFirst()
    {
        TProbe first;
        StartFirst(first);
        QVERIFY(QFile::exists(Base() + QStringLiteral(".lock")));
        QVERIFY(QFile::exists(Base() + QStringLiteral(".socket")));
        QVERIFY(QDir(m_temp->filePath(QStringLiteral("tmp"))).isEmpty());
        for (int i = 0; i < 2; ++i) {
            int code = -1;
            QCOMPARE(RunLater(&code), QByteArray("running 1"));
            QCOMPARE(code, 0);
            QTRY_VERIFY_WITH_TIMEOUT(first.process.canReadLine(), 10000);
            QCOMPARE(first.process.readLine(), QByteArray("activated\n"));
        }
        QVERIFY(QFile::exists(Base() + QStringLiteral(".socket")));
    }

    // The lock file went (a cleaner removed it): the socket still answers,
    // so the first copy runs and keeps its socket.
    void lockFileGoneUnderALiveCopy()
    {
        TProbe first;
        StartFirst(first);
        QVERIFY(QFile::remove(Base() + QStringLiteral(".lock")));
        QCOMPARE(RunLater(), QByteArray("running 1"));
        QVERIFY(QFile::exists(Base() + QStringLiteral(".socket")));
        QCOMPARE(RunLater(), QByteArray("running 1"));
        QCOMPARE(first.process.state(), QProcess::Running);
    }

    // A copy that died leaves lock and socket; the next start takes over.
    void deadCopyIsTakenOver()
    {
        {
            TProbe dead;
            StartFirst(dead);
            dead.process.kill();
            QVERIFY(dead.process.waitForFinished(10000));
        }
        QVERIFY(QFile::exists(Base() + QStringLiteral(".socket")));
        TProbe next;
        StartFirst(next);
        QCOMPARE(RunLater(), QByteArray("running 1"));
    }

    // A lock that can't be taken for another reason than a running copy is
    // a failure with a reason, not "already running".
    void lockThatCannotBeTakenIsReported_data()
    {
        QTest::addColumn<bool>("noFolder");
        QTest::addColumn<QString>("name");
        QTest::newRow("no usable runtime folder") << true << "Probe";
        QTest::newRow("lock file can't be made") << false << QString(300, QLatin1Char('n'));
    }
    void lockThatCannotBeTakenIsReported()
    {
        QFETCH(bool, noFolder);
        QFETCH(QString, name);
        if (noFolder) {
            // Named, but a plain file.
            QFile blocker(m_temp->filePath(QStringLiteral("file")));
            QVERIFY(blocker.open(QIODevice::WriteOnly));
            blocker.close();
            m_env.insert(QStringLiteral("XDG_RUNTIME_DIR"), blocker.fileName());
        }
        int code = -1;
        const QByteArray said = RunLater(&code, { name });
        QVERIFY2(said.startsWith("failed: ") && said.size() > 10, said.constData());
        QCOMPARE(code, 2);
    }
};

QTEST_GUILESS_MAIN(TestSingleInstanceGuard)
#include "tst_singleInstance.moc"
