// The whole scan of the main window in a lab: the process lives in the
// lab's host namespace; simulated servers of every kind sit on the lab
// bridge; the real devscan library searches. Routes and neighbour entries
// are checked in the namespace's kernel tables.
#include "admin/comm/ioGlobals.h"
#include "admin/discovery/Iphelp.h"
#include "admin/discovery/devscanBinding.h"
#include "admin/discovery/frmIPConflict.h"
#include "admin/discovery/frmModAdd.h"
#include "admin/discovery/frmSearch.h"
#include "admin/discovery/ipSetEditor.h"
#include "admin/discovery/tests/labDevices.h"
#include "admin/model/frmWait.h"
#include "admin/model/ioAppGlobals.h"
#include "admin/model/ioProduct.h"
#include "admin/model/ioTreeNode.h"
#include "admin/model/modQ6120.h"
#include "admin/model/pdTwinlane.h"
#include "admin/shell/frmMain.h"
#include "admin/shell/shellStartup.h"
#include "admin/shell/tests/shellTestSupport.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QRegularExpression>
#include <QTableWidget>
#include <QTcpSocket>
#include <QTest>
#include <QToolButton>
#include <QTreeWidget>

#include <sys/mount.h>

namespace {
QString& PrivateHostsFile()
{
    static QString path;
    return path;
}

// A mount namespace of the process's own in which /etc/hosts is a file the
// test writes. Single-threaded callers only.
QString MountPrivateHostsFile()
{
    if (::unshare(CLONE_NEWNS) != 0 || ::mount(nullptr, "/", nullptr, MS_REC | MS_SLAVE, nullptr) != 0)
        return {};
    char path[] = "/tmp/twl-hosts-XXXXXX";
    const int fd = ::mkstemp(path);
    if (fd < 0)
        return {};
    const char text[] = "127.0.0.1 localhost\n";
    const bool written = ::write(fd, text, sizeof text - 1) == ssize_t(sizeof text - 1);
    ::close(fd);
    if (!written || ::mount(path, "/etc/hosts", nullptr, MS_BIND, nullptr) != 0) {
        ::unlink(path);
        return {};
    }
    return QString::fromLocal8Bit(path);
}

QStringList ChildTexts(const QTreeWidgetItem* node)
{
    QStringList out;
    for (int i = 0; node && i < node->childCount(); ++i)
        out << node->child(i)->text(0);
    return out;
}

bool Reachable(const QString& address, quint16 port)
{
    QTcpSocket s;
    s.connectToHost(address, port);
    return s.waitForConnected(10000);
}

// Plays the operator through the dialogs of a scan and of the add command.
class TOperator : public QObject {
public:
    TOperator()
    {
        connect(&m_timer, &QTimer::timeout, this, &TOperator::Poll);
        m_timer.start(10);
    }
    QStringList messages;
    // What the search dialog showed when it closed: "# address mac" rows,
    // and the list it filled, "address mac conflict", at the same moment.
    QStringList searchRows, searchList;
    QStringList conflictRows; // "address mac"
    std::function<void()> duringSearch;
    QString addAddress; // typed into the add dialog
    // Once: the conflict row of this MAC gets newAddress, then "Re-Search".
    QString changeMac, newAddress;
    int conflictDialogs = 0;
    // The restart countdown runs its eight seconds instead of being cut short.
    bool fullCountdown = false;
    int addInterface = 0;

private:
    void Poll()
    {
        QWidget* w = QApplication::activeModalWidget();
        if (!w || !w->isVisible() || w == m_last)
            return;
        m_last = w;
        if (auto* box = qobject_cast<QMessageBox*>(w)) {
            messages << box->text();
            QAbstractButton* b = box->button(QMessageBox::Yes);
            (b ? b : box->buttons().first())->click();
        } else if (auto* search = qobject_cast<TfmSearch*>(w)) {
            if (duringSearch)
                duringSearch();
            connect(search, &QDialog::finished, this, [this, search] {
                searchRows.clear();
                searchList.clear();
                for (int r = 0; r < search->lvEnum->rowCount(); ++r)
                    searchRows << QStringLiteral("%1 %2 %3")
                                      .arg(search->lvEnum->item(r, 0)->text(), search->lvEnum->item(r, 2)->text(),
                                          search->lvEnum->item(r, 3)->text());
                for (const IONODE* n : *search->ResultList)
                    searchList << QStringLiteral("%1 %2 %3").arg(n->Address, n->MacAddress).arg(int(n->Conflict));
            });
        } else if (auto* conflict = qobject_cast<TfmIPConflict*>(w)) {
            // The same dialog comes back on top after its question and
            // countdown close: that is no new dialog.
            if (conflict->property("twlSeen").toBool())
                return;
            conflict->setProperty("twlSeen", true);
            ++conflictDialogs;
            conflictRows.clear();
            for (int r = 0; r < conflict->xgIP->rowCount(); ++r)
                conflictRows << conflict->xgIP->item(r, 2)->text() + QLatin1Char(' ')
                        + conflict->xgIP->item(r, 3)->text();
            const int row = conflictRows.indexOf(QRegularExpression(QStringLiteral(".* ") + changeMac));
            if (!changeMac.isEmpty() && row >= 0) {
                changeMac.clear();
                // Once the dialog has settled, as an operator would.
                QTimer::singleShot(200, conflict, [this, conflict, row] {
                    conflict->xgIP->setCurrentCell(row, 2);
                    // The open editor; one closed a moment ago may still exist.
                    TIPSetEditor* editor = nullptr;
                    for (TIPSetEditor* e : conflict->xgIP->findChildren<TIPSetEditor*>())
                        if (e->isVisible()
                            && e->geometry().intersects(conflict->xgIP->visualItemRect(conflict->xgIP->item(row, 2))))
                            editor = e;
                    if (!editor) {
                        messages << QStringLiteral("no editor");
                        conflict->btnCancel->click();
                        return;
                    }
                    editor->etAddress->setText(newAddress);
                    editor->btnSet->click(); // the question and the countdown are answered meanwhile
                    conflict->btnOK->click(); // "Re-Search"
                });
                return;
            }
            conflict->btnCancel->click(); // "Ignore these devices"
        } else if (auto* add = qobject_cast<TfmModAdd*>(w)) {
            add->cbINT->setCurrentIndex(addInterface);
            add->cbIP->setText(addAddress);
            add->btnOK->click();
        } else if (auto* wait = qobject_cast<TfmWait*>(w)) {
            if (!fullCountdown)
                wait->accept();
        }
    }
    QTimer m_timer;
    QPointer<QWidget> m_last;
};
} // namespace

