// The operator's story from first start to exit, with both programs: this
// process is TwinlaneAdmin (its main window, the real device pages and web
// engine) living in a lab's host namespace; Alarmkeeper runs as its own
// process in the same namespace; simulated servers of every kind sit on the
// lab bridge and send their alarms to the host.
//
// With TWL_STORY_SHOTS=DIR (the demo) each step leaves a picture there.
#include "admin/discovery/devscanBinding.h"
#include "admin/discovery/frmIPConflict.h"
#include "admin/discovery/frmModAdd.h"
#include "admin/discovery/frmSearch.h"
#include "admin/discovery/ipSetEditor.h"
#include "admin/discovery/tests/labDevices.h"
#include "admin/discovery/tests/operatorUser.h"
#include "admin/maintenance/frmPwd.h"
#include "admin/maintenance/frmQ6120.h"
#include "admin/maintenance/frmWebNew.h"
#include "admin/maintenance/installQ6120Factory.h"
#include "admin/maintenance/webProfile.h"
#include "admin/model/frmWait.h"
#include "admin/model/ioAppGlobals.h"
#include "admin/model/ioMod.h"
#include "admin/model/ioTreeNode.h"
#include "admin/model/pdTwinlane.h"
#include "admin/shell/frmMain.h"
#include "admin/shell/shellStartup.h"
#include "admin/shell/tests/shellTestSupport.h"
#include "common/settingsStore.h"
#include "logger/tests/rsyslogCollector.h"

#include <QComboBox>
#include <QDate>
#include <QLineEdit>
#include <QMap>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QScreen>
#include <QTabWidget>
#include <QTableWidget>
#include <QTcpSocket>
#include <QTest>
#include <QTreeWidget>
#include <QWebEngineView>

