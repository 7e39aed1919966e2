#include "common/settingsStore.h"
#include "lab/testsupport/qt/modalAnswerer.h"
#include "logger/colorPicker.h"
#include "logger/core/akSettings.h"
#include "logger/core/connectionAcceptor.h"
#include "logger/core/eventTableModel.h"
#include "logger/core/logFormat.h"
#include "logger/core/sortGrid.h"
#include "logger/core/tests/akTestData.h"
#include "logger/frmLogDate.h"
#include "logger/frmMain.h"
#include "logger/frmSetting.h"
#include "logger/frmViewLog.h"
#include "logger/tests/akTestMain.h"

#include <QAbstractItemModelTester>
#include <QCalendarWidget>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QLocalSocket>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QStatusBar>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <memory>

#include <arpa/inet.h>
#include <linux/sockios.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

QByteArray Wire(uint8_t code, const QByteArray& name = "Peer A")
{
    return EncodeAlarmMessage(ExampleAlarm(code, name));
}

// A port nobody listens on right now.
int FreePort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

QByteArray ReadAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QByteArray Row(const TEventTableModel& t, int r)
{
    QByteArrayList cells;
    for (int c = 0; c < kEventColumnCount; ++c)
        cells.append(t.CellText(r, c));
    return cells.join(';');
}

// A plain blocking connection to the window, outside Qt.
int RawConnect(int fd, int port)
{
    sockaddr_in to {};
    to.sin_family = AF_INET;
    to.sin_port = htons(quint16(port));
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return ::connect(fd, reinterpret_cast<const sockaddr*>(&to), sizeof to);
}

// Closes with a reset instead of an orderly end.
void Reset(int fd)
{
    const linger abort { 1, 0 };
    ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
    ::close(fd);
}

const QByteArray kExampleLine = "01,Off-Line,\"4/30/2007 8:5:3\",\"Peer A\",192.168.19.7,192.168.19.9\r\n";

} // namespace

class TestMainWindow : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<twltest::ModalAnswerer> m_boxes;
    std::unique_ptr<TfmMain> m_window;
    std::unique_ptr<QAbstractItemModelTester> m_tester;
    QDateTime m_now;
    int m_port = 0;

    QString ProgramDir() const { return m_dir->filePath(QStringLiteral("prog/")); }
    QString LogDir() const { return m_dir->filePath(QStringLiteral("logs")); }
    QString TodayLog() const { return LogFilePath(LogDir(), m_now.date()); }
    TEventTableModel& Table() const { return *m_window->EventModel(); }

    void Open()
    {
        m_window = std::make_unique<TfmMain>(ProgramDir(), [this] { return m_now; });
        m_tester = std::make_unique<QAbstractItemModelTester>(
            m_window->EventModel(), QAbstractItemModelTester::FailureReportingMode::QtTest);
        m_window->show();
    }

    // Sends bytes on a fresh loopback connection, then a Cold Start from
    // "sentinel", and waits for this sentinel's row: whatever the bytes
    // before it did has been done by then.
    void Send(const QByteArrayList& writes, bool sentinel = true)
    {
        const int sentinels = Sentinels();
        QTcpSocket s;
        s.connectToHost(QHostAddress::LocalHost, quint16(m_port));
        QVERIFY(s.waitForConnected(5000));
        qsizetype written = 0;
        for (const QByteArray& w : writes) {
            s.write(w);
            QVERIFY(s.waitForBytesWritten(5000));
            written += w.size();
            // Each piece of a split message must have reached the window on
            // its own before the next one goes.
            if (writes.size() > 1)
                QTRY_COMPARE_WITH_TIMEOUT(BytesWaiting(), written % kAlarmMessageSize, 10000);
        }
        if (sentinel) {
            s.write(Wire(0, "sentinel"));
            QVERIFY(s.waitForBytesWritten(5000));
            QTRY_COMPARE_WITH_TIMEOUT(Sentinels(), sentinels + 1, 10000);
        }
        s.disconnectFromHost();
    }

