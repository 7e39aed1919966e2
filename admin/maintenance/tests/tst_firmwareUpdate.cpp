// The download sequence against the simulated server, through a real
// module's ModbusRequest and without a window: frames byte for byte from
// the server's frame log, passwords, and the ways an update fails.
#include "admin/comm/ioClientSocket.h"
#include "admin/comm/ioGlobals.h"
#include "admin/comm/ioModbus.h"
#include "admin/maintenance/firmware/firmwareUpdate.h"
#include "admin/maintenance/firmware/skpWriter.h"
#include "admin/maintenance/moduleFirmwareLink.h"
#include "admin/model/modQ6120.h"
#include "lab/testsupport/qt/qtestMain.h"
#include "lab/testsupport/qt/simFrames.h"
#include "lab/testsupport/simProcess.h"

#include <QApplication>
#include <QTemporaryDir>
#include <QtTest>
#include <fstream>
#include <functional>
#include <memory>

namespace {

using TBytes = std::vector<uint8_t>;

TBytes Filled(size_t n, uint8_t seed)
{
    TBytes b(n);
    for (size_t i = 0; i < n; ++i)
        b[i] = uint8_t(seed + i * 13);
    return b;
}

QString Hex(const TBytes& b)
{
    QStringList parts;
    for (uint8_t x : b)
        parts << QStringLiteral("%1").arg(x, 2, 16, QLatin1Char('0')).toUpper();
    return parts.join(QLatin1Char(' '));
}

// A request frame as the log shows it, from its fields.
QString Frame(uint16_t tid, uint8_t fn, uint16_t address, uint16_t countOrValue, const TBytes& data = {})
{
    TBytes f { uint8_t(tid >> 8), uint8_t(tid), 0, 0 };
    const int length = 6 + (fn == 16 ? 1 + int(data.size()) : 0);
    f.insert(f.end(),
        { uint8_t(length >> 8), uint8_t(length), 1, fn, uint8_t(address >> 8), uint8_t(address),
            uint8_t(countOrValue >> 8), uint8_t(countOrValue) });
    if (fn == 16) {
        f.push_back(uint8_t(data.size()));
        f.insert(f.end(), data.begin(), data.end());
    }
    return Hex(f);
}

uint16_t Crc(const TBytes& b)
{
    return ModbusCrc16(b.data(), int(b.size())).Value();
}

// What the operator sees and answers; the countdown is only noted.
class TRecordingUi : public TFirmwareUi {
public:
    std::optional<std::string> answer; // nullopt: cancel
    QStringList events; // in order
    QStringList messages;
    std::vector<uint64_t> progress;
    std::function<void(int, TFirmwareStep)> onStep;
    int asked = 0;

    bool AskPassword(std::string& password) override
    {
        ++asked;
        events << QStringLiteral("ask");
        if (!answer)
            return false;
        password = *answer;
        return true;
    }
    void ShowMessage(const char* text) override
    {
        messages << QString::fromLatin1(text);
        events << QStringLiteral("message ") + QString::fromLatin1(text);
    }
    void UpdateStarted() override { events << QStringLiteral("started"); }
    void ClearPath() override { events << QStringLiteral("clear"); }
    void DownloadStarted(int count) override { events << QStringLiteral("download %1").arg(count); }
    void RecordStarted(int index, int count, uint64_t even) override
    {
        events << QStringLiteral("record %1/%2 %3").arg(index + 1).arg(count).arg(even);
    }
    void RecordProgress(uint64_t sent) override { progress.push_back(sent); }
    void RecordsDone(int done) override { events << QStringLiteral("done %1").arg(done); }
    void StepDone(int index, TFirmwareStep step) override
    {
        if (onStep)
            onStep(index, step);
    }
    void ShowCountdown() override { events << QStringLiteral("countdown"); }
    void DownloadEnded() override { events << QStringLiteral("ended"); }
};

// Notes every request: its transaction identifier, time limit and retry,
// and the identifier its reply came back with.
class TRecordingLink : public TFirmwareLink {
public:
    explicit TRecordingLink(TFirmwareLink& inner)
        : m_inner(inner)
    {
    }
    struct TSeen {
        uint16_t tid;
        uint32_t function;
        uint32_t number;
        int timeout;
        bool retry;
        int result;
        uint16_t replyTid;
    };
    std::vector<TSeen> seen;
    int Request(uint32_t fn, uint32_t number, uint16_t countOrValue, const uint8_t* data, uint8_t* reply, int timeout,
        bool retry) override
    {
        const uint16_t tid = uint16_t(RequestCounter);
        const int result = m_inner.Request(fn, number, countOrValue, data, reply, timeout, retry);
        seen.push_back({ tid, fn, number, timeout, retry, result, uint16_t(reply[0] << 8 | reply[1]) });
        return result;
    }

private:
    TFirmwareLink& m_inner;
};

// A restart of the simulator keeps it away this long.
const char* const RestartMs = "100";

} // namespace