class TestScanLab : public QObject {
    Q_OBJECT
private:
    QTemporaryDir m_temp;
    std::unique_ptr<TLabDevices> m_devices;

private slots:
    void initTestCase()
    {
        QVERIFY(m_temp.isValid());
        qputenv("KORVEL_MACHINE_SETTINGS", m_temp.filePath(QStringLiteral("machine.ini")).toLocal8Bit());
        qputenv("XDG_RUNTIME_DIR", m_temp.path().toLocal8Bit());
        // The module class of the program, with a plain page (no browser).
        TTwinlane::SetModuleFactory([](QWidget* host, TIOObject* product, int modelIndex) -> TIOMod* {
            auto* m = new TModQ6120(modelIndex);
            m->Attach(new QLabel(QStringLiteral("device page")), host, product);
            return m;
        });
        if (!InPrivateNetns())
            return;
        QCOMPARE(BindDevscan(qEnvironmentVariable("TWL_BIN_DIR")), dbOk);
        m_devices = std::make_unique<TLabDevices>(*TestLab());
        QVERIFY2(TestLab()->Connect(TestHostNamespace(), "eth0", {}, { "10.77.0.1/24" }), TestLab()->Error().c_str());
        // A second host link with a server of its own behind it.
        QVERIFY(
            m_devices->AddSimOnOwnLink(9, TestHostNamespace(), "eth1", "10.66.0.1/24", "10.66.0.5/24", "10.66.0.5"));
        QVERIFY(m_devices->AddSim(1, "10.77.0.11/24", "10.77.0.11"));
        QVERIFY(m_devices->AddSim(2, "10.88.0.12/24", "10.88.0.12", true));
        QVERIFY(m_devices->AddSim(3, "", "0.0.0.0"));
        QVERIFY(m_devices->AddSim(8, "", "0.0.0.0"));
        QVERIFY(m_devices->AddSim(4, "10.77.0.200/24", "10.77.0.200"));
        QVERIFY(m_devices->AddSim(5, "10.77.0.200/24", "10.77.0.200"));
        QVERIFY(m_devices->AddFake(6, "10.77.0.60", 0x80001234u, 0x1234));
    }