private slots:
    void initTestCase()
    {
        if (!twltest::PrivateNetworkProblem().empty())
            QSKIP("needs a network namespace of its own (unshare(CLONE_NEWNET) failed; run as root)");
    }
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
        QVERIFY(QDir().mkpath(ProgramDir()));
        qputenv("KORVEL_MACHINE_SETTINGS", m_dir->filePath(QStringLiteral("machine.ini")).toLocal8Bit());
        for (int code = 0; code < kEventTypeCount; ++code)
            EventTypeTable[size_t(code)].Color = kDefaultEventColors[size_t(code)];
        m_port = FreePort();
        const QString key = AkSettingsKey();
        WriteRegInteger(key, QStringLiteral("Port"), m_port);
        WriteRegString(key, QStringLiteral("LogPath"), LogDir());
        m_now = QDateTime(QDate(2026, 3, 14), QTime(12, 0, 0));
        m_boxes = std::make_unique<twltest::ModalAnswerer>();
    }
    void cleanup()
    {
        m_tester.reset();
        m_window.reset();
        m_boxes.reset();
        m_dir.reset();
    }

    void exampleAlarm()
    {
        Open();
        QVERIFY(QFileInfo(LogDir()).isDir());
        QCOMPARE(Table().rowCount(), 1);
        Send({ Wire(2) }, false);
        QTRY_COMPARE_WITH_TIMEOUT(Table().CellText(0, 0), QByteArray("01"), 10000);
        QCOMPARE(Table().rowCount(), 1);
        QCOMPARE(Row(Table(), 0), QByteArray("01;Off-Line;4/30/2007 8:5:3;Peer A;192.168.19.7;192.168.19.9"));
        QCOMPARE(Table().Tag(0), 2);
        QCOMPARE(ReadAll(TodayLog()), kExampleLine);
        QVERIFY(m_boxes->texts.isEmpty());
    }

    // Each row: what one connection carries before the sentinel, and the log
    // lines it must leave (the sentinel's line follows them).
    void reception_data()
    {
        QTest::addColumn<QByteArrayList>("writes");
        QTest::addColumn<QByteArray>("log");
        const QByteArray good = Wire(2);
        QTest::newRow("warm start shows --")
            << QByteArrayList { Wire(1) }
            << QByteArray("01,\"Warm Start\",\"4/30/2007 8:5:3\",\"Peer A\",192.168.19.7,--\r\n");
        QByteArray changed = good;
        changed[20] = char(changed[20] ^ 0x01);
        QTest::newRow("changed byte ignored") << QByteArrayList { changed } << QByteArray();
        for (uint8_t marker : { 0, 2 }) {
            AlarmMessage m = ExampleAlarm(2);
            m.Marker = marker;
            QTest::addRow("marker %d ignored", marker) << QByteArrayList { EncodeAlarmMessage(m) } << QByteArray();
        }
        QTest::newRow("back to back give two rows")
            << QByteArrayList { good + Wire(3, "B") }
            << kExampleLine + "02,On-Line,\"4/30/2007 8:5:3\",B,192.168.19.7,192.168.19.9\r\n";
        QTest::newRow("split over two writes gives one row")
            << QByteArrayList { good.first(20), good.sliced(20) } << kExampleLine;
        QTest::newRow("split over three writes")
            << QByteArrayList { good.first(1), good.sliced(1, 56), good.sliced(57) } << kExampleLine;
        const QByteArray n39(39, 'N');
        QTest::newRow("39-character name") << QByteArrayList { Wire(0, n39) }
                                           << "01,\"Cold Start\",\"4/30/2007 8:5:3\"," + n39 + ",192.168.19.7,--\r\n";
        QTest::newRow("bytes after the zero never shown")
            << QByteArrayList { Wire(0, QByteArray("ab\0hidden", 9)) }
            << QByteArray("01,\"Cold Start\",\"4/30/2007 8:5:3\",ab,192.168.19.7,--\r\n");
        // One alarm is always one line, whatever its name holds.
        QTest::newRow("CR LF in a name logged as blanks")
            << QByteArrayList { Wire(3, "x\r\n02,Forged") }
            << QByteArray("01,On-Line,\"4/30/2007 8:5:3\",\"x  02,Forged\",192.168.19.7,192.168.19.9\r\n");
        QTest::newRow("unknown code kept with a generic name")
            << QByteArrayList { Wire(9) }
            << QByteArray("01,\"Event 9\",\"4/30/2007 8:5:3\",\"Peer A\",192.168.19.7,--\r\n");
        QTest::newRow("short message ignored") << QByteArrayList { good.first(57) } << QByteArray();
    }
    void reception()
    {
        QFETCH(QByteArrayList, writes);
        QFETCH(QByteArray, log);
        Open();
        if (log.isEmpty()) {
            // What fails a check takes the rest of its connection's bytes
            // with it: the sentinel goes on its own connection.
            Send(writes, false);
            Send({}, true);
        } else {
            Send(writes);
        }
        const int lines = int(log.count("\r\n"));
        QCOMPARE(Table().rowCount(), lines + 1);
        const QByteArray sentinelLine
            = FormatRowNumber(lines + 1) + ",\"Cold Start\",\"4/30/2007 8:5:3\",sentinel,192.168.19.7,--\r\n";
        QCOMPARE(ReadAll(TodayLog()), log + sentinelLine);
        // The rows are the log's lines, newest first.
        TEventTableModel fromFile;
        QCOMPARE(LoadLogFile(TodayLog(), fromFile), lines + 1);
        for (int r = 0; r < Table().rowCount(); ++r)
            QCOMPARE(Row(Table(), r), Row(fromFile, fromFile.rowCount() - 1 - r));
    }

    // A stray byte ahead of a message puts the connection out of step: that
    // message fails its check and takes the connection's other bytes with
    // it; the next write is read afresh. Nothing is made up from the junk.
    void strayByteRecovers()
    {
        Open();
        QTcpSocket s;
        s.connectToHost(QHostAddress::LocalHost, quint16(m_port));
        QVERIFY(s.waitForConnected(5000));
        QTRY_COMPARE_WITH_TIMEOUT(m_window->Acceptor()->Connections(), 1, 10000);
        auto put = [&](const QByteArray& bytes) {
            s.write(bytes);
            QVERIFY(s.waitForBytesWritten(5000));
            QTRY_VERIFY_WITH_TIMEOUT(Drained(s), 10000);
        };
        put("\x01");
        QCOMPARE(BytesWaiting(), 1);
        put(Wire(2));
        QCOMPARE(BytesWaiting(), 0);
        QCOMPARE(Table().rowCount(), 1);
        QVERIFY(Table().RowEmpty(0));
        put(Wire(3, "B"));
        QCOMPARE(Table().rowCount(), 1);
        QCOMPARE(Table().CellText(0, colSourceName), QByteArray("B"));
        put(Wire(0, "C") + Wire(1, "D")); // and it stays in step
        QCOMPARE(Table().rowCount(), 3);
        QCOMPARE(ReadAll(TodayLog()).count("\r\n"), 3);
        QVERIFY(!ReadAll(TodayLog()).contains("Peer A"));
    }

    // A peer that resets in the middle of a message leaves nothing, and a
    // message half sent on another connection meanwhile still arrives whole.
    void resetMidMessage()
    {
        Open();
        QTcpSocket other;
        other.connectToHost(QHostAddress::LocalHost, quint16(m_port));
        QVERIFY(other.waitForConnected(5000));
        const QByteArray otherAlarm = Wire(3, "other");
        other.write(otherAlarm.first(30));
        QVERIFY(other.waitForBytesWritten(5000));
        QTRY_COMPARE_WITH_TIMEOUT(BytesWaiting(), 30, 10000);

        const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        QVERIFY(fd >= 0);
        QCOMPARE(RawConnect(fd, m_port), 0);
        const QByteArray half = Wire(2).first(40);
        QCOMPARE(::write(fd, half.constData(), size_t(half.size())), ssize_t(half.size()));
        QTRY_COMPARE_WITH_TIMEOUT(BytesWaiting(), 70, 10000);
        Reset(fd);
        QTRY_COMPARE_WITH_TIMEOUT(m_window->Acceptor()->Connections(), 1, 10000);

        other.write(otherAlarm.sliced(30));
        QVERIFY(other.waitForBytesWritten(5000));
        QTRY_COMPARE_WITH_TIMEOUT(Table().CellText(0, colSourceName), QByteArray("other"), 10000);
        Send({});
        QCOMPARE(Table().rowCount(), 2);
        const QByteArray log = ReadAll(TodayLog());
        QCOMPARE(log.count("\r\n"), 2);
        QVERIFY(!log.contains("Peer A"));
    }

    // Every connected server holds a file handle: the soft limit is raised
    // to the hard one at start. (The limit reached: tst_program, with the
    // program in a process of its own.)
    void fileLimitRaised()
    {
        rlimit saved {};
        QVERIFY(::getrlimit(RLIMIT_NOFILE, &saved) == 0);
        auto restore = qScopeGuard([&] { ::setrlimit(RLIMIT_NOFILE, &saved); });
        rlimit lowered = saved;
        lowered.rlim_cur = std::min<rlim_t>(saved.rlim_max - 1, 1024);
        QVERIFY(::setrlimit(RLIMIT_NOFILE, &lowered) == 0);
        Open();
        rlimit raised {};
        QVERIFY(::getrlimit(RLIMIT_NOFILE, &raised) == 0);
        QCOMPARE(raised.rlim_cur, raised.rlim_max);
    }

    // Accepted connections are kept alive by TCP, so dead peers go; a quiet
    // live one stays and is heard later.
    void keepAlive()
    {
        Open();
        QTcpSocket quiet;
        quiet.connectToHost(QHostAddress::LocalHost, quint16(m_port));
        QVERIFY(quiet.waitForConnected(5000));
        QTRY_COMPARE_WITH_TIMEOUT(m_window->Acceptor()->Connections(), 1, 10000);
        const int fd = int(m_window->Listener()->findChildren<QTcpSocket*>().first()->socketDescriptor());
        auto option = [fd](int level, int name) {
            int value = -1;
            socklen_t size = sizeof value;
            ::getsockopt(fd, level, name, &value, &size);
            return value;
        };
        QCOMPARE(option(SOL_SOCKET, SO_KEEPALIVE), 1);
        QCOMPARE(option(IPPROTO_TCP, TCP_KEEPIDLE), TConnectionAcceptor::kKeepAliveIdleS);
        QCOMPARE(option(IPPROTO_TCP, TCP_KEEPINTVL), TConnectionAcceptor::kKeepAliveIntervalS);
        QCOMPARE(option(IPPROTO_TCP, TCP_KEEPCNT), TConnectionAcceptor::kKeepAliveProbes);
        QTest::qWait(1500);
        quiet.write(Wire(2));
        QVERIFY(quiet.waitForBytesWritten(5000));
        QTRY_COMPARE_WITH_TIMEOUT(Table().CellText(0, 0), QByteArray("01"), 10000);
    }

    void hundredRows()
    {
        Open();
        QByteArray burst;
        for (int i = 0; i < 99; ++i)
            burst += Wire(uint8_t(i % 4), "p" + QByteArray::number(i));
        Send({ burst });
        QCOMPARE(Table().rowCount(), 100);
        QCOMPARE(Table().CellText(0, 0), QByteArray("100"));
        QCOMPARE(Table().CellText(1, 0), QByteArray("99"));
        QCOMPARE(Table().CellText(99, 0), QByteArray("01"));
        QCOMPARE(ReadAll(TodayLog()).count("\r\n"), 100);
    }

    void bytesLeftAtCloseAreDropped()
    {
        Open();
        Send({ Wire(2) + Wire(3).first(30) }, false);
        Send({});
        QCOMPARE(Table().rowCount(), 2);
        QCOMPARE(ReadAll(TodayLog()).count("\r\n"), 2);
    }

    void midnightRollover()
    {
        m_now = QDateTime(QDate(2007, 4, 30), QTime(23, 59, 59));
        Open();
        const QDate first = m_now.date();
        Send({ Wire(2) }, false);
        QTRY_COMPARE_WITH_TIMEOUT(Table().CellText(0, 0), QByteArray("01"), 10000);
        m_now = QDateTime(QDate(2007, 5, 1), QTime(0, 0, 1));
        Send({});
        QCOMPARE(Table().rowCount(), 2);
        QCOMPARE(ReadAll(LogFilePath(LogDir(), first)), kExampleLine);
        QVERIFY(ReadAll(LogFilePath(LogDir(), m_now.date())).startsWith("02,\"Cold Start\""));
        QCOMPARE(QFileInfo(LogFilePath(LogDir(), first)).fileName(), QStringLiteral("akEvent_070430.log"));
    }

    void todaysLogLoadedAndSorted()
    {
        QVERIFY(QDir().mkpath(LogDir()));
        QFile f(TodayLog());
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("07,Off-Line,a,x,1.1.1.1,2.2.2.2\r\n08,\"Alarm "
                "X\",b,y,1.1.1.1,2.2.2.2\r\n09,On-Line,c,z,1.1.1.1,3.3.3.3\r\n");
        f.close();
        Open();
        QCOMPARE(Table().rowCount(), 3);
        QCOMPARE(Row(Table(), 0), QByteArray("03;On-Line;c;z;1.1.1.1;3.3.3.3"));
        QCOMPARE(Row(Table(), 1), QByteArray("02;Alarm X;b;y;1.1.1.1;--"));
        QCOMPARE(Table().Tag(1), 0);
        Send({});
        QCOMPARE(Table().CellText(0, 0), QByteArray("04"));
        QCOMPARE(ReadAll(TodayLog()).count("\r\n"), 4);
    }

    void clear()
    {
        Open();
        Send({ Wire(2) + Wire(3) });
        QCOMPARE(Table().rowCount(), 3);
        QVERIFY(QFileInfo::exists(TodayLog()));

        m_boxes->answers = { QMessageBox::No };
        m_window->muClear->trigger();
        QCOMPARE(m_boxes->texts, QStringList { QStringLiteral("Clear log file, Are you sure?") });
        QCOMPARE(Table().rowCount(), 3);

        TEventHeader* header = m_window->xgEvent->Header();
        header->resizeSection(3, 250); // the operator's width stays
        m_window->muClear->trigger();
        QCOMPARE(Table().rowCount(), 1);
        QVERIFY(Table().RowEmpty(0));
        QVERIFY(!QFileInfo::exists(TodayLog()));
        // The emptied table keeps its layout: widths and the fixed "#" heading.
        const QList<int> widths { 60, 100, 200, 250, 150, 150 };
        for (int c = 0; c < kEventColumnCount; ++c)
            QCOMPARE(header->sectionSize(c), widths[c]);
        TEventHeader* fixed = m_window->xgEvent->FixedHeader();
        QCOMPARE(fixed->sectionSize(0), 60);
        for (int c = 1; c < kEventColumnCount; ++c)
            QVERIFY(fixed->isSectionHidden(c));

        Send({ Wire(2) }, false);
        QTRY_COMPARE_WITH_TIMEOUT(Table().CellText(0, 0), QByteArray("01"), 10000);
        QCOMPARE(Table().rowCount(), 1);
        QCOMPARE(ReadAll(TodayLog()), kExampleLine);
    }

    // Deleting today's file fails (a folder stands in its place): the table
    // is emptied all the same, and nothing is said.
    void clearWhenDeleteFails()
    {
        Open();
        Send({ Wire(2) });
        QVERIFY(QFile::remove(TodayLog()));
        QVERIFY(QDir().mkpath(TodayLog() + QStringLiteral("/held")));
        m_window->muClear->trigger();
        QCOMPARE(m_boxes->texts, QStringList { QStringLiteral("Clear log file, Are you sure?") });
        QCOMPARE(Table().rowCount(), 1);
        QVERIFY(Table().RowEmpty(0));
        QVERIFY(QFileInfo(TodayLog()).isDir());
    }

    // Alarms keep arriving while a modal dialog or box is open: they reach
    // the table and the log before it closes.
    void alarmsWhileModal_data()
    {
        QTest::addColumn<QString>("command");
        QTest::addColumn<QString>("modal");
        QTest::newRow("settings") << "settings"
                                  << "TfmSettings";
        QTest::newRow("date chooser") << "open"
                                      << "TfmLogDate";
        QTest::newRow("viewer") << "viewer"
                                << "TfmViewLog";
        QTest::newRow("exit confirmation") << "exit"
                                           << "QMessageBox";
        QTest::newRow("about box") << "about"
                                   << "TfmAbout";
    }
    void alarmsWhileModal()
    {
        QFETCH(QString, command);
        QFETCH(QString, modal);
        Open();
        Send({ Wire(2) }); // today's file exists for the viewer
        m_boxes.reset(); // this test answers itself
        QString seen;
        int rows = 0;
        QByteArray log;
        QTimer poll;
        connect(&poll, &QTimer::timeout, this, [&] {
            QWidget* open = QApplication::activeModalWidget();
            if (!open || !open->isVisible())
                return;
            poll.stop();
            seen = QString::fromLatin1(open->metaObject()->className());
            Send({ Wire(3, "during") });
            rows = Table().rowCount();
            log = ReadAll(TodayLog());
            if (auto* box = qobject_cast<QMessageBox*>(open))
                box->button(QMessageBox::No)->click();
            else if (auto* dialog = qobject_cast<QDialog*>(open))
                dialog->reject();
        });
        poll.start(5);
        if (command == QLatin1String("settings"))
            m_window->muSettings->trigger();
        else if (command == QLatin1String("open"))
            m_window->muOpen->trigger();
        else if (command == QLatin1String("viewer"))
            m_window->OpenLogOfDate(m_now.date());
        else if (command == QLatin1String("exit"))
            m_window->muExit->trigger();
        else
            m_window->muAbout->trigger();
        QCOMPARE(seen, modal);
        QCOMPARE(rows, 4);
        QCOMPARE(log.count("\r\n"), 4);
        QVERIFY(log.contains("03,On-Line,\"4/30/2007 8:5:3\",during,"));
        QVERIFY(m_window->isVisible());
    }

    // The outer size, frame included; the inner area is smaller by the frame.
    void outerSizes()
    {
        Open();
        QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
        QCOMPARE(m_window->frameGeometry().size(), QSize(879, 589));
        Send({ Wire(2) });
        QSize viewerSize;
        QPoint viewerCentre;
        m_boxes->dialogs = { [&](QWidget* w) {
            viewerSize = w->frameGeometry().size();
            viewerCentre = w->frameGeometry().center();
            return false;
        } };
        m_window->OpenLogOfDate(m_now.date());
        QCOMPARE(viewerSize, QSize(878, 460));
        QVERIFY((viewerCentre - m_window->frameGeometry().center()).manhattanLength() <= 2);
    }

    void defaultsWithNoSettings()
    {
        QFile::remove(m_dir->filePath(QStringLiteral("machine.ini")));
        Open();
        const TAkSettings s = m_window->CurrentSettings();
        QCOMPARE(s.Port, 4040);
        QCOMPARE(s.LogPath, ProgramDir() + QStringLiteral("log"));
        QVERIFY(QFileInfo(ProgramDir() + QStringLiteral("log")).isDir());
        QCOMPARE(s.SortCol, 0);
        QCOMPARE(s.SortDir, false);
        QCOMPARE(s.Colors, kDefaultEventColors);
        // The namespace is the test's own, so 4040 is free.
        QVERIFY(m_window->Listener()->isListening());
        QCOMPARE(m_window->Listener()->serverPort(), quint16(4040));
        QVERIFY(m_boxes->texts.isEmpty());
        m_port = 4040;
        Send({});
        QVERIFY(!QFileInfo::exists(m_dir->filePath(QStringLiteral("machine.ini")))); // nothing written
        QCOMPARE(m_window->windowTitle(), QStringLiteral("KORVEL Alarmkeeper"));
    }

    void storedSettings_data()
    {
        QTest::addColumn<QVariant>("logPath");
        QTest::addColumn<int>("sortCol");
        QTest::addColumn<int>("sortDir");
        QTest::addColumn<int>("wantCol");
        QTest::addColumn<bool>("wantDir");
        QTest::newRow("empty LogPath as missing") << QVariant(QString()) << 3 << 1 << 3 << true;
        QTest::newRow("SortDir 5 is ascending") << QVariant() << 2 << 5 << 2 << true;
        QTest::newRow("SortCol 6 counts as 0") << QVariant() << 6 << 0 << 0 << false;
        QTest::newRow("SortCol -1 counts as 0") << QVariant() << -1 << 0 << 0 << false;
    }
    void storedSettings()
    {
        QFETCH(QVariant, logPath);
        QFETCH(int, sortCol);
        QFETCH(int, sortDir);
        const QString key = AkSettingsKey();
        if (logPath.isValid())
            WriteRegString(key, QStringLiteral("LogPath"), logPath.toString());
        WriteRegInteger(key, QStringLiteral("SortCol"), sortCol);
        WriteRegInteger(key, QStringLiteral("SortDir"), sortDir);
        WriteRegInteger(key, QStringLiteral("Color_2"), 0xFF0000);
        Open();
        const TAkSettings s = m_window->CurrentSettings();
        QTEST(s.SortCol, "wantCol");
        QTEST(s.SortDir, "wantDir");
        QCOMPARE(s.LogPath, logPath.isValid() ? ProgramDir() + QStringLiteral("log") : LogDir());
        QCOMPARE(EventTypeTable[2].Color, 0xFF0000u);
        Send({ Wire(2) });
        QVERIFY(InOrder(Table(), s.SortCol, s.SortDir));
    }

    void logDirectoryParentMissing()
    {
        const QString deep = m_dir->filePath(QStringLiteral("no/such/parent/log"));
        WriteRegString(AkSettingsKey(), QStringLiteral("LogPath"), deep);
        Open();
        QCOMPARE(m_boxes->texts, QStringList { QStringLiteral("Cannot create ") + deep });
        QCOMPARE(m_boxes->captions, QStringList { QStringLiteral("KORVEL Alarmkeeper") });
        QVERIFY(!QFileInfo::exists(m_dir->filePath(QStringLiteral("no"))));
        QVERIFY(m_window->Listener()->isListening());
        Send({ Wire(2) });
        QCOMPARE(Table().rowCount(), 2); // shown, though not logged
    }

    void unreadableTodaysLogStillListens()
    {
        QVERIFY(QDir().mkpath(TodayLog())); // a folder where the file should be
        Open();
        QCOMPARE(m_boxes->texts.size(), 1);
        QVERIFY(m_boxes->texts[0].contains(LogFileName(m_now.date())));
        QVERIFY(m_window->Listener()->isListening());
        Send({ Wire(2) });
        QCOMPARE(Table().rowCount(), 2);
    }

    // Listening can't start: the box says why, and the window still works.
    void portProblems_data()
    {
        QTest::addColumn<int>("port"); // 0: the fixture's port, held by another listener
        QTest::addColumn<QString>("says");
        QTest::newRow("port in use") << 0 << QString();
        QTest::newRow("port 0 stored") << -1 << QStringLiteral("Cannot listen on port 0: not a valid port number");
        QTest::newRow("port 70000 stored")
            << 70000 << QStringLiteral("Cannot listen on port 70000: not a valid port number");
    }
    void portProblems()
    {
        QFETCH(int, port);
        QFETCH(QString, says);
        QTcpServer holder;
        if (port == 0)
            QVERIFY(holder.listen(QHostAddress::Any, quint16(m_port)));
        else
            WriteRegInteger(AkSettingsKey(), QStringLiteral("Port"), std::max(port, 0));
        Open();
        QCOMPARE(m_boxes->texts.size(), 1);
        if (says.isEmpty())
            QVERIFY(!m_boxes->texts[0].isEmpty());
        else
            QCOMPARE(m_boxes->texts[0], says);
        QVERIFY(!m_window->Listener()->isListening());
        m_window->HandleAlarm(Wire(2));
        QCOMPARE(Row(Table(), 0), QByteArray("01;Off-Line;4/30/2007 8:5:3;Peer A;192.168.19.7;192.168.19.9"));
        QCOMPARE(ReadAll(TodayLog()), kExampleLine);
        m_window->muAbout->trigger();
        QTRY_COMPARE(m_boxes->dialogClasses, QStringList { QStringLiteral("TfmAbout") });
    }

    // Only No keeps the program running; the question's close box ends it.
    void exitConfirmation_data()
    {
        QTest::addColumn<int>("answer");
        QTest::addColumn<bool>("closes");
        QTest::newRow("No") << int(QMessageBox::No) << false;
        QTest::newRow("Yes") << int(QMessageBox::Yes) << true;
        QTest::newRow("close box") << int(QMessageBox::Cancel) << true;
        QTest::newRow("Escape answers No") << int(QMessageBox::Escape) << false;
    }
    void exitConfirmation()
    {
        QFETCH(int, answer);
        QFETCH(bool, closes);
        Open();
        m_boxes->answers = { QMessageBox::StandardButton(answer) };
        m_window->muExit->trigger();
        QCOMPARE(m_boxes->texts, QStringList { QStringLiteral("Exit Alarmkeeper, Are you sure?") });
        QCOMPARE(m_boxes->captions, QStringList { QStringLiteral("Confirm") });
        QCOMPARE(m_window->isVisible(), !closes);
        QCOMPARE(m_window->Listener()->isListening(), !closes);
        if (!closes)
            Send({});
    }

    // Only Yes clears.
    void clearAnswers_data()
    {
        QTest::addColumn<int>("answer");
        QTest::addColumn<bool>("clears");
        QTest::newRow("No") << int(QMessageBox::No) << false;
        QTest::newRow("close box") << int(QMessageBox::Cancel) << false;
        QTest::newRow("Yes") << int(QMessageBox::Yes) << true;
    }
    void clearAnswers()
    {
        QFETCH(int, answer);
        QFETCH(bool, clears);
        Open();
        Send({ Wire(2) });
        m_boxes->answers = { QMessageBox::StandardButton(answer) };
        m_window->muClear->trigger();
        QCOMPARE(Table().rowCount(), clears ? 1 : 2);
        QCOMPARE(QFileInfo::exists(TodayLog()), !clears);
    }

    void headerClick_data()
    {
        QTest::addColumn<int>("startCol");
        QTest::addColumn<int>("startDir");
        QTest::addColumn<QString>("where"); // "centre N", "border N" (left edge of N), "below"
        QTest::addColumn<int>("storedCol"); // -1: nothing stored
        QTest::addColumn<int>("storedDir");
        QTest::addColumn<int>("sortedCol"); // -1: left in file order
        QTest::addColumn<bool>("sortedAsc");
        QTest::newRow("new column sorts opposite") << 2 << 1 << "centre 3" << 3 << 0 << 3 << false;
        QTest::newRow("same column reverses") << 2 << 1 << "centre 2" << 2 << 0 << 2 << false;
        QTest::newRow("same column, descending to ascending") << 2 << 0 << "centre 2" << 2 << 1 << 2 << true;
        QTest::newRow("SortDir 5, next click stores 0") << 1 << 5 << "centre 1" << 1 << 0 << 1 << false;
        QTest::newRow("\"#\" column") << 2 << 1 << "centre 0" << 0 << 0 << 0 << false;
        QTest::newRow("border line re-sorts, stores nothing") << 2 << 1 << "border 3" << -1 << 0 << 2 << true;
        QTest::newRow("below the header changes nothing") << 2 << 1 << "below" << -1 << 0 << -1 << false;
        QTest::newRow("dragging a border widens, no sort") << 2 << 1 << "drag 3" << -1 << 0 << -1 << false;
    }
    void headerClick()
    {
        QFETCH(int, startCol);
        QFETCH(int, startDir);
        QFETCH(QString, where);
        QFETCH(int, storedCol);
        QFETCH(int, storedDir);
        QFETCH(int, sortedCol);
        QFETCH(bool, sortedAsc);
        const QString key = AkSettingsKey();
        WriteRegInteger(key, QStringLiteral("SortCol"), startCol);
        WriteRegInteger(key, QStringLiteral("SortDir"), startDir);
        Open();
        // Rows in file order, an order no column's sort gives.
        const QString file = m_dir->filePath(QStringLiteral("mixed.log"));
        QFile f(file);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("1,On-Line,\"9/30/2007 1:0:0\",m,10.0.0.2,1.1.1.1\r\n"
                "2,Off-Line,\"10/1/2007 1:0:0\",z,10.0.0.9,1.1.1.2\r\n"
                "3,\"Cold Start\",\"1/5/2007 1:0:0\",a,10.0.0.1,--\r\n");
        for (int i = 4; i <= 12; ++i)
            f.write("1,\"Warm Start\",\"2/" + QByteArray::number(i) + "/2007 1:0:0\",n" + QByteArray::number(i % 5)
                + ",10.0.0." + QByteArray::number(20 - i) + ",--\r\n");
        f.close();
        QCOMPARE(LoadLogFile(file, Table()), 12);
        const QByteArray before = Rows();

        TEventHeader* header = m_window->xgEvent->Header();
        const QStringList parts = where.split(QLatin1Char(' '));
        if (parts[0] == QLatin1String("below")) {
            QTest::mouseClick(m_window->xgEvent->viewport(), Qt::LeftButton, {}, QPoint(100, 30));
        } else if (parts[0] == QLatin1String("drag")) {
            const int c = parts[1].toInt();
            const int border = header->sectionViewportPosition(c + 1) - 1;
            const int y = header->height() / 2;
            const int width = header->sectionSize(c);
            QTest::mousePress(header->viewport(), Qt::LeftButton, {}, QPoint(border, y));
            QTest::mouseMove(header->viewport(), QPoint(border - 15, y));
            QTest::mouseMove(header->viewport(), QPoint(border - 40, y));
            QTest::mouseRelease(header->viewport(), Qt::LeftButton, {}, QPoint(border - 40 - 20, y));
            QVERIFY(header->sectionSize(c) < width);
        } else {
            const int c = parts[1].toInt();
            const int left = header->sectionViewportPosition(c);
            const int x = parts[0] == QLatin1String("centre") ? left + header->sectionSize(c) / 2 : left;
            QCOMPARE(header->ColumnAt(x), parts[0] == QLatin1String("centre") ? c : -1);
            QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, QPoint(x, header->height() / 2));
        }
        if (storedCol >= 0) {
            QCOMPARE(ReadRegInteger(key, QStringLiteral("SortCol"), -9), storedCol);
            QCOMPARE(ReadRegInteger(key, QStringLiteral("SortDir"), -9), storedDir);
        } else {
            QCOMPARE(ReadRegInteger(key, QStringLiteral("SortCol"), -9), startCol);
            QCOMPARE(ReadRegInteger(key, QStringLiteral("SortDir"), -9), startDir);
        }
        if (sortedCol < 0) {
            QCOMPARE(Rows(), before);
        } else {
            QVERIFY(Rows() != before);
            QVERIFY(InOrder(Table(), sortedCol, sortedAsc));
            QCOMPARE(m_window->CurrentSettings().SortCol, sortedCol);
            QCOMPARE(m_window->CurrentSettings().SortDir, sortedAsc);
        }
    }

    // Sorting by "#" is numeric, dates are text.
    void sortKinds()
    {
        Open();
        QByteArray burst;
        for (int i = 0; i < 100; ++i)
            burst += Wire(0);
        Send({ burst }, false);
        QTRY_COMPARE_WITH_TIMEOUT(Table().rowCount(), 100, 10000);
        SortGrid(Table(), 0, true);
        QCOMPARE(Table().CellText(98, 0), QByteArray("99"));
        QCOMPARE(Table().CellText(99, 0), QByteArray("100"));
        m_window->HandleAlarm(EncodeAlarmMessage([] {
            AlarmMessage m = ExampleAlarm(2);
            m.Month = 10;
            m.Day = 1;
            return m;
        }()));
        SortGrid(Table(), 2, true);
        QCOMPARE(Table().CellText(0, 2), QByteArray("10/1/2007 8:5:3"));
    }

    void colours()
    {
        Open();
        m_window->resize(900, 400);
        Send({ Wire(2) + Wire(2) });
        QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
        TEventGrid* grid = m_window->xgEvent;
        auto reddish = [&](int row, int column) {
            const QImage img = grid->viewport()->grab().toImage();
            const QRect cell = grid->visualRect(Table().index(row, column)).adjusted(1, 1, -1, -1);
            int count = 0;
            for (int y = cell.top(); y <= cell.bottom(); ++y)
                for (int x = cell.left(); x <= cell.right(); ++x) {
                    const QColor c = img.pixelColor(x, y);
                    count += c.red() > 160 && c.green() < 90 && c.blue() < 90;
                }
            return count;
        };
        QVERIFY(reddish(1, 1) > 0); // Off-Line in red
        QCOMPARE(reddish(1, 0), 0); // never the "#" column
        grid->selectRow(1);
        QCOMPARE(reddish(1, 1), 0); // selected: highlight colours
        QVERIFY(reddish(2, 1) > 0);

        // A new colour from the settings shows at once and is stored.
        TAkSettings s = m_window->CurrentSettings();
        s.Colors[2] = 0xFF0000; // blue
        grid->clearSelection();
        m_window->ApplySettings(s);
        QCOMPARE(reddish(2, 1), 0);
        QCOMPARE(ReadRegInteger(AkSettingsKey(), QStringLiteral("Color_2"), -1), 0xFF0000);
        QCOMPARE(ReadRegInteger(AkSettingsKey(), QStringLiteral("Port"), -1), m_port);
        QCOMPARE(ReadRegString(AkSettingsKey(), QStringLiteral("LogPath"), {}), LogDir());
    }

    void openDayWithoutFile()
    {
        Open();
        m_window->OpenLogOfDate(QDate(2001, 1, 1));
        QCOMPARE(m_boxes->texts, QStringList { QStringLiteral("There is no log file on the date!!") });
        QVERIFY(m_boxes->dialogClasses.isEmpty());
    }

    void openDayWithFile()
    {
        Open();
        Send({ Wire(2) });
        QString caption, count;
        m_boxes->dialogs = { [&](QWidget* w) {
            auto* viewer = qobject_cast<TfmViewLog*>(w);
            if (!viewer)
                return false;
            caption = viewer->windowTitle();
            count = viewer->lbRecords->text();
            viewer->accept();
            return true;
        } };
        m_window->OpenLogOfDate(m_now.date());
        QCOMPARE(m_boxes->dialogClasses, QStringList { QStringLiteral("TfmViewLog") });
        QVERIFY(caption.startsWith(QStringLiteral("Alarm Log Viewer - ")));
        QCOMPARE(count, QStringLiteral("2 alarm event(s)"));
    }

    // System > Settings: the dialog's values are kept, all six stored, and
    // the table recoloured at once; a new port waits for the next start.
    void settingsMenu_data()
    {
        QTest::addColumn<int>("portDelta");
        QTest::addColumn<QString>("newDir"); // empty: etDir left alone
        QTest::addColumn<QStringList>("boxes");
        QTest::newRow("colour only") << 0 << QString() << QStringList {};
        QTest::newRow("changed port")
            << 1 << QString()
            << QStringList { QStringLiteral(
                   "You have to restart the application to make the new settings to take effect") };
        QTest::newRow("new directory takes the next alarm") << 0 << QStringLiteral("newlogs") << QStringList {};
    }
    void settingsMenu()
    {
        QFETCH(int, portDelta);
        QFETCH(QString, newDir);
        QFETCH(QStringList, boxes);
        Open();
        Send({ Wire(2) });
        const QString logDir = newDir.isEmpty() ? LogDir() : m_dir->filePath(newDir);
        m_boxes->dialogs = { [&](QWidget* w) {
            auto* dialog = qobject_cast<TfmSettings*>(w);
            if (!dialog)
                return false;
            dialog->cb3->SetStored(0xFF0000u);
            dialog->etPort->setText(QString::number(m_port + portDelta));
            dialog->etDir->setText(logDir);
            dialog->btnOK->click();
            return true;
        } };
        m_window->muSettings->trigger();
        // The answerer's poll may see the dialog once more in the instant
        // between the restart box closing and the dialog closing.
        QStringList dialogs = m_boxes->dialogClasses;
        dialogs.removeDuplicates();
        QCOMPARE(dialogs, QStringList { QStringLiteral("TfmSettings") });
        QCOMPARE(m_boxes->texts, boxes);
        QCOMPARE(m_boxes->captions, QStringList(boxes.size(), QString::fromLatin1(kAppTitle)));
        const QString key = AkSettingsKey();
        QCOMPARE(ReadRegInteger(key, QStringLiteral("Port"), -1), m_port + portDelta);
        QCOMPARE(ReadRegString(key, QStringLiteral("LogPath"), {}), logDir);
        for (int code = 0; code < kEventTypeCount; ++code)
            QCOMPARE(ReadRegInteger(key, QStringLiteral("Color_%1").arg(code), -1),
                int(code == 2 ? 0xFF0000u : kDefaultEventColors[size_t(code)]));
        const int offLine = Table().Tag(0) == 2 ? 0 : 1;
        QCOMPARE(Table().data(Table().index(offLine, 1), Qt::ForegroundRole).value<QBrush>().color(), QColor(Qt::blue));
        QCOMPARE(m_window->Listener()->serverPort(), quint16(m_port));
        const QByteArray before = ReadAll(TodayLog());
        Send({}); // still on the old port
        // The next line goes into the directory now in force; the table is not reloaded.
        QCOMPARE(Table().rowCount(), 3);
        const QByteArray line = ReadAll(LogFilePath(logDir, m_now.date()));
        QVERIFY(line.endsWith("03,\"Cold Start\",\"4/30/2007 8:5:3\",sentinel,192.168.19.7,--\r\n"));
        if (!newDir.isEmpty()) {
            QCOMPARE(line.count("\r\n"), 1);
            QCOMPARE(ReadAll(TodayLog()), before);
        }
    }

    // Log > Open through the date chooser.
    void openMenu_data()
    {
        QTest::addColumn<bool>("withFile");
        QTest::newRow("day with a file") << true;
        QTest::newRow("day without a file") << false;
    }
    void openMenu()
    {
        QFETCH(bool, withFile);
        Open();
        Send({});
        const QDate day = withFile ? m_now.date() : m_now.date().addDays(-3);
        m_boxes->dialogs = { [&](QWidget* w) {
                                auto* chooser = qobject_cast<TfmLogDate*>(w);
                                if (!chooser)
                                    return false;
                                chooser->MonthCalendar1->setSelectedDate(day);
                                chooser->btnOK->click();
                                return true;
                            },
            [](QWidget*) { return false; } };
        m_window->muOpen->trigger();
        if (withFile) {
            QCOMPARE(
                m_boxes->dialogClasses, (QStringList { QStringLiteral("TfmLogDate"), QStringLiteral("TfmViewLog") }));
            QVERIFY(m_boxes->texts.isEmpty());
        } else {
            QCOMPARE(m_boxes->dialogClasses, QStringList { QStringLiteral("TfmLogDate") });
            QCOMPARE(m_boxes->texts, QStringList { QStringLiteral("There is no log file on the date!!") });
        }
    }

    // The "#" header that the operator sees is the fixed column's.
    void fixedHeaderClickAndHover()
    {
        WriteRegInteger(AkSettingsKey(), QStringLiteral("SortCol"), 3);
        Open();
        QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
        Send({ Wire(2) + Wire(3) });
        TEventHeader* fixed = m_window->xgEvent->FixedHeader();
        QVERIFY(fixed->isVisible());
        QCOMPARE(fixed->width(), 60);
        QTest::mouseClick(fixed->viewport(), Qt::LeftButton, {}, QPoint(30, fixed->height() / 2));
        QCOMPARE(ReadRegInteger(AkSettingsKey(), QStringLiteral("SortCol"), -1), 0);
        QCOMPARE(ReadRegInteger(AkSettingsKey(), QStringLiteral("SortDir"), -1), 1);
        QCOMPARE(Table().CellText(0, 0), QByteArray("01"));
        // A click on a fixed cell selects its row.
        QWidget* cells = m_window->xgEvent->FixedColumn();
        QTest::mouseClick(cells, Qt::LeftButton, {}, QPoint(30, m_window->xgEvent->rowViewportPosition(1) + 10));
        QVERIFY(m_window->xgEvent->selectionModel()->isRowSelected(1, {}));

        TEventHeader* header = m_window->xgEvent->Header();
        const int left = header->sectionViewportPosition(2);
        QTest::mouseMove(header->viewport(), QPoint(left + 50, header->height() / 2));
        QCOMPARE(header->viewport()->cursor().shape(), Qt::PointingHandCursor);
        QTest::mouseMove(header->viewport(), QPoint(left, header->height() / 2));
        QVERIFY(header->viewport()->cursor().shape() != Qt::PointingHandCursor);
        QTest::mouseMove(header->viewport(), QPoint(left + 50, header->height() / 2));
        // Past the last column.
        QTest::mouseMove(header->viewport(), QPoint(header->sectionViewportPosition(5) + 200, header->height() / 2));
        QVERIFY(header->viewport()->cursor().shape() != Qt::PointingHandCursor);
    }

    // A real simulated server: its start-up Cold Start, then an Off-Line
    // asked for on its control socket, each on a connection of its own.
    void alarmsFromTheSimulatedServer()
    {
        const QString sim = qEnvironmentVariable("TWL_BIN_DIR") + QStringLiteral("/twinlane-sim");
        QVERIFY2(QFileInfo(sim).isExecutable(), qPrintable(sim));
        Open();
        const QString control = m_dir->filePath(QStringLiteral("sim.ctl"));
        QProcess server;
        server.setProcessChannelMode(QProcess::ForwardedChannels);
        server.start(sim,
            { "--name", "Sim Peer", "--ip", "127.0.0.5", "--port", "0", "--http-port", "-1", "--alarm-host",
                "127.0.0.1", "--alarm-port", QString::number(m_port), "--control", control });
        QVERIFY(server.waitForStarted(5000));
        auto stop = qScopeGuard([&] {
            server.terminate();
            if (!server.waitForFinished(5000))
                server.kill();
            server.waitForFinished(5000);
        });
        QTRY_COMPARE_WITH_TIMEOUT(Table().CellText(0, colEventType), QByteArray("Cold Start"), 10000);

        QLocalSocket commands;
        QTRY_VERIFY_WITH_TIMEOUT(
            [&] {
                commands.connectToServer(control);
                return commands.waitForConnected(1000);
            }(),
            10000);
        commands.write("alarm offline 127.0.0.9\n");
        QVERIFY(commands.waitForBytesWritten(5000));
        QTRY_VERIFY_WITH_TIMEOUT(commands.canReadLine(), 10000);
        QVERIFY(commands.readLine().startsWith("ok"));
        QTRY_COMPARE_WITH_TIMEOUT(Table().rowCount(), 2, 10000);

        const QRegularExpression time(QStringLiteral("^\\d+/\\d+/\\d+ \\d+:\\d+:\\d+$"));
        const QByteArrayList rows[] = { { "02", "Off-Line", "Sim Peer", "127.0.0.5", "127.0.0.9" },
            { "01", "Cold Start", "Sim Peer", "127.0.0.5", "--" } };
        for (int r = 0; r < 2; ++r) {
            const TEventRecord rec = Table().Record(r);
            QCOMPARE((QByteArrayList { rec.cells[colNumber], rec.cells[colEventType], rec.cells[colSourceName],
                         rec.cells[colSourceIp], rec.cells[colDestinationIp] }),
                rows[r]);
            QVERIFY2(
                time.match(QString::fromLatin1(rec.cells[colDateTime])).hasMatch(), rec.cells[colDateTime].constData());
        }
        TEventTableModel fromFile;
        QCOMPARE(LoadLogFile(TodayLog(), fromFile), 2);
        QCOMPARE(Row(fromFile, 0), Row(Table(), 1));
        QCOMPARE(Row(fromFile, 1), Row(Table(), 0));
    }

    void aboutBox()
    {
        Open();
        QString text;
        m_boxes->dialogs = { [&](QWidget* w) {
            for (QLabel* l : w->findChildren<QLabel*>())
                text += l->text();
            return false;
        } };
        m_window->muAbout->trigger();
        QCOMPARE(text, QStringLiteral("Alarmkeeper V1.0 Build 07043016"));
    }