class TestFirmwareUpdate : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void cleanup();
    void recordsFrameByFrame();
    void passwords_data();
    void passwords();
    void packageRefused_data();
    void packageRefused();
    void commitFails();
    void badChecksumInRecord2Of3();
    void connectionDroppedAtRecord2Data();
    void lateCommitReplyIsNotTakenForTheNext();

private:
    std::string Package(const QString& name, const std::vector<TSkpMemoryRecord>& records);
    TFirmwareOutcome Run(
        twltest::SimProcess& sim, const std::string& path, TRecordingUi& ui, TFirmwareLimits limits = {});
    std::unique_ptr<TModQ6120> m_module;
    std::unique_ptr<twltest::SimProcess> m_sim;
    QWidget* m_host = nullptr;
    QList<TIOObject*> m_list;
    QTemporaryDir m_dir;
    std::unique_ptr<TModuleFirmwareLink> m_link;
    std::unique_ptr<TRecordingLink> m_recorded;
    int m_framesBefore = 0;
};

void TestFirmwareUpdate::initTestCase()
{
    m_host = new QWidget;
    SocketTimeout = 3000;
    if (!twltest::PrivateNetworkProblem().empty())
        QSKIP(twltest::PrivateNetworkProblem().c_str());
    m_sim = std::make_unique<twltest::SimProcess>(
        std::vector<std::string> { "--restart-time", RestartMs, "--commit-delay", "0" }, false);
    if (!m_sim->started())
        QSKIP(qPrintable(QStringLiteral("simulated server not available: ") + QString::fromStdString(m_sim->output())));
}

void TestFirmwareUpdate::cleanupTestCase()
{
    delete m_host;
}

void TestFirmwareUpdate::init()
{
    QVERIFY(m_sim->waitUp());
    QCOMPARE(m_sim->control("password"), std::string("ok"));
    QCOMPARE(m_sim->control("fault none"), std::string("ok"));
    RequestCounter = 0x0100;
}

void TestFirmwareUpdate::cleanup()
{
    if (m_module) {
        m_module->Detach();
        m_module.reset();
    }
    m_recorded.reset();
}

std::string TestFirmwareUpdate::Package(const QString& name, const std::vector<TSkpMemoryRecord>& records)
{
    const std::string path = m_dir.filePath(name).toStdString();
    const TBytes bytes = SkpPackageBytes(records);
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    return path;
}

TFirmwareOutcome TestFirmwareUpdate::Run(
    twltest::SimProcess& sim, const std::string& path, TRecordingUi& ui, TFirmwareLimits limits)
{
    m_module = std::make_unique<TModQ6120>(0);
    m_module->Attach(new QWidget, m_host, nullptr);
    m_module->AttachToList(&m_list, m_host, QStringLiteral("127.0.0.1"));
    m_module->Connections[0]->SetPort(sim.modbusPort());
    m_link = std::make_unique<TModuleFirmwareLink>(m_module.get());
    m_recorded = std::make_unique<TRecordingLink>(*m_link);
    m_framesBefore = int(twltest::SimFrames(sim).size());
    TFirmwareUpdate update(*m_recorded, ui, limits);
    return update.UpdateFirmware(path);
}