    void cleanupTestCase()
    {
        TTwinlane::SetModuleFactory({});
        m_devices.reset();
    }

    // Started without the discovery library (none beside this test program,
    // none on the library path): told, with the library's name and the
    // loader's reason, and the start does not go on.
    void startWithoutDiscoveryLibrary()
    {
        TModalAnswerer answerer;
        QVERIFY(!BindDiscoveryLibrary());
        QCOMPARE(answerer.texts.size(), 1);
        QVERIFY2(answerer.texts.first().contains(QStringLiteral("libdevscan.so"))
                && answerer.texts.first().contains(QStringLiteral("cannot open shared object file")),
            qPrintable(answerer.texts.first()));
        QCOMPARE(answerer.icons.first(), QMessageBox::Critical);
        QVERIFY(!DevscanBound());
        QVERIFY(ExitNoDiscoveryLibrary != 0);
        if (InPrivateNetns())
            QCOMPARE(BindDevscan(qEnvironmentVariable("TWL_BIN_DIR")), dbOk);
    }

    // The tree's order is fixed, whatever the machine's locale (this test
    // runs under LC_ALL=C, where the user's collation is code-point order).
    void treeOrderUnderCLocale()
    {
        QCOMPARE(QLocale::system().name(), QStringLiteral("C"));
        QTreeWidget tree;
        QTreeWidgetItem* root = AddChildNode(&tree, nullptr, QStringLiteral("Host"));
        for (const char* t : { "Zeta", "b", "B", "a", "A", "192.168.1.2", "10.0.0.9", "192.168.1.10" })
            AddChildNode(&tree, root, QString::fromLatin1(t));
        SortTreeByText(&tree);
        QCOMPARE(
            ChildTexts(root), (QStringList { "10.0.0.9", "192.168.1.10", "192.168.1.2", "a", "A", "b", "B", "Zeta" }));
        TSortedTextList groups;
        for (const char* t : { "Zeta", "alpha", "Alpha", "beta" })
            groups.Add(QString::fromLatin1(t));
        QCOMPARE(groups.items, (QStringList { "alpha", "beta", "Zeta" }));
    }