namespace {

constexpr int AlarmPort = 4040;
constexpr int LoadLimitMs = 60000;
constexpr int AlarmLimitMs = 30000;
constexpr int ScreenSettleMs = 700;
const QString SharedAddress = QStringLiteral("10.77.0.200");
const QString NewAddress = QStringLiteral("10.77.0.210");
const QString SameAddress = QStringLiteral("10.77.0.11");
const QString ForeignAddress = QStringLiteral("10.88.0.12");
const QString DevicePassword = QStringLiteral("secret");

TOperatorSetup& Operators()
{
    static TOperatorSetup setup;
    return setup;
}

// Pictures for the demo: one per step, when a folder is named.
class TShots {
public:
    TShots()
        : m_dir(qEnvironmentVariable("TWL_STORY_SHOTS"))
    {
    }
    void Take(const QString& name, QWidget* w)
    {
        if (m_dir.isEmpty() || !w)
            return;
        w->grab().save(QStringLiteral("%1/%2-%3.png").arg(m_dir).arg(++m_count, 2, 10, QLatin1Char('0')).arg(name));
    }
    // A moment for a page to be painted before its picture.
    void Settle()
    {
        if (!m_dir.isEmpty())
            QTest::qWait(ScreenSettleMs);
    }
    // Alarmkeeper's window (another process): the screen with ours out of
    // the way, cut to what is drawn on it.
    void TakeScreen(const QString& name, QWidget* ours)
    {
        if (m_dir.isEmpty() || !QGuiApplication::primaryScreen())
            return;
        ours->hide();
        QTest::qWait(ScreenSettleMs);
        const QImage screen = QGuiApplication::primaryScreen()->grabWindow(0).toImage();
        ours->show();
        QRect drawn;
        for (int y = 0; y < screen.height(); ++y)
            for (int x = 0; x < screen.width(); ++x)
                if ((screen.pixel(x, y) & 0xFFFFFF) != 0)
                    drawn |= QRect(x, y, 1, 1);
        screen.copy(drawn).save(
            QStringLiteral("%1/%2-%3.png").arg(m_dir).arg(++m_count, 2, 10, QLatin1Char('0')).arg(name));
    }

private:
    QString m_dir;
    int m_count = 0;
};

// Plays the operator at every modal window: message boxes get "Yes" (else
// their first button), the conflict dialog gives one server a new address
// and searches again, the add dialog takes an address, the password prompt
// a password; the countdown runs its course.
class TOperator : public QObject {
public:
    explicit TOperator(TShots& shots)
        : m_shots(shots)
    {
        connect(&m_timer, &QTimer::timeout, this, &TOperator::Poll);
        m_timer.start(10);
    }
    QStringList seen; // message texts, "countdown", "password"
    QList<QStringList> conflictDialogs; // "address mac" rows of each
    QStringList searchRows; // "address mac" of the last search
    QString changeMac; // once: that row of the conflict dialog gets NewAddress
    QString addAddress;
    QString password;
    std::function<void()> eachLook;

private:
    void Poll()
    {
        if (eachLook)
            eachLook();
        QWidget* w = QApplication::activeModalWidget();
        if (!w || !w->isVisible() || w == m_last)
            return;
        m_last = w;
        if (auto* box = qobject_cast<QMessageBox*>(w)) {
            seen << box->text();
            if (box->icon() != QMessageBox::Critical) // errors are not part of the story
                m_shots.Take(QStringLiteral("message"), box);
            QAbstractButton* b = box->button(QMessageBox::Yes);
            (b ? b : box->buttons().first())->click();
        } else if (auto* search = qobject_cast<TfmSearch*>(w)) {
            connect(search, &QDialog::finished, this, [this, search] {
                m_shots.Take(QStringLiteral("search"), search);
                searchRows.clear();
                for (int r = 0; r < search->lvEnum->rowCount(); ++r)
                    searchRows << search->lvEnum->item(r, 2)->text() + QLatin1Char(' ')
                            + search->lvEnum->item(r, 3)->text();
            });
        } else if (auto* conflict = qobject_cast<TfmIPConflict*>(w)) {
            QStringList rows;
            for (int r = 0; r < conflict->xgIP->rowCount(); ++r)
                rows << conflict->xgIP->item(r, 2)->text() + QLatin1Char(' ') + conflict->xgIP->item(r, 3)->text();
            conflictDialogs << rows;
            const int row = rows.indexOf(QRegularExpression(QStringLiteral(".* ") + changeMac));
            if (changeMac.isEmpty() || row < 0) {
                conflict->btnCancel->click(); // "Ignore these devices"
                return;
            }
            changeMac.clear();
            QTimer::singleShot(200, conflict, [this, conflict, row] {
                conflict->xgIP->setCurrentCell(row, 2);
                TIPSetEditor* editor = nullptr;
                for (TIPSetEditor* e : conflict->xgIP->findChildren<TIPSetEditor*>())
                    if (e->isVisible()
                        && e->geometry().intersects(conflict->xgIP->visualItemRect(conflict->xgIP->item(row, 2))))
                        editor = e;
                if (!editor) {
                    seen << QStringLiteral("no editor");
                    conflict->btnCancel->click();
                    return;
                }
                editor->etAddress->setText(NewAddress);
                m_shots.Take(QStringLiteral("conflict"), conflict);
                editor->btnSet->click(); // the question and the countdown are answered meanwhile
                conflict->btnOK->click(); // "Re-Search"
            });
        } else if (auto* add = qobject_cast<TfmModAdd*>(w)) {
            add->cbINT->setCurrentIndex(0);
            add->cbIP->setText(addAddress);
            m_shots.Take(QStringLiteral("add"), add);
            add->btnOK->click();
        } else if (auto* pwd = qobject_cast<TfmPwd*>(w)) {
            seen << QStringLiteral("password");
            QTest::keyClicks(pwd->etPassword, password);
            m_shots.Take(QStringLiteral("password"), pwd);
            pwd->btnOK->click();
        } else if (auto* wait = qobject_cast<TfmWait*>(w)) {
            seen << QStringLiteral("countdown");
            QTimer::singleShot(1500, wait, [this, wait] { m_shots.Take(QStringLiteral("countdown"), wait); });
        }
    }
    TShots& m_shots;
    QTimer m_timer;
    QPointer<QWidget> m_last;
};

QStringList ModuleAddresses(TfmMain* w)
{
    QStringList out;
    for (TIOObject* o : *w->Product->Modules())
        out << static_cast<TIOMod*>(o)->Address;
    out.sort();
    return out;
}

TIOMod* Module(TfmMain* w, const QString& address)
{
    for (TIOObject* o : *w->Product->Modules())
        if (static_cast<TIOMod*>(o)->Address == address)
            return static_cast<TIOMod*>(o);
    return nullptr;
}

QString Dashed(const QString& colonMac)
{
    QString m = colonMac.toLower();
    return m.replace(QLatin1Char('-'), QLatin1Char(':'));
}

} // namespace