private:
    // All that client sent has reached the window and been read by it.
    bool Drained(const QTcpSocket& client) const
    {
        int unsent = 0;
        if (::ioctl(int(client.socketDescriptor()), SIOCOUTQ, &unsent) != 0 || unsent != 0)
            return false;
        for (const QTcpSocket* s : m_window->Listener()->findChildren<QTcpSocket*>()) {
            int queued = 0;
            if (::ioctl(int(s->socketDescriptor()), FIONREAD, &queued) != 0 || queued != 0)
                return false;
        }
        return true;
    }
    // Bytes the window holds back on its connections, waiting for a whole message.
    qsizetype BytesWaiting() const
    {
        qsizetype n = 0;
        for (const QTcpSocket* s : m_window->Listener()->findChildren<QTcpSocket*>())
            n += s->bytesAvailable();
        return n;
    }
    int Sentinels() const
    {
        int n = 0;
        for (int r = 0; r < Table().rowCount(); ++r)
            n += Table().CellText(r, colSourceName) == "sentinel";
        return n;
    }
    QByteArray Rows() const
    {
        QByteArray all;
        for (int r = 0; r < Table().rowCount(); ++r)
            all += Row(Table(), r) + '\n';
        return all;
    }
};

AK_NETNS_QTEST_MAIN(TestMainWindow)
#include "tst_frmMain.moc"
