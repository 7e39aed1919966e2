// The search, conflict and add dialogs: their pure parts, then the dialogs
// on the offscreen platform inside a lab's host namespace, against
// simulated servers on the lab bridge and the real devscan library.
#include "admin/comm/ioGlobals.h"
#include "admin/discovery/Iphelp.h"
#include "admin/discovery/devscanBinding.h"
#include "admin/discovery/frmIPConflict.h"
#include "admin/discovery/frmModAdd.h"
#include "admin/discovery/frmSearch.h"
#include "admin/discovery/ioSearchSession.h"
#include "admin/discovery/ioSearchThread.h"
#include "admin/discovery/ipChangeFrames.h"
#include "admin/discovery/ipSetEditor.h"
#include "admin/discovery/tests/labDevices.h"
#include "admin/model/ioMod.h"
#include "admin/shell/tests/shellTestSupport.h"
#include "common/formatting.h"

#include <QComboBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSet>
#include <QSignalSpy>
#include <QTableWidget>
#include <QTest>

#include <arpa/inet.h>
#include <atomic>
#include <chrono>

namespace {
const QString HostAddress = QStringLiteral("10.77.0.1");

DscDeviceRecord Answer(const char* ip, int macLast, uint32_t productId = 0x80006120u, uint16_t code = 0x6120)
{
    DscDeviceRecord r {};
    r.ProductId = productId;
    r.ProductCode = code;
    r.IpAddress = inet_addr(ip);
    r.LocalAddress = inet_addr("10.77.0.1");
    const uint8_t mac[6] = { 0x02, 0x4C, 0x41, 0x42, 0x00, uint8_t(macLast) };
    std::memcpy(r.MacAddress, mac, 6);
    return r;
}

QStringList Row(const QTableWidget* t, int row)
{
    QStringList cells;
    for (int c = 0; c < t->columnCount(); ++c)
        cells << (t->item(row, c) ? t->item(row, c)->text() : QString());
    return cells;
}

// The real EnumSearch, watched: when it returned, for the Stop case.
std::atomic<int (*)(int, DscEnumCallback)> RealEnumSearch { nullptr };
std::atomic<bool> EnumReturned { false };
int WatchedEnumSearch(int index, DscEnumCallback callback)
{
    const int n = RealEnumSearch.load()(index, callback);
    EnumReturned = true;
    return n;
}
// A longer listen than the dialog asks for, so that on a busy machine the
// first row still arrives while the library searches.
std::atomic<int (*)(int, int)> RealSetSearchOpt { nullptr };
constexpr int LongListenMs = 3000;
int LongerSearchOpt(int, int repeats)
{
    return RealSetSearchOpt.load()(LongListenMs, repeats);
}

IONODE* Record(const TLabDevice& d, const QString& address, bool conflict = true)
{
    auto* r = new IONODE;
    r->Kind = 1;
    r->ModelIndex = 0;
    r->LocalAddress = HostAddress;
    r->Address = address;
    r->MacAddress = d.mac;
    r->Conflict = conflict;
    return r;
}
} // namespace

Q_DECLARE_METATYPE(DscDeviceRecord)

class TestFinder : public QObject {
    Q_OBJECT
private:
    QTemporaryDir m_temp;
    std::unique_ptr<TLabDevices> m_devices;
    QString m_labError;