    void scanInTheLab()
    {
        if (!InPrivateNetns())
            QSKIP("no lab here (needs root)");
        const std::string host = TestHostNamespace();
        const QString before = Tables(host);
        TOperator op;
        auto w = std::make_unique<TfmMain>();
        bool commandsOffDuringSearch = false;
        op.duringSearch = [&] {
            commandsOffDuringSearch = !w->Ready && !w->btnAutoSearch->isEnabled() && !w->muDelModule->isEnabled();
        };
        // No banner picture beside the test program: its error box is not
        // what this test is about.
        op.messages.clear();
        w->show();
        QVERIFY(QTest::qWaitForWindowExposed(w.get()));
        w->Timer1Timer();
        QVERIFY(w->Ready);
        QVERIFY(commandsOffDuringSearch);

        // The search listed the seven Q6120s, numbered in the order of its list.
        QCOMPARE(op.searchRows.size(), 7);
        QCOMPARE(op.searchList.size(), 7);
        for (int i = 0; i < 7; ++i) {
            const QStringList row = op.searchRows.at(i).split(QLatin1Char(' '));
            QCOMPARE(row.at(0), QString::number(i + 1));
            QVERIFY(op.searchList.at(i).startsWith(row.at(1) + QLatin1Char(' ') + row.at(2)));
        }
        QVERIFY(!op.searchRows.join(QLatin1Char(' ')).contains(MacOf(6))); // the other kind
        // The pair and the unconfigured ones went to the conflict dialog.
        QStringList conflicting = op.conflictRows;
        conflicting.sort();
        QCOMPARE(conflicting,
            (QStringList { "10.77.0.200 " + MacOf(4), "10.77.0.200 " + MacOf(5), "192.168.127.254 " + MacOf(3),
                "192.168.127.254 " + MacOf(8) }));
        QVERIFY2(op.messages.isEmpty(), qPrintable(op.messages.join(QLatin1Char('|'))));

        // Modules for the rest, each with a host route and a neighbour entry
        // for its MAC on the interface it answered on; consoles reachable.
        QStringList modules;
        for (TIOObject* o : *w->Product->Modules())
            modules << static_cast<TIOMod*>(o)->Address;
        modules.sort();
        QCOMPARE(modules, (QStringList { "10.66.0.5", "10.77.0.11", "10.88.0.12" }));
        for (const auto& [k, link] : { std::pair { 1, "eth0" }, { 2, "eth0" }, { 9, "eth1" } }) {
            const TLabDevice& d = m_devices->Device(k);
            const QString dev = QStringLiteral("dev ") + QLatin1String(link);
            const QString route
                = Sh(QStringLiteral("ip -n %1 route show %2").arg(QString::fromStdString(host), d.address));
            QVERIFY2(route.contains(dev) && route.contains(QStringLiteral("scope link")), qPrintable(route));
            QString mac = d.mac.toLower();
            mac.replace(QLatin1Char('-'), QLatin1Char(':'));
            QCOMPARE(
                Sh(QStringLiteral("ip -n %1 neigh show %2 nud permanent").arg(QString::fromStdString(host), d.address))
                    .trimmed(),
                QStringLiteral("%1 %2 lladdr %3 PERMANENT").arg(d.address, dev, mac));
            QVERIFY2(Reachable(d.address, 80), qPrintable(d.address));
        }
        const QString tables = Tables(host);
        QVERIFY(!tables.contains(QStringLiteral("10.77.0.200")));
        QVERIFY(!tables.contains(QStringLiteral("192.168.127.254")));

        // The tree in both groupings.
        QTreeWidgetItem* product = w->tvXRT->topLevelItem(0)->child(0);
        QCOMPARE(w->tvXRT->topLevelItem(0)->text(0), QStringLiteral("Host : [10.77.0.1]/[10.66.0.1]"));
        QCOMPARE(ChildTexts(product), (QStringList { "10.66.0.5", "10.77.0.11", "10.88.0.12" }));
        w->BuildServerTree(smByServer);
        product = w->tvXRT->topLevelItem(0)->child(0);
        QCOMPARE(ChildTexts(product), QStringList { "Q6120" });
        QCOMPARE(ChildTexts(product->child(0)), (QStringList { "10.66.0.5", "10.77.0.11", "10.88.0.12" }));
        w->BuildServerTree(smByConnection);

        // A module busy with a request offers no second command.
        TIOMod* busy = nullptr;
        for (TIOObject* o : *w->Product->Modules())
            if (static_cast<TIOMod*>(o)->Address == QLatin1String("10.77.0.11"))
                busy = static_cast<TIOMod*>(o);
        QVERIFY(busy);
        QCOMPARE(busy->Address, QStringLiteral("10.77.0.11"));
        QCOMPARE(m_devices->Control(m_devices->Device(1), QStringLiteral("fault delay 2500 count 1")).left(2), "ok");
        connect(w.get(), &TfmMain::menuPopupEvent, this, [](QMenu* m) { QTimer::singleShot(0, m, &QMenu::hide); });
        auto rightClick = [&w](TIOObject* o) {
            w->SelectObjectNode(o);
            w->tvXRTMouseDown(Qt::RightButton, w->tvXRT->visualItemRect(w->tvXRT->currentItem()).center());
        };
        rightClick(busy);
        QVERIFY(w->muRemoteERestartModule->isEnabled());
        QList<bool> enabledMeanwhile;
        QTimer::singleShot(800, this, [&] {
            rightClick(busy);
            enabledMeanwhile << w->muRemoteERestartModule->isEnabled() << w->muRemoteEResetModule->isEnabled()
                             << w->muDelModule->isEnabled();
            w->muRemoteERestartModule->trigger(); // disabled: nothing happens
        });
        w->muRemoteERestartModule->trigger();
        QCOMPARE(enabledMeanwhile, (QList<bool> { false, false, false }));
        QCOMPARE(op.messages, QStringList { "I/O server restarted successfully..." });
        rightClick(busy);
        QVERIFY(w->muRemoteERestartModule->isEnabled());
        QVERIFY(w->muDelModule->isEnabled());
        QVERIFY(m_devices->WaitUp(m_devices->Device(1)));

        // Delete the foreign server: its route and neighbour entry go.
        const QString foreign = QStringLiteral("10.88.0.12");
        for (TIOObject* o : *w->Product->Modules())
            if (static_cast<TIOMod*>(o)->Address == foreign)
                w->SelectObjectNode(o);
        w->muDelModuleClick();
        QCOMPARE(w->Product->Modules()->size(), 2);
        QVERIFY(!Tables(host).contains(foreign));
        // And add it by hand: a host route without a neighbour entry, through
        // which the kernel finds it.
        op.addAddress = foreign;
        w->SelectObjectNode(w->Product);
        w->muAddModuleClick();
        QCOMPARE(w->Product->Modules()->size(), 3);
        QCOMPARE(NodeObject(w->tvXRT->currentItem())->Kind, okModule);
        QCOMPARE(static_cast<TIOMod*>(NodeObject(w->tvXRT->currentItem()))->Address, foreign);
        const QString route = Sh(QStringLiteral("ip -n %1 route show %2").arg(QString::fromStdString(host), foreign));
        QVERIFY2(route.contains(QStringLiteral("dev eth0")), qPrintable(route));
        QVERIFY(Sh(QStringLiteral("ip -n %1 neigh show %2 nud permanent").arg(QString::fromStdString(host), foreign))
                    .trimmed()
                    .isEmpty());
        QVERIFY(Reachable(foreign, 80));

        // Added by host name, the server is reached through that name.
        QVERIFY(!PrivateHostsFile().isEmpty());
        {
            QFile hosts(PrivateHostsFile());
            QVERIFY(hosts.open(QIODevice::Append));
            hosts.write("10.77.0.11 plc-one.lab\n");
        }
        op.addAddress = QStringLiteral("plc-one.lab");
        w->SelectObjectNode(w->Product);
        w->muAddModuleClick();
        auto* named = static_cast<TIOMod*>(NodeObject(w->tvXRT->currentItem()));
        QCOMPARE(named->Address, QStringLiteral("plc-one.lab"));
        QCOMPARE(named->TypeCode, 17);
        op.messages.clear();
        rightClick(named);
        const int framesBefore = m_devices->Device(1).Frames().size();
        w->muRemoteERestartModule->trigger();
        QCOMPARE(op.messages, QStringList { "I/O server restarted successfully..." });
        QCOMPARE(m_devices->Device(1).Frames().size(), framesBefore + 1);
        QVERIFY(m_devices->Device(1).Frames().last().contains(QStringLiteral(" 08 00 01 FF 00")));
        QVERIFY(m_devices->WaitUp(m_devices->Device(1)));
        w->muDelModuleClick();
        QCOMPARE(w->Product->Modules()->size(), 3);

        // Added by address through the second interface: the route goes there.
        const QString behind = QStringLiteral("10.66.0.5");
        for (TIOObject* o : *w->Product->Modules())
            if (static_cast<TIOMod*>(o)->Address == behind)
                w->SelectObjectNode(o);
        w->muDelModuleClick();
        QVERIFY(!Tables(host).contains(behind));
        op.addAddress = behind;
        op.addInterface = 1;
        w->SelectObjectNode(w->Product);
        w->muAddModuleClick();
        QCOMPARE(w->Product->Modules()->size(), 3);
        const QString behindRoute
            = Sh(QStringLiteral("ip -n %1 route show %2").arg(QString::fromStdString(host), behind));
        QVERIFY2(behindRoute.contains(QStringLiteral("dev eth1")), qPrintable(behindRoute));
        QVERIFY(Reachable(behind, 80));

        // After exit the tables are as they were.
        op.messages.clear();
        QVERIFY(w->close());
        QCOMPARE(op.messages, QStringList { "Exit TwinlaneAdmin, Are you sure?" });
        w.reset();
        const QString after = Tables(host);
        QVERIFY2(after == before, qPrintable(QStringLiteral("before:\n%1\nafter:\n%2").arg(before, after)));
    }