// Two records, 500 bytes of type 3 and 5 bytes of type 1: every frame, the
// progress, the time limits, and the server holding both records.
void TestFirmwareUpdate::recordsFrameByFrame()
{
    const TBytes a = Filled(500, 3);
    const TBytes b { 0x10, 0x20, 0x30, 0x40, 0x50 };
    // The package as an operator makes it, with skptool.
    auto data = [&](const QString& name, const TBytes& bytes) {
        QFile f(m_dir.filePath(name));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(reinterpret_cast<const char*>(bytes.data()), qint64(bytes.size()));
    };
    data(QStringLiteral("a.bin"), a);
    data(QStringLiteral("b.bin"), b);
    const QString package = m_dir.filePath(QStringLiteral("two.skp"));
    QProcess skptool;
    skptool.start(qEnvironmentVariable("TWL_BIN_DIR") + QStringLiteral("/skptool"),
        { QStringLiteral("build"), package, QStringLiteral("3:") + m_dir.filePath(QStringLiteral("a.bin")),
            QStringLiteral("1:") + m_dir.filePath(QStringLiteral("b.bin")) });
    QVERIFY(skptool.waitForFinished(30000));
    QCOMPARE(skptool.exitCode(), 0);
    TRecordingUi ui;
    QCOMPARE(Run(*m_sim, package.toStdString(), ui), TFirmwareOutcome::Updated);

    uint16_t tid = 0x0100;
    QStringList expected { Frame(tid++, 4, 0x2503, 5) };
    auto record = [&](uint8_t type, const TBytes& data) {
        TBytes even = data;
        if (even.size() % 2)
            even.push_back(0);
        const uint32_t n = uint32_t(data.size());
        expected << Frame(tid++, 6, 0x3000, 0);
        expected << Frame(tid++, 16, 0x3001, 4, { 'J', 'w', 'o', 'P', 'e', 'x', 'e', 0 });
        expected << Frame(tid++, 16, 0x300D, 2, { uint8_t(n), uint8_t(n >> 8), uint8_t(n >> 16), uint8_t(n >> 24) });
        expected << Frame(tid++, 16, 0x300F, 1, { type, 0 });
        for (size_t at = 0; at < even.size(); at += 230) {
            const size_t k = std::min<size_t>(230, even.size() - at);
            expected << Frame(tid++, 16, 0x3010, uint16_t(k / 2), TBytes(even.begin() + at, even.begin() + at + k));
        }
        expected << Frame(tid++, 6, 0x3083, Crc(data)); // over the unpadded bytes
        expected << Frame(tid++, 6, 0x3084, 0);
    };
    record(3, a);
    record(1, b);
    expected << Frame(tid++, 8, 0x0001, 0xFF00);
    const QStringList seen = twltest::SimFrames(*m_sim).mid(m_framesBefore);
    QCOMPARE(seen, expected);
    // 500 bytes as 115 + 115 + 20 registers; 5 bytes as 3.
    QVERIFY(seen[5].contains(QStringLiteral(" 10 30 10 00 73 E6 ")));
    QVERIFY(seen[7].contains(QStringLiteral(" 10 30 10 00 14 28 ")));
    QVERIFY(seen[14].contains(QStringLiteral(" 10 30 10 00 03 06 10 20 30 40 50 00")));

    QCOMPARE(ui.events,
        (QStringList { QStringLiteral("started"), QStringLiteral("download 2"), QStringLiteral("record 1/2 500"),
            QStringLiteral("done 1"), QStringLiteral("record 2/2 6"), QStringLiteral("done 2"),
            QStringLiteral("countdown"), QStringLiteral("message Firmware update successfully..."),
            QStringLiteral("ended") }));
    QCOMPARE(ui.progress, (std::vector<uint64_t> { 230, 460, 500, 6 }));
    QCOMPARE(ui.asked, 0);

    // Limits and retry: the commits without retry, type 3 with two minutes.
    std::vector<std::pair<int, bool>> commits;
    for (const auto& s : m_recorded->seen) {
        if (s.number == FirmwareRegister::Commit)
            commits.push_back({ s.timeout, s.retry });
        else
            QVERIFY2(s.timeout == 0 && s.retry, qPrintable(QString::number(s.number, 16)));
        QCOMPARE(s.replyTid, s.tid);
    }
    QCOMPARE(commits, (std::vector<std::pair<int, bool>> { { 120000, false }, { 20000, false } }));
    QVERIFY(m_sim->waitUp());
    QCOMPARE(m_sim->status("records"), std::string("2"));
}

void TestFirmwareUpdate::passwords_data()
{
    QTest::addColumn<QString>("command"); // sets the device password
    QTest::addColumn<QByteArray>("typed"); // empty with cancel
    QTest::addColumn<bool>("cancel");
    QTest::addColumn<bool>("asked");
    QTest::addColumn<bool>("accepted");
    QTest::newRow("empty device password: no prompt") << "password" << QByteArray("") << false << false << true;
    QTest::newRow("right") << "password secret" << QByteArray("secret") << false << true << true;
    QTest::newRow("wrong case") << "password secret" << QByteArray("Secret") << false << true << false;
    QTest::newRow("longer") << "password secret" << QByteArray("secret1") << false << true << false;
    QTest::newRow("cancelled") << "password secret" << QByteArray("") << true << true << false;
    QTest::newRow("ten characters") << "password 0123456789" << QByteArray("0123456789") << false << true << true;
    QTest::newRow("nine of ten") << "password 0123456789" << QByteArray("012345678") << false << true << false;
    QTest::newRow("zero after the third: the first three")
        << "password-hex 6162630078797A" << QByteArray("abc") << false << true << true;
    QTest::newRow("zero after the third: all")
        << "password-hex 6162630078797A" << QByteArray("abcxyz") << false << true << false;
    QTest::newRow("first byte zero: empty") << "password-hex 0041" << QByteArray("") << false << false << true;
    QTest::newRow("high bytes") << "password-hex E9FF80" << QByteArray("\xE9\xFF\x80") << false << true << true;
}