    // The lab of every device kind, built on first use.
    bool Lab()
    {
        if (m_devices)
            return m_labError.isEmpty();
        m_devices = std::make_unique<TLabDevices>(*TestLab());
        auto fail = [this](const QString& what) {
            m_labError = what + QStringLiteral(": ") + QString::fromStdString(TestLab()->Error());
            return false;
        };
        if (!TestLab()->Connect(TestHostNamespace(), "eth0", {}, { "10.77.0.1/24" }))
            return fail(QStringLiteral("host link"));
        struct TSim {
            int k;
            const char* ifAddress;
            const char* reported;
            bool defaultRoute;
        };
        const TSim sims[] = {
            { 1, "10.77.0.11/24", "10.77.0.11", false }, // the host's subnet
            { 2, "10.88.0.12/24", "10.88.0.12", true }, // a foreign subnet
            { 3, "", "0.0.0.0", false }, // unconfigured
            { 8, "", "0.0.0.0", false }, // unconfigured too
            { 4, "10.77.0.200/24", "10.77.0.200", false }, // a pair sharing one address
            { 5, "10.77.0.200/24", "10.77.0.200", false },
        };
        for (const TSim& s : sims)
            if (!m_devices->AddSim(
                    s.k, QString::fromLatin1(s.ifAddress), QString::fromLatin1(s.reported), s.defaultRoute))
                return fail(QStringLiteral("device %1").arg(s.k));
        // Devices of other kinds: another ProductId, the same id with another code.
        if (!m_devices->AddFake(6, QStringLiteral("10.77.0.60"), 0x80001234u, 0x1234)
            || !m_devices->AddFake(7, QStringLiteral("10.77.0.61"), 0x80006120u, 0x6121))
            return fail(QStringLiteral("other kinds"));
        ReleaseLocalInterfaces();
        LoadLocalInterfaces();
        return true;
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_temp.isValid());
        qputenv("KORVEL_MACHINE_SETTINGS", m_temp.filePath(QStringLiteral("machine.ini")).toLocal8Bit());
        LoadLocalInterfaces();
        QCOMPARE(BindDevscan(qEnvironmentVariable("TWL_BIN_DIR")), dbOk);
    }

    void cleanupTestCase()
    {
        ReleaseLocalInterfaces();
        m_devices.reset();
    }

    // ---- without a network ----

    void pureSearchRecords_data()
    {
        QTest::addColumn<QList<DscDeviceRecord>>("answers");
        QTest::addColumn<QStringList>("records"); // "address mac-last conflict"
        const auto q = [](const char* ip, int mac) { return Answer(ip, mac); };
        QTest::newRow("two at address 0") << QList<DscDeviceRecord> { q("0.0.0.0", 1), q("0.0.0.0", 2) }
                                          << QStringList { "192.168.127.254 01 1", "192.168.127.254 02 1" };
        QTest::newRow("three sharing one")
            << QList<DscDeviceRecord> { q("10.0.0.5", 1), q("10.0.0.6", 2), q("10.0.0.5", 3), q("10.0.0.5", 4) }
            << QStringList { "10.0.0.5 01 1", "10.0.0.6 02 0", "10.0.0.5 03 1", "10.0.0.5 04 1" };
        QTest::newRow("heard twice") << QList<DscDeviceRecord> { q("10.0.0.7", 1), q("10.0.0.7", 1) }
                                     << QStringList { "10.0.0.7 01 1", "10.0.0.7 01 1" };
        QTest::newRow("other kinds skipped") << QList<DscDeviceRecord> { Answer("10.0.0.8", 1, 0x80001234u, 0x6120),
            q("10.0.0.9", 2), Answer("10.0.0.9", 3, 0x80006120u, 0x1234) }
                                             << QStringList { "10.0.0.9 02 0" };
    }
    void pureSearchRecords()
    {
        QFETCH(QList<DscDeviceRecord>, answers);
        QFETCH(QStringList, records);
        QList<IONODE*> list;
        QStringList handed;
        TSearchSession session(&list, [&handed](const IONODE& r) { handed << r.Address; });
        for (const DscDeviceRecord& a : answers)
            QCOMPARE(session.TakeRecord(&a), 1);
        QStringList got;
        for (const IONODE* r : list) {
            got << QStringLiteral("%1 %2 %3").arg(r->Address, r->MacAddress.right(2)).arg(int(r->Conflict));
            QCOMPARE(r->Kind, 1);
            QCOMPARE(r->ModelIndex, 0);
            QCOMPARE(r->LocalAddress, HostAddress);
            QCOMPARE(r->MacAddress.left(15), QStringLiteral("02-4C-41-42-00-"));
            QVERIFY(r->PortAddress.isEmpty());
        }
        QCOMPARE(got, records);
        QCOMPARE(handed.size(), list.size()); // each record handed over once, in order
        // After Stop nothing more is taken, and a null record ends it too.
        session.StopSearch = true;
        const DscDeviceRecord late = Answer("10.0.0.99", 9);
        QCOMPARE(session.TakeRecord(&late), 0);
        session.StopSearch = false;
        QCOMPARE(session.TakeRecord(nullptr), 0);
        QCOMPARE(list.size(), records.size());
        qDeleteAll(list);
        // No active session: the callback ends the search.
        QCOMPARE(TSearchSession::Callback(&late), 0);
    }

    void pureFrames()
    {
        const auto frame = SetIpRequest({ 10, 0, 0, 5 });
        const QByteArray bytes(reinterpret_cast<const char*>(frame.data()), int(frame.size()));
        QCOMPARE(bytes.toHex(' ').toUpper(), QByteArray("00 3E 00 00 00 0B 01 10 10 22 00 02 04 0A 00 00 05"));
        const QByteArray restart(reinterpret_cast<const char*>(RestartRequest.data()), int(RestartRequest.size()));
        QCOMPARE(restart.toHex(' ').toUpper(), QByteArray("00 3D 00 00 00 06 01 08 00 01 FF 00"));
    }

    void pureAddressCheck_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("check");
        QTest::newRow("good") << "10.0.0.5" << int(acOk);
        QTest::newRow("blanks around") << " 10.0.0.5 " << int(acOk);
        QTest::newRow("unchanged") << "10.77.0.200" << int(acUnchanged);
        QTest::newRow("empty") << "" << int(acNotDotted);
        QTest::newRow("host name") << "plc-9" << int(acNotDotted);
        QTest::newRow("three parts") << "10.0.5" << int(acNotDotted);
        QTest::newRow("octet over 255") << "10.0.0.256" << int(acNotDotted);
        QTest::newRow("leading zero") << "10.0.0.05" << int(acNotDotted);
        QTest::newRow("sign") << "10.0.0.+5" << int(acNotDotted);
        QTest::newRow("this network") << "0.1.2.3" << int(acNotHost);
        QTest::newRow("loopback") << "127.0.0.2" << int(acNotHost);
        QTest::newRow("multicast") << "224.0.0.1" << int(acNotHost);
        QTest::newRow("broadcast") << "255.255.255.255" << int(acNotHost);
    }
    void pureAddressCheck()
    {
        QFETCH(QString, text);
        QFETCH(int, check);
        std::array<uint8_t, 4> octets {};
        QCOMPARE(int(CheckNewAddress(text, QStringLiteral("10.77.0.200"), &octets)), check);
        if (check == acOk)
            QCOMPARE(octets, (std::array<uint8_t, 4> { 10, 0, 0, 5 }));
        else
            QVERIFY(!AddressCheckText(TAddressCheck(check), text).isEmpty());
    }

    void bindingDevscan_data()
    {
        QTest::addColumn<QString>("dir");
        QTest::addColumn<int>("result");
        QTest::addColumn<QStringList>("named"); // parts of the error text
        QTest::newRow("beside the program") << qEnvironmentVariable("TWL_BIN_DIR") << int(dbOk) << QStringList {};
        QTest::newRow("nowhere") << m_temp.path() << int(dbNotFound)
                                 << QStringList { "libdevscan.so", "cannot open shared object file" };
        QTest::newRow("a function missing") << QStringLiteral(TWL_PARTIAL_DEVSCAN_DIR) << int(dbMissingFunction)
                                            << QStringList { "libdevscan.so", "dsc_EnumSearch" };
    }
    void bindingDevscan()
    {
        QFETCH(QString, dir);
        QFETCH(int, result);
        QFETCH(QStringList, named);
        QCOMPARE(int(BindDevscan(dir)), result);
        QCOMPARE(DevscanBound(), result == dbOk);
        QCOMPARE(Devscan.enumSearch != nullptr, result == dbOk);
        for (const QString& part : named)
            QVERIFY2(DevscanBindErrorText().contains(part), qPrintable(DevscanBindErrorText()));
        if (result == dbOk)
            QVERIFY(DevscanBindErrorText().isEmpty());
        // Whatever happened, the real one for the cases that follow.
        QCOMPARE(BindDevscan(qEnvironmentVariable("TWL_BIN_DIR")), dbOk);
    }

    // ---- in the lab ----

    void searchListsTheLabKinds()
    {
        if (!InPrivateNetns())
            QSKIP("no lab here (needs root)");
        QVERIFY2(Lab(), qPrintable(m_labError));
        QList<IONODE*> list;
        TfmSearch search(nullptr, &list);
        QCOMPARE(search.windowTitle(), QStringLiteral("Auto Searching for Twinlane I/O Server(s)  ..."));
        QCOMPARE(search.size(), QSize(598, 311));
        QCOMPARE(search.lbFound->text(), QStringLiteral("0"));
        QVERIFY(!search.btnStop->isEnabled());
        QCOMPARE(search.TimerAuto->interval(), 200);
        QCOMPARE(search.Timer1->interval(), 500);
        QCOMPARE(search.TicksLeft, 3);
        QElapsedTimer clock;
        clock.start();
        search.exec();
        // It closed itself, on the fourth tick or soon after the library returned.
        QVERIFY2(clock.elapsed() >= 1900, qPrintable(QString::number(clock.elapsed())));
        QCOMPARE(search.TicksLeft, 0);
        QCOMPARE(search.ProgressBar1->value(), 3);
        QCOMPARE(search.StatusPanel0->text(), QStringLiteral("Search for Twinlane modules..."));

        // One record per Q6120, rows in the order of the list, which is the
        // order of the answers; the other kinds are not there.
        QCOMPARE(list.size(), 6);
        QCOMPARE(search.lvEnum->rowCount(), 6);
        QCOMPARE(search.lbFound->text(), QStringLiteral("6"));
        QSet<QString> macs;
        for (int i = 0; i < list.size(); ++i) {
            const IONODE* r = list.at(i);
            QCOMPARE(Row(search.lvEnum, i),
                (QStringList { QString::number(i + 1), "Q6120", r->Address, r->MacAddress, ModelDescriptions.at(0) }));
            const TLabDevice* d = m_devices->ByMac(r->MacAddress);
            QVERIFY2(d, qPrintable(r->MacAddress));
            const QString expected
                = d->address == QLatin1String("0.0.0.0") ? QStringLiteral("192.168.127.254") : d->address;
            QCOMPARE(r->Address, expected);
            QCOMPARE(r->LocalAddress, HostAddress);
            QCOMPARE(r->ProductId, int32_t(0x80006120u));
            QCOMPARE(r->ProductCode, 0x6120);
            // The pair and the two unconfigured ones collide.
            const bool shared
                = r->Address == QLatin1String("10.77.0.200") || r->Address == QLatin1String("192.168.127.254");
            QCOMPARE(r->Conflict, shared);
            macs << r->MacAddress;
        }
        QCOMPARE(macs, (QSet<QString> { MacOf(1), MacOf(2), MacOf(3), MacOf(8), MacOf(4), MacOf(5) }));
        qDeleteAll(list);
    }

    void searchWithoutInterface()
    {
        if (!InPrivateNetns())
            QSKIP("no lab here (needs root)");
        // The list of interfaces is what the search looks at.
        QList<tIPNODE>* saved = LocalInterfaces;
        QList<tIPNODE> none;
        LocalInterfaces = &none;
        QList<IONODE*> list;
        TfmSearch search(nullptr, &list);
        QElapsedTimer clock;
        clock.start();
        search.exec(); // closes by itself
        LocalInterfaces = saved;
        QVERIFY(!search.SearchThread);
        QCOMPARE(search.lbFound->text(), QStringLiteral("0"));
        QCOMPARE(search.lvEnum->rowCount(), 0);
        QVERIFY(list.isEmpty());
        QVERIFY(clock.elapsed() >= 1900);
        QVERIFY(clock.elapsed() < 30000);
    }

    void stopWaitsForTheLibrary_data()
    {
        QTest::addColumn<bool>("escape");
        QTest::newRow("Stop") << false;
        QTest::newRow("Escape") << true;
    }
    void stopWaitsForTheLibrary()
    {
        QFETCH(bool, escape);
        if (!InPrivateNetns())
            QSKIP("no lab here (needs root)");
        QVERIFY2(Lab(), qPrintable(m_labError));
        RealEnumSearch = Devscan.enumSearch;
        Devscan.enumSearch = &WatchedEnumSearch;
        RealSetSearchOpt = Devscan.setSearchOpt;
        Devscan.setSearchOpt = &LongerSearchOpt;
        EnumReturned = false;
        QList<IONODE*> list;
        TfmSearch search(nullptr, &list);
        // A long listen, so that Stop comes while the library still searches.
        bool stoppedEarly = false;
        QElapsedTimer stopClock;
        connect(&search, &TfmSearch::rowAdded, &search, [&] {
            if (stopClock.isValid())
                return;
            stoppedEarly = !EnumReturned;
            stopClock.start();
            if (escape)
                QTest::keyClick(&search, Qt::Key_Escape);
            else
                QTest::mouseClick(search.btnStop, Qt::LeftButton);
        });
        // Escape before the search started does nothing.
        search.show();
        QTest::keyClick(&search, Qt::Key_Escape);
        QVERIFY(search.isVisible());
        search.exec();
        const qint64 stopToClose = stopClock.isValid() ? stopClock.elapsed() : -1;
        Devscan.enumSearch = RealEnumSearch.load();
        Devscan.setSearchOpt = RealSetSearchOpt.load();
        Devscan.setSearchOpt(1000, 5);
        QVERIFY(stopClock.isValid());
        QVERIFY(stoppedEarly);
        // Closed only after dsc_EnumSearch had returned, and that was soon:
        // a library that kept listening would hold the dialog.
        QVERIFY(EnumReturned);
        QVERIFY(!search.SearchThread);
        QVERIFY2(stopToClose < 10000, qPrintable(QString::number(stopToClose)));
        QCOMPARE(search.result(), int(QDialog::Rejected));
        QVERIFY(search.StopRequested());
        // Nothing after Stop was listed: every record has its row.
        QCOMPARE(search.lvEnum->rowCount(), list.size());
        qDeleteAll(list);
    }

    void conflictChangesOneDevice()
    {
        if (!InPrivateNetns())
            QSKIP("no lab here (needs root)");
        QVERIFY2(Lab(), qPrintable(m_labError));
        const TLabDevice& first = m_devices->Device(4);
        const TLabDevice& second = m_devices->Device(5);
        const QString before = Tables(TestHostNamespace());
        QList<IONODE*> list { Record(m_devices->Device(1), "10.77.0.11", false), Record(first, "10.77.0.200"),
            Record(second, "10.77.0.200") };
        TfmIPConflict dialog(nullptr, &list);
        QCOMPARE(dialog.windowTitle(), QStringLiteral("IP Address Conflict"));
        QCOMPARE(dialog.size(), QSize(643, 294));
        QCOMPARE(dialog.xgIP->rowCount(), 2); // only the conflicting ones
        QCOMPARE(
            Row(dialog.xgIP, 0), (QStringList { "1", "Q6120", "10.77.0.200", first.mac, ModelDescriptions.at(0) }));
        QCOMPARE(
            Row(dialog.xgIP, 1), (QStringList { "2", "Q6120", "10.77.0.200", second.mac, ModelDescriptions.at(0) }));
        QVERIFY(!dialog.btnOK->isEnabled());
        QCOMPARE(dialog.btnOK->text(), QStringLiteral("Re-Search"));
        QCOMPARE(dialog.btnCancel->text(), QStringLiteral("Ignore these devices"));
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        // The address cell of the first row is open in its editor.
        QTRY_VERIFY(dialog.xgIP->findChild<TIPSetEditor*>());
        auto* editor = dialog.xgIP->findChild<TIPSetEditor*>();
        QCOMPARE(dialog.xgIP->currentRow(), 0);
        QCOMPARE(editor->Text(), QStringLiteral("10.77.0.200"));
        QCOMPARE(editor->btnSet->text(), QStringLiteral("Set"));

        {
            // Answered No: nothing is sent, nothing changes.
            TModalAnswerer no(QMessageBox::No);
            editor->etAddress->setText(QStringLiteral("10.77.0.210"));
            QTest::mouseClick(editor->btnSet, Qt::LeftButton);
            QCOMPARE(no.texts, QStringList { "Change IP address from 10.77.0.200 to 10.77.0.210 ?" });
            QVERIFY(!dialog.btnOK->isEnabled());
            QVERIFY(first.Frames().isEmpty());
        }
        {
            // Not an address: told, not asked, not sent.
            TModalAnswerer ok;
            editor->etAddress->setText(QStringLiteral("10.77.0.300"));
            QTest::mouseClick(editor->btnSet, Qt::LeftButton);
            QCOMPARE(ok.texts.size(), 1);
            QVERIFY(ok.texts.first().contains(QStringLiteral("10.77.0.300")));
            QVERIFY(!dialog.btnOK->isEnabled());
            QVERIFY(first.Frames().isEmpty());
        }
        auto yes = std::make_unique<TModalAnswerer>(QMessageBox::Yes);
        editor->etAddress->setText(QStringLiteral("10.77.0.210"));
        QSignalSpy attempts(&dialog, &TfmIPConflict::changeAttempted);
        QTest::mouseClick(editor->btnSet, Qt::LeftButton);
        const QStringList answered = yes->texts;
        // The conflict dialog itself may be seen again when it comes back on
        // top after the question; only the dialogs the change opened count.
        QStringList dialogs = yes->dialogClasses;
        dialogs.removeAll(QStringLiteral("TfmIPConflict"));
        yes.reset();
        QCOMPARE(attempts.size(), 1);
        QCOMPARE(attempts.first().value(1).toBool(), true);
        QCOMPARE(answered, QStringList { "Change IP address from 10.77.0.200 to 10.77.0.210 ?" });
        QCOMPARE(dialogs, QStringList { "TfmWait" });
        // Exactly the two frames, to that device only.
        QCOMPARE(first.Frames(),
            (QStringList {
                "00 3E 00 00 00 0B 01 10 10 22 00 02 04 0A 4D 00 D2", "00 3D 00 00 00 06 01 08 00 01 FF 00" }));
        QVERIFY(second.Frames().isEmpty());
        QCOMPARE(list.at(1)->Address, QStringLiteral("10.77.0.210"));
        QCOMPARE(list.at(2)->Address, QStringLiteral("10.77.0.200"));
        QCOMPARE(dialog.xgIP->item(0, 2)->text(), QStringLiteral("10.77.0.210"));
        QVERIFY(dialog.btnOK->isEnabled());
        // The temporary route and neighbour entry are gone.
        QCOMPARE(Tables(TestHostNamespace()), before);
        QVERIFY(HostRoutes->isEmpty());
        // The device comes back with its new address; a new search finds
        // both without a conflict.
        QVERIFY(m_devices->WaitUp(first));
        QCOMPARE(m_devices->Status(first, QStringLiteral("address")), QStringLiteral("10.77.0.210"));
        QTest::mouseClick(dialog.btnOK, Qt::LeftButton);
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        qDeleteAll(list);
        list.clear();
        TfmSearch search(nullptr, &list);
        search.exec();
        QStringList pair;
        for (const IONODE* r : list)
            if (r->MacAddress == first.mac || r->MacAddress == second.mac)
                pair << QStringLiteral("%1 %2").arg(r->Address).arg(int(r->Conflict));
        pair.sort();
        QCOMPARE(pair, (QStringList { "10.77.0.200 0", "10.77.0.210 0" }));
        qDeleteAll(list);
    }

    void conflictFailureKeepsAddress_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<QString>("address"); // where the record says the server is
        QTest::newRow("connection refused") << "refuse"
                                            << "10.77.0.200";
        QTest::newRow("nobody at the address") << "none"
                                               << "10.77.0.250";
        QTest::newRow("no answer") << "silence"
                                   << "10.77.0.200";
        QTest::newRow("exception reply") << "exception 4"
                                         << "10.77.0.200";
        QTest::newRow("short reply") << "cut 6"
                                     << "10.77.0.200";
    }
    void conflictFailureKeepsAddress()
    {
        QFETCH(QString, fault);
        QFETCH(QString, address);
        if (!InPrivateNetns())
            QSKIP("no lab here (needs root)");
        QVERIFY2(Lab(), qPrintable(m_labError));
        const TLabDevice& device = m_devices->Device(5);
        QVERIFY(m_devices->WaitUp(device));
        QCOMPARE(m_devices->Control(device, QStringLiteral("fault ") + fault).left(2), QStringLiteral("ok"));
        const QString before = Tables(TestHostNamespace());
        const int savedTimeout = SocketTimeout;
        SocketTimeout = 2000;
        QList<IONODE*> list { Record(device, address), Record(device, address) };
        TfmIPConflict dialog(nullptr, &list);
        TModalAnswerer yes(QMessageBox::Yes);
        QSignalSpy attempts(&dialog, &TfmIPConflict::changeAttempted);
        QElapsedTimer clock;
        clock.start();
        // Neither button can end the dialog while the attempt waits for a
        // connection (the only wait that runs events).
        QList<bool> buttonsMeanwhile;
        QTimer::singleShot(300, &dialog, [&] {
            buttonsMeanwhile << dialog.btnOK->isEnabled() << dialog.btnCancel->isEnabled();
            dialog.reject();
        });
        QSignalSpy finished(&dialog, &QDialog::finished);
        dialog.ChangeServerAddressTo(0, QStringLiteral("10.77.0.220"));
        if (address != QLatin1String("10.77.0.200"))
            QCOMPARE(buttonsMeanwhile, (QList<bool> { false, false }));
        QCOMPARE(finished.size(), 0);
        QVERIFY(dialog.btnCancel->isEnabled());
        SocketTimeout = savedTimeout;
        m_devices->Control(device, QStringLiteral("fault none"));
        QCOMPARE(attempts.size(), 1);
        QCOMPARE(attempts.first().value(1).toBool(), false);
        // No countdown, no message.
        QCOMPARE(yes.texts, QStringList { QStringLiteral("Change IP address from %1 to 10.77.0.220 ?").arg(address) });
        QCOMPARE(list.first()->Address, address);
        QCOMPARE(dialog.xgIP->item(0, 2)->text(), address);
        QVERIFY(dialog.btnOK->isEnabled());
        QCOMPARE(Tables(TestHostNamespace()), before);
        QVERIFY(HostRoutes->isEmpty());
        QCOMPARE(m_devices->Status(device, QStringLiteral("address")), QStringLiteral("10.77.0.200"));
        QVERIFY(!QApplication::overrideCursor());
        QVERIFY(clock.elapsed() < 30000);
        qDeleteAll(list);
    }

    void addDialog_data()
    {
        QTest::addColumn<bool>("productTarget");
        QTest::addColumn<int>("interfaceIndex");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("message"); // empty: accepted
        QTest::addColumn<QString>("localAddress");
        const QString used = QStringLiteral("The IP address had already been used !");
        QTest::newRow("address, first interface") << true << 0 << "10.77.0.99"
                                                  << ""
                                                  << "10.77.0.1";
        QTest::newRow("address, second interface") << true << 1 << "10.66.0.5"
                                                   << ""
                                                   << "10.66.0.1";
        QTest::newRow("host name") << true << 0 << "plc-9.lab"
                                   << ""
                                   << "10.77.0.1";
        QTest::newRow("duplicate") << true << 0 << "10.77.0.11" << used << "";
        QTest::newRow("duplicate host name") << true << 0 << "plc-7" << used << "";
        QTest::newRow("leading zero") << true << 0 << "10.77.0.011"
                                      << ""
                                      << "10.77.0.1";
        QTest::newRow("module selected") << false << 0 << "10.77.0.99"
                                         << ""
                                         << "";
    }
    void addDialog()
    {
        QFETCH(bool, productTarget);
        QFETCH(int, interfaceIndex);
        QFETCH(QString, typed);
        QFETCH(QString, message);
        QFETCH(QString, localAddress);
        if (!InPrivateNetns())
            QSKIP("no lab here (needs root)");
        QVERIFY2(Lab(), qPrintable(m_labError));
        // A second link on the host, on a network of its own.
        if (!QFile::exists(QStringLiteral("/proc/sys/net/ipv4/conf/eth1"))) {
            QVERIFY(TestLab()->IpBatch(TestHostNamespace(),
                { "link add eth1 type veth peer name eth1p", "addr add 10.66.0.1/24 dev eth1", "link set eth1 up",
                    "link set eth1p up" }));
            ReleaseLocalInterfaces();
            LoadLocalInterfaces();
        }
        TIOObject product(okProduct, QStringLiteral("Twinlane"));
        TIOMod a(1, 0, 3), b(1, 0, 3);
        a.Address = QStringLiteral("10.77.0.11");
        b.Address = QStringLiteral("plc-7");
        TIOObject notModule(okProduct, QStringLiteral("other"));
        QList<TIOObject*> modules { &a, nullptr, &notModule, &b };
        TfmModAdd dialog(nullptr, &modules, productTarget ? static_cast<TIOObject*>(&product) : &a);
        QCOMPARE(dialog.windowTitle(), QStringLiteral("Fleetdesk - Add New Module"));
        // Ethernet interfaces with an address only, in list order.
        QStringList interfaces;
        for (int i = 0; i < dialog.cbINT->count(); ++i)
            interfaces << dialog.cbINT->itemText(i);
        QCOMPARE(interfaces, (QStringList { "eth0", "eth1" }));
        QCOMPARE(dialog.cbINT->currentIndex(), 0);
        QCOMPARE(dialog.cbModuleType->count(), productTarget ? 1 : 0);
        if (productTarget)
            QCOMPARE(dialog.cbModuleType->itemText(0), QStringLiteral("Q6120  ") + ModelDescriptions.at(0));
        QVERIFY(!dialog.btnOK->isEnabled());
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        dialog.cbINT->setCurrentIndex(interfaceIndex);
        QTest::keyClicks(dialog.cbIP, typed);
        QCOMPARE(dialog.btnOK->isEnabled(), productTarget);
        if (!productTarget) {
            // With a module selected OK can never be pressed.
            QTest::mouseClick(dialog.btnOK, Qt::LeftButton);
            QVERIFY(dialog.isVisible());
            QCOMPARE(dialog.TypeCode, 0);
            return;
        }
        TModalAnswerer answerer;
        QTest::mouseClick(dialog.btnOK, Qt::LeftButton);
        if (!message.isEmpty()) {
            QCOMPARE(answerer.texts, QStringList { message });
            QVERIFY(dialog.isVisible());
            QVERIFY(dialog.Address.isEmpty());
            // Clearing the text disables OK again.
            dialog.cbIP->clear();
            QVERIFY(!dialog.btnOK->isEnabled());
            return;
        }
        QVERIFY(answerer.texts.isEmpty());
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        QCOMPARE(dialog.Address, typed);
        QCOMPARE(dialog.LocalAddress, localAddress);
        QCOMPARE(dialog.TypeCode, 17);
        QCOMPARE(dialog.ModelIndex, 0);
    }

    void addDialogWithoutInterface()
    {
        QList<tIPNODE>* saved = LocalInterfaces;
        QList<tIPNODE> loopbackOnly { { "127.0.0.1", "lo", 24, 5 } };
        LocalInterfaces = &loopbackOnly;
        TIOObject product(okProduct, QStringLiteral("Twinlane"));
        TfmModAdd dialog(nullptr, nullptr, &product);
        LocalInterfaces = saved;
        QCOMPARE(dialog.cbINT->count(), 0);
        dialog.show();
        dialog.cbIP->setText(QStringLiteral("10.77.0.99"));
        TModalAnswerer answerer;
        QTest::mouseClick(dialog.btnOK, Qt::LeftButton);
        QCOMPARE(answerer.texts.size(), 1);
        QVERIFY(answerer.texts.first().contains(QStringLiteral("interface")));
        QVERIFY(dialog.isVisible());
        QCOMPARE(dialog.TypeCode, 0);
    }

    // 250 servers answering one search: every one listed once.
    void searchTwoHundredFifty()
    {
        if (!InPrivateNetns())
            QSKIP("no lab here (needs root)");
        QVERIFY2(Lab(), qPrintable(m_labError));
        constexpr int Count = 250;
        const std::string ns = TestLab()->AddNamespace("many");
        QVERIFY(!ns.empty());
        std::vector<std::string> argv {
            (qEnvironmentVariable("TWL_BIN_DIR") + QStringLiteral("/dsc-fake-device")).toStdString()
        };
        QSet<QString> expected;
        for (int i = 0; i < Count; ++i) {
            const QString mac = QStringLiteral("02:30:00:00:%1:%2")
                                    .arg(i >> 8, 2, 16, QLatin1Char('0'))
                                    .arg(i & 0xff, 2, 16, QLatin1Char('0'));
            QVERIFY2(TestLab()->Connect(ns, "e" + std::to_string(i), mac.toStdString()), TestLab()->Error().c_str());
            const QString address = QStringLiteral("10.77.%1.%2").arg(2 + i / 200).arg(1 + i % 200);
            argv.push_back("--device");
            argv.push_back(
                QStringLiteral("e%1,-,%2,%3,%4").arg(i).arg(address).arg(0x80006120u).arg(0x6120).toStdString());
            expected << QString(mac).replace(QLatin1Char(':'), QLatin1Char('-')).toUpper();
        }
        const pid_t pid = TestLab()->Start(ns, argv);
        QVERIFY(pid > 0);
        QVERIFY(TestLab()->WaitForLine(pid, "ready", 60000));
        QList<IONODE*> list;
        TfmSearch search(nullptr, &list);
        search.exec();
        QSet<QString> found;
        int many = 0;
        for (const IONODE* r : list) {
            if (!expected.contains(r->MacAddress))
                continue;
            ++many;
            found << r->MacAddress;
            QVERIFY(!r->Conflict);
        }
        QCOMPARE(many, Count); // none doubled
        QCOMPARE(found, expected); // none lost
        QCOMPARE(search.lvEnum->rowCount(), list.size());
        QCOMPARE(search.lbFound->text(), QString::number(list.size()));
        // The count is not cut off.
        QVERIFY(search.lbFound->width() >= search.lbFound->fontMetrics().horizontalAdvance(search.lbFound->text()));
        TestLab()->Stop(pid);
        qDeleteAll(list);
    }
};

TWL_LAB_QTEST_MAIN(TestFinder)
#include "tst_finder.moc"