class TestOperatorStory : public QObject {
    Q_OBJECT
private:
    QTemporaryDir m_temp;
    std::unique_ptr<TLabDevices> m_devices;
    QProcess m_alarmkeeper;
    TRsyslogCollector m_collector; // the site's central log
    QString m_logDir;
    TShots m_shots;

    // The lines of Alarmkeeper's file of the day: event and source name.
    QStringList LoggedAlarms() const
    {
        QFile f(m_logDir + QStringLiteral("/akEvent_") + QDate::currentDate().toString(QStringLiteral("yyMMdd"))
            + QStringLiteral(".log"));
        if (!f.open(QIODevice::ReadOnly))
            return {};
        QStringList out;
        for (const QByteArray& line : f.readAll().split('\n')) {
            const QList<QByteArray> fields = line.trimmed().split(',');
            if (fields.size() >= 5)
                out << QString::fromLatin1(fields[1] + ' ' + fields[3]).remove(QLatin1Char('"'));
        }
        return out;
    }
    bool WaitLogged(const QString& entry, int count)
    {
        QElapsedTimer t;
        t.start();
        while (LoggedAlarms().count(entry) < count && t.elapsed() < AlarmLimitMs)
            QTest::qWait(100);
        return LoggedAlarms().count(entry) >= count;
    }

private slots:
    void initTestCase()
    {
        if (!InPrivateNetns())
            QSKIP("no lab here (needs root)");
        QVERIFY(m_temp.isValid());
        // Alarmkeeper runs as an operator (twl-op-test, as scripts/setup-operator.sh
        // makes one), from a copy of its folder every user can reach; its
        // settings file and log folder are the operator's.
        if (const std::string why = Operators().Make(); !why.empty())
            QSKIP(why.c_str());
        const QString shared = QString::fromStdString(Operators().directory);
        const QString bin = qEnvironmentVariable("TWL_BIN_DIR");
        QCOMPARE(Run(QStringLiteral("install -d -m 0755 %1/bin %1/log && cp -a %2/Alarmkeeper %2/image %2/help %1/bin/ "
                                    "&& chmod -R a+rX %1/bin")
                         .arg(shared, bin)
                         .toStdString()),
            0);
        const QString ini = shared + QStringLiteral("/machine.ini");
        qputenv("KORVEL_MACHINE_SETTINGS", ini.toLocal8Bit());
        qputenv("XDG_RUNTIME_DIR", m_temp.path().toLocal8Bit());
        qputenv("TWL_ROUTE_HELPER", (bin + QStringLiteral("/twl-route-helper")).toLocal8Bit());
        m_logDir = shared + QStringLiteral("/log");
        const QString logger = SettingsKey(QString::fromLatin1(kLoggerBaseKey));
        WriteRegInteger(logger, QStringLiteral("Port"), AlarmPort);
        WriteRegString(logger, QStringLiteral("LogPath"), m_logDir);
        // Every alarm Alarmkeeper accepts also goes to the site's central log.
        QVERIFY2(TRsyslogCollector::Available(), "rsyslogd is not installed");
        QVERIFY2(m_collector.Start(), "rsyslogd did not start");
        WriteRegString(logger, QStringLiteral("SyslogHost"), QStringLiteral("127.0.0.1"));
        WriteRegInteger(logger, QStringLiteral("SyslogPort"), TRsyslogCollector::kTcpPort);
        WriteRegInteger(logger, QStringLiteral("SyslogProtocol"), 0);
        const TUser op = Operators().operatorUser;
        QVERIFY(::chown(ini.toLocal8Bit().constData(), op.uid, op.gid) == 0);
        QVERIFY(::chown(m_logDir.toLocal8Bit().constData(), op.uid, op.gid) == 0);
        QCOMPARE(BindDevscan(bin), dbOk);
        InstallQ6120Factory();
        QVERIFY2(TestLab()->Connect(TestHostNamespace(), "eth0", {}, { "10.77.0.1/24" }), TestLab()->Error().c_str());

        // Alarmkeeper first, in this namespace, so that no cold start is missed.
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), QString::fromStdString(op.runtime));
        m_alarmkeeper.setProcessEnvironment(env);
        m_alarmkeeper.setProcessChannelMode(QProcess::ForwardedChannels);
        m_alarmkeeper.setChildProcessModifier([] {
            if (!Operators().Become(Operators().operatorUser, true))
                ::_exit(126);
        });
        m_alarmkeeper.start(shared + QStringLiteral("/bin/Alarmkeeper"), {});
        QVERIFY(m_alarmkeeper.waitForStarted(10000));
        QElapsedTimer t;
        t.start();
        bool listening = false;
        while (!listening && t.elapsed() < LoadLimitMs) {
            QTcpSocket s;
            s.connectToHost(QStringLiteral("10.77.0.1"), AlarmPort);
            listening = s.waitForConnected(500);
            if (!listening)
                QTest::qWait(100);
        }
        QVERIFY2(listening, "Alarmkeeper does not listen");
        QVERIFY(QString::fromStdString(Output("cat /proc/" + std::to_string(m_alarmkeeper.processId()) + "/status"))
                    .contains(QStringLiteral("Uid:\t%1\t").arg(op.uid)));

        // One server of each kind; all send their alarms to the host.
        m_devices = std::make_unique<TLabDevices>(*TestLab());
        const QStringList alarms { QStringLiteral("--alarm-host"), QStringLiteral("10.77.0.1"),
            QStringLiteral("--commit-delay"), QStringLiteral("20") };
        // Each cold start the host can answer is in before the next server
        // comes: the second of the pair takes the shared address over in
        // the host's neighbour table, which would cut the first one's alarm.
        QVERIFY(m_devices->AddSim(1, SameAddress + QStringLiteral("/24"), SameAddress, false, alarms));
        QVERIFY(WaitLogged(QStringLiteral("Cold Start d1"), 1));
        QVERIFY(m_devices->AddSim(2, ForeignAddress + QStringLiteral("/24"), ForeignAddress, true,
            alarms + QStringList { QStringLiteral("--password"), DevicePassword }));
        QVERIFY(m_devices->AddSim(3, QString(), QStringLiteral("0.0.0.0"), false, alarms));
        QVERIFY(m_devices->AddSim(4, SharedAddress + QStringLiteral("/24"), SharedAddress, false, alarms));
        QVERIFY(WaitLogged(QStringLiteral("Cold Start d4"), 1));
        QVERIFY(m_devices->AddSim(5, SharedAddress + QStringLiteral("/24"), SharedAddress, false, alarms));
        QVERIFY(WaitLogged(QStringLiteral("Cold Start d5"), 1));
    }

    void cleanupTestCase()
    {
        if (m_alarmkeeper.state() != QProcess::NotRunning) {
            m_alarmkeeper.terminate();
            if (!m_alarmkeeper.waitForFinished(10000))
                m_alarmkeeper.kill();
        }
        m_devices.reset();
        Operators().Remove();
    }

    void story()
    {
        const std::string host = TestHostNamespace();
        const QString before = Tables(host);

        TOperator op(m_shots);
        op.changeMac = MacOf(4);
        auto w = std::make_unique<TfmMain>();
        w->resize(1000, 700);
        w->show();
        QVERIFY(QTest::qWaitForWindowExposed(w.get()));

        // 1. First start: the search lists every server, the pair goes to the
        // conflict dialog; one of it gets a new address and "Re-Search" finds all.
        op.seen.clear(); // a banner picture missing beside the test program is not the story
        w->Timer1Timer();
        QVERIFY(w->Ready);
        QVERIFY2(op.conflictDialogs.size() >= 1, qPrintable(op.seen.join(QLatin1Char('|'))));
        const QStringList& first = op.conflictDialogs.first();
        QVERIFY2(first.contains(SharedAddress + QLatin1Char(' ') + MacOf(4))
                && first.contains(SharedAddress + QLatin1Char(' ') + MacOf(5)),
            qPrintable(first.join(QLatin1Char('|'))));
        QVERIFY2(op.seen.contains(QStringLiteral("Change IP address from %1 to %2 ?").arg(SharedAddress, NewAddress)),
            qPrintable(op.seen.join(QLatin1Char('|'))));
        QCOMPARE(op.searchRows.size(), 5);
        QVERIFY(!op.searchRows.join(QLatin1Char('|')).contains(SharedAddress + QLatin1Char(' ') + MacOf(4)));
        QVERIFY(op.searchRows.contains(NewAddress + QLatin1Char(' ') + MacOf(4)));
        QCOMPARE(ModuleAddresses(w.get()),
            (QStringList {
                SameAddress, SharedAddress, NewAddress, ForeignAddress, QStringLiteral("192.168.127.254") }));
        for (const auto& [k, address] : { std::pair { 1, SameAddress }, { 2, ForeignAddress },
                 { 3, QStringLiteral("192.168.127.254") }, { 4, NewAddress }, { 5, SharedAddress } }) {
            const QString route
                = Sh(QStringLiteral("ip -n %1 route show %2").arg(QString::fromStdString(host), address));
            QVERIFY2(route.contains(QStringLiteral("dev eth0")), qPrintable(address + QLatin1Char(':') + route));
            QCOMPARE(
                Sh(QStringLiteral("ip -n %1 neigh show %2 nud permanent").arg(QString::fromStdString(host), address))
                    .trimmed(),
                QStringLiteral("%1 dev eth0 lladdr %2 PERMANENT").arg(address, Dashed(MacOf(k))));
        }
        m_shots.Take(QStringLiteral("tree"), w.get());

        // 2. A server's web console, from the simulator, and its pop-up.
        TIOMod* same = Module(w.get(), SameAddress);
        QVERIFY(same);
        w->SelectObjectNode(same);
        auto* page = qobject_cast<TfmQ6120*>(same->Page.data());
        QVERIFY(page && page->WebBrowser);
        QTRY_VERIFY_WITH_TIMEOUT(page->WebBrowser->title().contains(QStringLiteral("d1")), LoadLimitMs);
        QCOMPARE(page->WebBrowser->url().host(), SameAddress);
        QList<QPointer<QWidget>> popups;
        connect(page, &TfmQ6120::PopupCreated, this, [&](QWidget* p) { popups << p; });
        page->WebBrowser->page()->runJavaScript(QStringLiteral("document.getElementById('popupLink').click();"));
        QTRY_COMPARE_WITH_TIMEOUT(popups.size(), 1, LoadLimitMs);
        auto* popup = qobject_cast<TfmWebNew*>(popups.first().data());
        QVERIFY(popup);
        QTRY_COMPARE_WITH_TIMEOUT(popup->windowTitle(), QStringLiteral("Q6120 Settings"), LoadLimitMs);
        QVERIFY(popup->isVisible());
        m_shots.Settle();
        m_shots.Take(QStringLiteral("console"), w.get());
        m_shots.Take(QStringLiteral("popup"), popup);
        popup->CppWebBrowser1->page()->runJavaScript(QStringLiteral("document.getElementById('closeLink').click();"));
        QTRY_VERIFY_WITH_TIMEOUT(popups.first().isNull() || !popups.first()->isVisible(), LoadLimitMs);

        // 3. "Restart System": the countdown, the message, and Alarmkeeper
        // logs the server's warm start.
        op.seen.clear();
        w->SelectObjectNode(same);
        w->tvXRTMouseDown(Qt::RightButton, w->tvXRT->visualItemRect(w->tvXRT->currentItem()).center());
        QVERIFY(w->muRemoteERestartModule->isEnabled());
        w->muRemoteERestartModule->trigger();
        QVERIFY2(op.seen.contains(QStringLiteral("countdown")), qPrintable(op.seen.join(QLatin1Char('|'))));
        QCOMPARE(op.seen.last(), QStringLiteral("I/O server restarted successfully..."));
        QVERIFY(m_devices->WaitUp(m_devices->Device(1)));
        QVERIFY(WaitLogged(QStringLiteral("Warm Start d1"), 1));
        m_shots.TakeScreen(QStringLiteral("alarmkeeper"), w.get());

        // 4. Firmware update of the password-protected server with a package
        // made by skptool: prompt, both progress bars, success, console again.
        const QString data = m_temp.filePath(QStringLiteral("app.bin"));
        {
            QFile f(data);
            QVERIFY(f.open(QIODevice::WriteOnly));
            QByteArray bytes(40000, '\0');
            for (int i = 0; i < bytes.size(); ++i)
                bytes[i] = char(i * 31 + (i >> 8));
            f.write(bytes);
        }
        const QString package = m_temp.filePath(QStringLiteral("update.skp"));
        QCOMPARE(QProcess::execute(qEnvironmentVariable("TWL_BIN_DIR") + QStringLiteral("/skptool"),
                     { QStringLiteral("build"), package, QStringLiteral("0:") + data, QStringLiteral("3:") + data }),
            0);
        TIOMod* foreign = Module(w.get(), ForeignAddress);
        QVERIFY(foreign);
        w->SelectObjectNode(foreign);
        auto* fwPage = qobject_cast<TfmQ6120*>(foreign->Page.data());
        QVERIFY(fwPage);
        fwPage->PageControl1->setCurrentWidget(fwPage->TabFirmware);
        fwPage->etPath->setText(package);
        bool stepBar = false, totalBar = false;
        int shotsDuring = 0;
        op.password = DevicePassword;
        op.seen.clear();
        op.eachLook = [&] {
            if (!fwPage->UpdateRunning())
                return;
            stepBar = stepBar || fwPage->ProgressBar1->isVisible();
            totalBar = totalBar || fwPage->ProgressBar2->isVisible();
            if (stepBar && totalBar && fwPage->ProgressBar1->value() > 0 && shotsDuring++ == 0)
                m_shots.Take(QStringLiteral("firmware"), w.get());
        };
        fwPage->btnGo->click();
        op.eachLook = nullptr;
        QCOMPARE(op.seen,
            (QStringList { QStringLiteral("password"), QStringLiteral("countdown"),
                QStringLiteral("Firmware update successfully...") }));
        QVERIFY(stepBar && totalBar);
        QCOMPARE(fwPage->PageControl1->currentWidget(), fwPage->TabWeb);
        QTRY_VERIFY_WITH_TIMEOUT(fwPage->WebBrowser->title().contains(QStringLiteral("d2")), LoadLimitMs);
        QVERIFY(m_devices->WaitUp(m_devices->Device(2)));
        QVERIFY(
            m_devices->Control(m_devices->Device(2), QStringLiteral("status")).contains(QStringLiteral(" records=2 ")));

        // 5. "Delete Module", then "Add Twinlane Server" for its address.
        const int modules = w->Product->Modules()->size();
        w->SelectObjectNode(foreign);
        w->muDelModuleClick();
        QCOMPARE(w->Product->Modules()->size(), modules - 1);
        QVERIFY(!Module(w.get(), ForeignAddress));
        op.addAddress = ForeignAddress;
        w->SelectObjectNode(w->Product);
        w->muAddModuleClick();
        QCOMPARE(w->Product->Modules()->size(), modules);
        QVERIFY(Module(w.get(), ForeignAddress));
        QCOMPARE(static_cast<TIOMod*>(NodeObject(w->tvXRT->currentItem()))->Address, ForeignAddress);
        m_shots.Take(QStringLiteral("added"), w.get());

        // 6. Exit (confirmed): the tables as before; Alarmkeeper's file of the
        // day holds exactly what the servers delivered.
        op.seen.clear();
        QVERIFY(w->close());
        QCOMPARE(op.seen, QStringList { QStringLiteral("Exit TwinlaneAdmin, Are you sure?") });
        w.reset();
        const QString after = Tables(host);
        QVERIFY2(after == before, qPrintable(QStringLiteral("before:\n%1\nafter:\n%2").arg(before, after)));
        QMap<QString, int> sent;
        int total = 0;
        for (const TLabDevice& d : m_devices->devices) {
            QVERIFY(m_devices->WaitUp(d));
            const int delivered = m_devices->Status(d, QStringLiteral("alarms")).toInt();
            if (delivered > 0)
                sent[d.name] = delivered;
            total += delivered;
        }
        QTRY_COMPARE_WITH_TIMEOUT(LoggedAlarms().size(), total, AlarmLimitMs);
        QMap<QString, int> logged;
        for (const QString& entry : LoggedAlarms())
            ++logged[entry.section(QLatin1Char(' '), -1)];
        QCOMPARE(logged, sent);
        QCOMPARE(LoggedAlarms().count(QStringLiteral("Warm Start d1")), 1);
        QCOMPARE(LoggedAlarms().count(QStringLiteral("Cold Start d1")), 1);
        // The central log got the same alarms, from the same servers.
        QTRY_COMPARE_WITH_TIMEOUT(m_collector.LineCount(), total, AlarmLimitMs);
        QMap<QString, int> forwarded;
        for (const QByteArray& line : m_collector.Lines()) {
            const int at = line.indexOf("source=\"");
            if (at >= 0)
                ++forwarded[QString::fromLatin1(line.mid(at + 8, line.indexOf('"', at + 8) - at - 8))];
        }
        QCOMPARE(forwarded, sent);
    }
};

int main(int argc, char** argv)
{
    InPrivateNetns() = EnterLabHost();
    // Must come before the application object: the web engine reads it then.
    PrepareWebEngine();
    int result = 0;
    {
        QApplication app(argc, argv);
        TestOperatorStory tc;
        QTEST_SET_MAIN_SOURCE_PATH
        result = twltest::QtExec(&tc, argc, argv);
    }
    TestLab().reset();
    return result;
}
#include "tst_operatorStory.moc"