void TestFirmwareUpdate::passwords()
{
    QFETCH(QString, command);
    QFETCH(QByteArray, typed);
    QFETCH(bool, cancel);
    QFETCH(bool, asked);
    QFETCH(bool, accepted);
    QCOMPARE(m_sim->control(command.toStdString()), std::string("ok"));
    TRecordingUi ui;
    if (!cancel)
        ui.answer = typed.toStdString();
    const auto outcome = Run(*m_sim, Package("small.skp", { { 2, { 1, 2 } } }), ui);
    QCOMPARE(ui.asked, asked ? 1 : 0);
    if (accepted) {
        QCOMPARE(outcome, TFirmwareOutcome::Updated);
        QCOMPARE(ui.messages.last(), QStringLiteral("Firmware update successfully..."));
    } else {
        QCOMPARE(outcome, TFirmwareOutcome::WrongPassword);
        QCOMPARE(ui.messages, QStringList { QStringLiteral("Wrong password !!") });
        QVERIFY(!ui.events.contains(QStringLiteral("started")));
        QCOMPARE(twltest::SimFrames(*m_sim).mid(m_framesBefore), QStringList { Frame(0x0100, 4, 0x2503, 5) });
    }
}

void TestFirmwareUpdate::packageRefused_data()
{
    QTest::addColumn<QString>("fault"); // of the password read
    QTest::addColumn<QString>("file");
    QTest::addColumn<QStringList>("events");
    const QString wrong = QStringLiteral("message Wrong password !!");
    QTest::newRow("password read fails") << "exception count 2"
                                         << "good.skp" << QStringList { wrong };
    QTest::newRow("no file") << "none"
                             << "missing.skp"
                             << QStringList { QStringLiteral("started"),
                                    QStringLiteral("message Error reading file !!") };
    QTest::newRow("invalid") << "none"
                             << "bad.skp"
                             << QStringList { QStringLiteral("started"), QStringLiteral("clear"),
                                    QStringLiteral("message Invalid file format !!") };
}

void TestFirmwareUpdate::packageRefused()
{
    QFETCH(QString, fault);
    QFETCH(QString, file);
    QFETCH(QStringList, events);
    Package("good.skp", { { 2, { 1, 2 } } });
    std::vector<uint8_t> bad = SkpPackageBytes({ { 2, { 1, 2 } } });
    bad.push_back(0);
    std::ofstream(m_dir.filePath(QStringLiteral("bad.skp")).toStdString(), std::ios::binary)
        .write(reinterpret_cast<const char*>(bad.data()), bad.size());
    QCOMPARE(m_sim->control("fault " + fault.toStdString()), std::string("ok"));
    TRecordingUi ui;
    Run(*m_sim, m_dir.filePath(file).toStdString(), ui);
    QCOMPARE(ui.events, events);
    // Nothing but the password read (and its retry) reached the server.
    for (const QString& f : twltest::SimFrames(*m_sim).mid(m_framesBefore))
        QCOMPARE(f, Frame(0x0100, 4, 0x2503, 5));
}

// The commit answered with an exception: the abandon write follows at once.
void TestFirmwareUpdate::commitFails()
{
    TRecordingUi ui;
    ui.onStep = [&](int, TFirmwareStep step) {
        if (step == TFirmwareStep::Crc)
            QCOMPARE(m_sim->control("fault exception count 1"), std::string("ok"));
    };
    QCOMPARE(Run(*m_sim, Package("one.skp", { { 0, Filled(40, 1) } }), ui), TFirmwareOutcome::RecordFailed);
    const QStringList seen = twltest::SimFrames(*m_sim).mid(m_framesBefore);
    QVERIFY(seen.size() >= 3);
    QCOMPARE(seen.at(seen.size() - 2).mid(6), Frame(0, 6, 0x3084, 0).mid(6));
    QCOMPARE(seen.last().mid(6), Frame(0, 6, 0x3000, 0).mid(6));
    QCOMPARE(ui.messages, QStringList { QStringLiteral("Update FAIL !") });
    QCOMPARE(ui.events.last(), QStringLiteral("ended"));
    QVERIFY(!ui.events.contains(QStringLiteral("countdown")));
}