    // The operator gives one of the pair a new address and searches again:
    // the pair are then both modules; the unconfigured two still conflict.
    void conflictResolvedInTheScan()
    {
        if (!InPrivateNetns())
            QSKIP("no lab here (needs root)");
        const std::string host = TestHostNamespace();
        const QString before = Tables(host);
        TOperator op;
        op.changeMac = MacOf(4);
        op.newAddress = QStringLiteral("10.77.0.210");
        // The new search must find the server back from its restart.
        op.fullCountdown = true;
        auto w = std::make_unique<TfmMain>();
        op.messages.clear();
        w->show();
        QVERIFY(QTest::qWaitForWindowExposed(w.get()));
        w->Timer1Timer();
        QCOMPARE(op.conflictDialogs, 2);
        QCOMPARE(op.messages, QStringList { "Change IP address from 10.77.0.200 to 10.77.0.210 ?" });
        QStringList conflicting = op.conflictRows; // of the second search
        conflicting.sort();
        QCOMPARE(conflicting, (QStringList { "192.168.127.254 " + MacOf(3), "192.168.127.254 " + MacOf(8) }));
        QStringList modules;
        for (TIOObject* o : *w->Product->Modules())
            modules << static_cast<TIOMod*>(o)->Address;
        modules.sort();
        QCOMPARE(modules, (QStringList { "10.66.0.5", "10.77.0.11", "10.77.0.200", "10.77.0.210", "10.88.0.12" }));
        QString mac4 = MacOf(4).toLower().replace(QLatin1Char('-'), QLatin1Char(':'));
        QCOMPARE(Sh(QStringLiteral("ip -n %1 neigh show 10.77.0.210 nud permanent").arg(QString::fromStdString(host)))
                     .trimmed(),
            QStringLiteral("10.77.0.210 dev eth0 lladdr %1 PERMANENT").arg(mac4));
        QVERIFY(Reachable(QStringLiteral("10.77.0.210"), 80));
        QVERIFY(Reachable(QStringLiteral("10.77.0.200"), 80));
        op.messages.clear();
        QVERIFY(w->close());
        w.reset();
        const QString after = Tables(host);
        QVERIFY2(after == before, qPrintable(QStringLiteral("before:\n%1\nafter:\n%2").arg(before, after)));
    }
};

int main(int argc, char** argv)
{
    InPrivateNetns() = EnterLabHost();
    // Host names resolve through a hosts file of the test's own, as
    // `ip netns exec` gives a program /etc/netns/<ns>/hosts.
    if (InPrivateNetns())
        PrivateHostsFile() = MountPrivateHostsFile();
    int result = 0;
    {
        QApplication app(argc, argv);
        TestScanLab tc;
        QTEST_SET_MAIN_SOURCE_PATH
        result = twltest::QtExec(&tc, argc, argv);
    }
    TestLab().reset();
    if (!PrivateHostsFile().isEmpty())
        QFile::remove(PrivateHostsFile());
    return result;
}
#include "tst_scanLab.moc"