// Record 2 of 3 does not add up: record 1 went out whole, then nothing,
// not even the abandon write.
void TestFirmwareUpdate::badChecksumInRecord2Of3()
{
    std::vector<TSkpMemoryRecord> records { { 0, Filled(20, 1) }, { 1, Filled(20, 2) }, { 2, Filled(20, 3) } };
    TBytes bytes = SkpPackageBytes(records);
    bytes[12 + 30 + 20 + 4] ^= 0x40;
    const std::string path = m_dir.filePath(QStringLiteral("bad2.skp")).toStdString();
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    TRecordingUi ui;
    QCOMPARE(Run(*m_sim, path, ui), TFirmwareOutcome::BadChecksum);
    const QStringList seen = twltest::SimFrames(*m_sim).mid(m_framesBefore);
    QCOMPARE(seen.size(), 1 + 7); // password, then control, unlock, length, type, data, CRC, commit
    QCOMPARE(seen.last(), Frame(0x0107, 6, 0x3084, 0));
    QCOMPARE(ui.messages, QStringList { QStringLiteral("Invalid checksum...") });
    QCOMPARE(ui.events.mid(ui.events.size() - 4),
        (QStringList { QStringLiteral("done 1"), QStringLiteral("record 2/3 20"),
            QStringLiteral("message Invalid checksum..."), QStringLiteral("ended") }));
    QVERIFY(m_sim->status("records") != "?");
}

// The server drops the connection on record 2's data, and again on the
// retry: the update ends with the abandon write on a new connection.
void TestFirmwareUpdate::connectionDroppedAtRecord2Data()
{
    TRecordingUi ui;
    ui.onStep = [&](int index, TFirmwareStep step) {
        if (index == 1 && step == TFirmwareStep::Type)
            QCOMPARE(m_sim->control("fault drop count 2"), std::string("ok"));
    };
    QCOMPARE(
        Run(*m_sim, Package("three.skp", { { 0, Filled(300, 1) }, { 1, Filled(300, 2) }, { 2, Filled(4, 3) } }), ui),
        TFirmwareOutcome::RecordFailed);
    QCOMPARE(ui.messages, QStringList { QStringLiteral("Update FAIL !") });
    const QStringList seen = twltest::SimFrames(*m_sim).mid(m_framesBefore);
    QVERIFY(seen.size() >= 3);
    // The data request twice (dropped each time), then the abandon write.
    QCOMPARE(seen.at(seen.size() - 3).mid(6, 32), QStringLiteral("00 00 00 ED 01 10 30 10 00 73 E6"));
    QCOMPARE(seen.at(seen.size() - 2), seen.at(seen.size() - 3));
    QCOMPARE(seen.last().mid(6), Frame(0, 6, 0x3000, 0).mid(6));
    QVERIFY(m_recorded->seen.back().result > 0); // the abandon write was heard
    QVERIFY(m_sim->status("records") != "?");
}

// The commit answers 1.5 s after it was sent, its limit is 0.5 s: its late
// reply must not be taken for the abandon write's, nor for anything later.
void TestFirmwareUpdate::lateCommitReplyIsNotTakenForTheNext()
{
    twltest::SimProcess slow({ "--restart-time", RestartMs, "--commit-delay", "1500" }, false);
    QVERIFY2(slow.started(), slow.output().c_str());
    TRecordingUi ui;
    TFirmwareLimits limits;
    limits.commitOther = 500;
    QCOMPARE(Run(slow, Package("late.skp", { { 0, Filled(10, 1) } }), ui, limits), TFirmwareOutcome::RecordFailed);
    QCOMPARE(ui.messages, QStringList { QStringLiteral("Update FAIL !") });
    const auto& seen = m_recorded->seen;
    QVERIFY(seen.size() >= 2);
    QCOMPARE(seen[seen.size() - 2].number, FirmwareRegister::Commit);
    QCOMPARE(seen[seen.size() - 2].result, -1);
    QCOMPARE(seen.back().number, FirmwareRegister::Control);
    for (const auto& s : seen)
        if (s.result > 0)
            QCOMPARE(s.replyTid, s.tid);
    // And the request after the update gets its own reply too.
    QTest::qWait(1500);
    uint8_t reply[FirmwareReplySize] = {};
    const uint16_t tid = uint16_t(RequestCounter);
    QCOMPARE(m_recorded->Request(4, FirmwareRegister::Password, 5, nullptr, reply, 0, false), 19);
    QCOMPARE(uint16_t(reply[0] << 8 | reply[1]), tid);
}

TWL_NETNS_QTEST_MAIN(TestFirmwareUpdate)

#include "tst_firmwareUpdate.moc"
