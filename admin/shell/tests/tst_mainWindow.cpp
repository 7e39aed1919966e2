// The main window on the offscreen platform, inside a lab namespace of the
// test's own: start-up values, layout, close query, the scan through
// its seams, the server tree, its pop-up menus and module commands.
#include "admin/comm/ioGlobals.h"
#include "admin/discovery/Iphelp.h"
#include "admin/model/frmTwinlane.h"
#include "admin/model/ioAppGlobals.h"
#include "admin/model/ioMod.h"
#include "admin/model/ioObject.h"
#include "admin/model/ioTreeNode.h"
#include "admin/model/pdTwinlane.h"
#include "admin/model/tests/testModules.h"
#include "admin/shell/frmAbout.h"
#include "admin/shell/frmMain.h"
#include "admin/shell/shellHelpers.h"
#include "admin/shell/tests/shellTestSupport.h"
#include "common/settingsStore.h"

#include <QAbstractItemModelTester>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QMenu>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QSplitter>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>
#include <QTreeWidget>

#include <memory>
#include <stdexcept>

namespace {
struct TRecordDef {
    QString address;
    bool conflict = false;
};

IONODE* MakeRecord(const TRecordDef& s)
{
    auto* r = new IONODE;
    r->Kind = 1;
    r->ModelIndex = 0;
    r->LocalAddress = QStringLiteral("10.1.2.3");
    r->Address = s.address;
    // No MAC text: the scan then adds no host route for the record.
    r->Conflict = s.conflict;
    return r;
}

QTreeWidgetItem* FindNode(QTreeWidget* tree, const QString& path)
{
    // "Host/Twinlane/10.0.0.1/Q6120" by texts; the root is matched by prefix.
    const QStringList parts = path.split(QLatin1Char('/'));
    QTreeWidgetItem* node = tree->topLevelItem(0);
    if (!node || !node->text(0).startsWith(parts.first()))
        return nullptr;
    for (int i = 1; i < parts.size() && node; ++i) {
        QTreeWidgetItem* next = nullptr;
        for (int c = 0; c < node->childCount() && !next; ++c)
            if (node->child(c)->text(0) == parts[i])
                next = node->child(c);
        node = next;
    }
    return node;
}
} // namespace
Q_DECLARE_METATYPE(QList<TTestModDef>)

class TestMainWindow : public QObject {
    Q_OBJECT
private:
    QTemporaryDir m_temp;
    std::unique_ptr<TTestModFactory> m_factory;

    QString AppImageDir() const { return QCoreApplication::applicationDirPath() + QStringLiteral("/image"); }

    // A window after its first start, with one test module per address.
    std::unique_ptr<TfmMain> StartedWindow(const QStringList& addresses, const QList<TTestModDef>& defs = {})
    {
        auto w = std::make_unique<TfmMain>();
        w->SetSearchRunner([addresses](QList<IONODE*>& records) {
            for (const QString& a : addresses)
                records << MakeRecord({ a });
        });
        m_factory->next = defs;
        w->show();
        if (!QTest::qWaitForWindowExposed(w.get()))
            return nullptr;
        w->Timer1Timer();
        return w;
    }

    static QString CurrentText(TfmMain* w)
    {
        return w->tvXRT->currentItem() ? w->tvXRT->currentItem()->text(0) : QString();
    }

    // The visible one among the pages in the page pane.
    static QWidget* PageInView(TfmMain* w)
    {
        QWidget* shown = nullptr;
        for (QWidget* p : w->nPanelParent->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly))
            if (p->isVisible()) {
                if (shown)
                    return nullptr; // two at once is wrong too
                shown = p;
            }
        return shown;
    }

private slots:
    void initTestCase()
    {
        if (!InPrivateNetns())
            QSKIP("cannot create a network namespace for the window (needs root or user namespaces)");
        QVERIFY(m_temp.isValid());
        qputenv("KORVEL_MACHINE_SETTINGS", m_temp.filePath(QStringLiteral("machine.ini")).toLocal8Bit());
        qputenv("XDG_RUNTIME_DIR", m_temp.path().toLocal8Bit());
        // The program's banner beside the test program, where AppDir points.
        QDir().mkpath(AppImageDir());
        QFile::remove(AppImageDir() + QStringLiteral("/bar.jpg"));
        QVERIFY(QFile::copy(qEnvironmentVariable("TWL_BIN_DIR") + QStringLiteral("/image/bar.jpg"),
            AppImageDir() + QStringLiteral("/bar.jpg")));
        m_factory = std::make_unique<TTestModFactory>();
    }

    void cleanupTestCase()
    {
        m_factory.reset();
        QDir(AppImageDir()).removeRecursively();
    }

    void pureElapsedText_data()
    {
        QTest::addColumn<qint64>("seconds");
        QTest::addColumn<QString>("text");
        QTest::newRow("start") << qint64(0) << "0:00:00:00";
        QTest::newRow("two minutes five") << qint64(125) << "0:00:02:05";
        QTest::newRow("day hour minute second") << qint64(86400 + 3600 + 60 + 1) << "1:01:01:01";
        QTest::newRow("26 hours") << qint64(26 * 3600) << "1:02:00:00";
        QTest::newRow("just under a day") << qint64(86399) << "0:23:59:59";
        QTest::newRow("ten days") << qint64(10 * 86400) << "10:00:00:00";
        QTest::newRow("clock set back") << qint64(-30) << "0:00:00:00";
    }
    void pureElapsedText()
    {
        QFETCH(qint64, seconds);
        QFETCH(QString, text);
        const QDateTime start(QDate(2026, 3, 28), QTime(23, 59, 30));
        QCOMPARE(ElapsedText(start, start.addSecs(seconds)), text);
    }

    void pureHostLabel_data()
    {
        QTest::addColumn<QList<tIPNODE>>("interfaces");
        QTest::addColumn<QString>("label");
        const tIPNODE lo { "127.0.0.1", "lo", 24, 5 };
        const tIPNODE a { "192.168.127.1", "eth0", 6, 5 };
        const tIPNODE b { "10.1.2.3", "eth1", 6, 5 };
        const tIPNODE down { "172.16.0.1", "eth2", 6, 2 };
        QTest::newRow("none") << QList<tIPNODE> {} << "Host";
        QTest::newRow("loopback only") << QList<tIPNODE> { lo } << "Host";
        QTest::newRow("down only") << QList<tIPNODE> { down } << "Host";
        QTest::newRow("one") << QList<tIPNODE> { lo, a } << "Host : [192.168.127.1]";
        QTest::newRow("two, in list order") << QList<tIPNODE> { a, down, lo, b } << "Host : [192.168.127.1]/[10.1.2.3]";
    }
    void pureHostLabel()
    {
        QFETCH(QList<tIPNODE>, interfaces);
        QFETCH(QString, label);
        QCOMPARE(HostLabel(interfaces), label);
    }

    void socketTimeoutSetting_data()
    {
        QTest::addColumn<QString>("kind"); // none, int, text, baseOnly
        QTest::addColumn<int>("timeout");
        QTest::newRow("no settings file") << "none" << 5000;
        QTest::newRow("value stored") << "int" << 1500;
        QTest::newRow("value of the other kind") << "text" << 5000;
        QTest::newRow("value under the base key only") << "baseOnly" << 5000;
    }
    void socketTimeoutSetting()
    {
        QFETCH(QString, kind);
        QFETCH(int, timeout);
        QTemporaryDir dir;
        const QString file = dir.filePath(QStringLiteral("machine.ini"));
        const QByteArray saved = qgetenv("KORVEL_MACHINE_SETTINGS");
        qputenv("KORVEL_MACHINE_SETTINGS", file.toLocal8Bit());
        const QString base = QString::fromLatin1(kAdminBaseKey);
        if (kind == QLatin1String("int"))
            WriteRegInteger(SettingsKey(base), QStringLiteral("Socket Timeout"), 1500);
        else if (kind == QLatin1String("text"))
            WriteRegString(SettingsKey(base), QStringLiteral("Socket Timeout"), QStringLiteral("fast"));
        else if (kind == QLatin1String("baseOnly"))
            WriteRegInteger(base, QStringLiteral("Socket Timeout"), 1500);
        SocketTimeout = -1;
        {
            TfmMain w;
            QCOMPARE(SocketTimeout.load(), timeout);
        }
        qputenv("KORVEL_MACHINE_SETTINGS", saved);
        QCOMPARE(QFile::exists(file), kind != QLatin1String("none")); // reading created nothing
    }

    void appDirAndBanner_data()
    {
        QTest::addColumn<QByteArray>("content"); // empty: no file
        QTest::addColumn<bool>("errorBox");
        QFile good(qEnvironmentVariable("TWL_BIN_DIR") + QStringLiteral("/image/bar.jpg"));
        QVERIFY(good.open(QIODevice::ReadOnly));
        const QByteArray jpeg = good.readAll();
        QTest::newRow("good picture") << jpeg << false;
        QTest::newRow("not a picture") << QByteArray("this is no JPEG file") << true;
        QTest::newRow("cut after the header") << jpeg.left(20) << true;
        // The frame header of the good picture, claiming 5000 x 5000 pixels.
        QByteArray huge = jpeg;
        const qsizetype frame = huge.indexOf(QByteArray("\xFF\xC0", 2));
        QVERIFY(frame > 0);
        for (int at : { 5, 7 }) {
            huge[frame + at] = char(5000 >> 8);
            huge[frame + at + 1] = char(5000 & 0xFF);
        }
        QTest::newRow("claims a huge size") << huge << true;
        QTest::newRow("missing") << QByteArray() << true;
    }
    void appDirAndBanner()
    {
        QFETCH(QByteArray, content);
        QFETCH(bool, errorBox);
        const QString path = AppImageDir() + QStringLiteral("/bar.jpg");
        QFile original(path);
        QVERIFY(original.open(QIODevice::ReadOnly));
        const QByteArray keep = original.readAll();
        original.close();
        QFile::remove(path);
        if (!content.isEmpty()) {
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(content);
        }
        {
            TModalAnswerer answerer;
            TfmMain w;
            QCOMPARE(AppDir, QCoreApplication::applicationDirPath() + QLatin1Char('/'));
            QCOMPARE(BannerImage.isNull(), errorBox);
            QCOMPARE(answerer.texts.size(), errorBox ? 1 : 0);
            if (errorBox)
                QCOMPARE(answerer.icons.first(), QMessageBox::Critical);
            else
                QCOMPARE(BannerImage.format(), QImage::Format_RGB888);
            // Start-up went on past the picture.
            QVERIFY(LocalInterfaces);
            QVERIFY(HostRoutes);
        }
        QFile::remove(path);
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(keep);
    }

    void windowLayout()
    {
        TfmMain w;
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QCOMPARE(w.windowTitle(), QStringLiteral("KORVEL TwinlaneAdmin"));
        QCOMPARE(w.size(), QSize(784, 620));
        QVERIFY(!w.Ready);
        QCOMPARE(w.SortMode, 1);
        QVERIFY(w.muByConnection->isChecked());
        QVERIFY(!w.muByServer->isChecked());
        // Toolbar: four drop-down text buttons, three icon buttons.
        const QList<std::pair<QToolButton*, QMenu*>> textButtons { { w.btnFile, w.muFile }, { w.btnSys, w.muSystem },
            { w.btnSort, w.muSort }, { w.btnHelp, w.muHelp } };
        const QStringList names { "File", "System", "Sort", "Help" };
        for (int i = 0; i < 4; ++i) {
            QCOMPARE(textButtons[i].first->text(), names[i]);
            QCOMPARE(textButtons[i].first->menu(), textButtons[i].second);
            QCOMPARE(textButtons[i].second->title(), names[i]);
            QCOMPARE(textButtons[i].first->popupMode(), QToolButton::InstantPopup);
        }
        QCOMPARE(w.btnAutoSearch->toolTip(), QStringLiteral("Auto search I/O server"));
        QCOMPARE(w.btnSortCon->toolTip(), QStringLiteral("Sort by connection"));
        QCOMPARE(w.btnSortServer->toolTip(), QStringLiteral("Sort by I/O server"));
        auto texts = [](QMenu* m) {
            QStringList t;
            for (QAction* a : m->actions())
                t << (a->isSeparator() ? QStringLiteral("-") : a->text());
            return t;
        };
        QCOMPARE(texts(w.muFile), QStringList { "Exit" });
        QCOMPARE(texts(w.muSystem), QStringList { "Auto Scan Active Ethernet I/O Server" });
        QCOMPARE(texts(w.muSort), (QStringList { "By Connection", "By I/O Server" }));
        QCOMPARE(texts(w.muHelp), (QStringList { "Wiring Guide for PraxonSK", "About" }));
        QCOMPARE(texts(w.muPraxon), QStringList { "Add Twinlane Server" });
        QCOMPARE(texts(w.muModRemoteE), (QStringList { "Restart System", "Reset to Default", "-", "Delete Module" }));
        // The three menu items show the pictures of their tool buttons.
        const QList<std::pair<QAction*, QToolButton*>> pictured { { w.muRescan, w.btnAutoSearch },
            { w.muByConnection, w.btnSortCon }, { w.muByServer, w.btnSortServer } };
        for (const auto& [item, button] : pictured) {
            QVERIFY(!item->icon().isNull());
            QCOMPARE(item->icon().cacheKey(), button->icon().cacheKey());
        }
        // Panes.
        QCOMPARE(w.Splitter1->sizes().value(0), 169);
        QCOMPARE(w.Splitter1->handleWidth(), 3);
        QCOMPARE(w.tvXRT->indentation(), 19);
        QCOMPARE(w.tvXRT->viewport()->cursor().shape(), Qt::PointingHandCursor);
        QCOMPARE(w.tvXRT->editTriggers(), QAbstractItemView::NoEditTriggers);
        // Status strip.
        QCOMPARE(w.pnStatus->height(), 26);
        QCOMPARE(w.lbStatus->text(), QStringLiteral("Ready"));
        QVERIFY(w.lbStatus->font().bold());
        QVERIFY(!w.ProgressBar1->isVisible());
        QCOMPARE(w.ProgressBar1->minimum(), 0);
        QCOMPARE(w.ProgressBar1->maximum(), 100);
        QCOMPARE(w.ProgressBar1->geometry().left(), 216);
        QCOMPARE(w.ProgressBar1->width(), 217);
        QCOMPARE(w.PanelNow->width(), 111);
        QCOMPARE(w.PanelElapse->width(), 111);
        QCOMPARE(w.PanelNow->geometry().right(), w.pnStatus->width() - 1);
        QCOMPARE(w.PanelElapse->geometry().right() + 1, w.PanelNow->geometry().left());
        QVERIFY(w.PanelElapse->font().bold());
        QVERIFY(w.PanelElapse->text().isEmpty());
        QVERIFY(w.PanelNow->text().isEmpty());
        // Timers: intervals, both idle until the first activation.
        QCOMPARE(w.Timer1->interval(), 500);
        QCOMPARE(w.TimerNow->interval(), 950);
        QVERIFY(!w.TimerNow->isActive());
        // The links the device objects use.
        QCOMPARE(MainWindowLinks.window, &w);
        QCOMPARE(MainWindowLinks.lbStatus, w.lbStatus);
        QCOMPARE(MainWindowLinks.muRemoteERestartModule, w.muRemoteERestartModule);
        QCOMPARE(MainWindowLinks.muRemoteEResetModule, w.muRemoteEResetModule);
    }

    void firstStart()
    {
        TfmMain w;
        w.FormActivate();
        QVERIFY(w.Timer1->isActive());
        w.Timer1->stop();
        w.FormActivate(); // later activations do nothing
        QVERIFY(!w.Timer1->isActive());
        // The clock starts when the first scan is over, not before.
        QDateTime searchedAt;
        w.SetSearchRunner([&](QList<IONODE*>&) {
            searchedAt = QDateTime::currentDateTime();
            QVERIFY(!w.TimerNow->isActive());
        });
        w.Timer1Timer();
        QVERIFY(w.Product);
        QVERIFY(w.Ready);
        QVERIFY(w.TimerNow->isActive());
        QVERIFY(searchedAt.isValid());
        QVERIFY(w.StartTime >= searchedAt);
        QVERIFY(!QApplication::overrideCursor());
        // A search that finds nothing: root, product, product selected.
        QCOMPARE(w.tvXRT->topLevelItemCount(), 1);
        QCOMPARE(w.tvXRT->topLevelItem(0)->childCount(), 1);
        QVERIFY(w.Product->Modules()->isEmpty());
        QCOMPARE(NodeObject(w.tvXRT->currentItem()), static_cast<TIOObject*>(w.Product));
        QVERIFY(w.Product->Page->isVisible());
        // The panel counts from StartTime: one day, an hour, a minute and a
        // second before the tick reads 1:01:01:01, give or take the seconds
        // the tick itself took.
        const QDateTime before = QDateTime::currentDateTime();
        w.StartTime = before.addSecs(-(86400 + 3600 + 60 + 1));
        w.TimerNowTimer();
        const QDateTime after = QDateTime::currentDateTime();
        QStringList possible;
        for (QDateTime t = before; t <= after.addSecs(1); t = t.addSecs(1))
            possible << ElapsedText(w.StartTime, std::min(t, after));
        QVERIFY2(possible.contains(w.PanelElapse->text()), qPrintable(w.PanelElapse->text()));
        QVERIFY(possible.contains(QStringLiteral("1:01:01:01")));
        QVERIFY(!w.PanelNow->text().isEmpty());
    }

    void closeQuery_data()
    {
        QTest::addColumn<bool>("ready");
        QTest::addColumn<int>("answer");
        QTest::addColumn<bool>("closed");
        QTest::addColumn<int>("boxes");
        QTest::newRow("before the first scan") << false << int(QMessageBox::Yes) << false << 0;
        QTest::newRow("answered No") << true << int(QMessageBox::No) << false << 1;
        QTest::newRow("answered Yes") << true << int(QMessageBox::Yes) << true << 1;
    }
    void closeQuery()
    {
        QFETCH(bool, ready);
        QFETCH(int, answer);
        QFETCH(bool, closed);
        QFETCH(int, boxes);
        AbortRequested = false;
        std::unique_ptr<TfmMain> w = StartedWindow({ QStringLiteral("10.0.0.1") });
        QVERIFY(w);
        w->Ready = ready;
        TModalAnswerer answerer(static_cast<QMessageBox::StandardButton>(answer));
        QPointer<QWidget> modulePage = NodeObject(w->tvXRT->currentItem())->Page;
        QCOMPARE(w->close(), closed);
        QCOMPARE(answerer.texts.size(), boxes);
        if (boxes) {
            QCOMPARE(answerer.texts.first(), QStringLiteral("Exit TwinlaneAdmin, Are you sure?"));
            QCOMPARE(answerer.icons.first(), QMessageBox::Question);
        }
        QCOMPARE(AbortRequested.load(), closed);
        QCOMPARE(w->isVisible(), !closed);
        QCOMPARE(!w->Product, closed);
        QCOMPARE(!modulePage, closed);
        QCOMPARE(!LocalInterfaces, closed);
        QCOMPARE(w->tvXRT->topLevelItemCount(), closed ? 0 : 1);
        AbortRequested = false;
    }

    void treeInWindow_data()
    {
        QTest::addColumn<QStringList>("addresses");
        QTest::addColumn<int>("sortMode");
        QTest::addColumn<QStringList>("tree");
        QTest::addColumn<QString>("selected");
        const QStringList three { "192.168.1.2", "10.0.0.9", "192.168.1.10" };
        QTest::newRow("by connection") << three << 1
                                       << QStringList { "Twinlane [1] P", "  10.0.0.9 [2] -", "    Q6120 [5] M",
                                              "  192.168.1.10 [2] -", "    Q6120 [5] M", "  192.168.1.2 [2] -",
                                              "    Q6120 [5] M" }
                                       << "Host/Twinlane/10.0.0.9/Q6120";
        QTest::newRow("by I/O server") << three << 4
                                       << QStringList { "Twinlane [1] P", "  Q6120 [5] -", "    10.0.0.9 [2] M",
                                              "    192.168.1.10 [2] M", "    192.168.1.2 [2] M" }
                                       << "Host/Twinlane/Q6120/10.0.0.9";
        QTest::newRow("nothing found") << QStringList {} << 4 << QStringList { "Twinlane [1] P" } << "Host/Twinlane";
    }
    void treeInWindow()
    {
        QFETCH(QStringList, addresses);
        QFETCH(int, sortMode);
        QFETCH(QStringList, tree);
        QFETCH(QString, selected);
        std::unique_ptr<TfmMain> w = StartedWindow(addresses);
        QVERIFY(w);
        QAbstractItemModelTester tester(w->tvXRT->model(), QAbstractItemModelTester::FailureReportingMode::QtTest);
        // From the product's page: a rebuild leaves one page in view.
        w->tvXRT->setCurrentItem(FindNode(w->tvXRT, QStringLiteral("Host/Twinlane")));
        QCOMPARE(PageInView(w.get()), w->Product->Page.data());
        w->BuildServerTree(1);
        w->BuildServerTree(sortMode); // switching keeps the modules, changes the groups
        QCOMPARE(w->SortMode, sortMode);
        QCOMPARE(w->muByConnection->isChecked(), sortMode == 1);
        QCOMPARE(w->muByServer->isChecked(), sortMode == 4);
        QStringList dump = DumpTree(w->tvXRT);
        QVERIFY(!dump.isEmpty());
        // The test's namespace has no operational link besides loopback.
        QCOMPARE(dump.takeFirst(), QStringLiteral("Host [0] -"));
        for (QString& line : dump)
            line.remove(0, 2);
        QCOMPARE(dump, tree);
        QCOMPARE(w->tvXRT->currentItem(), FindNode(w->tvXRT, selected));
        QCOMPARE(PageInView(w.get()), NodeObject(w->tvXRT->currentItem())->Page.data());
        for (QTreeWidgetItem* n : NodesInTreeOrder(w->tvXRT))
            QVERIFY(n->childCount() == 0 || n->isExpanded());
        QCOMPARE(w->Product->Modules()->size(), addresses.size());
    }

    void hostLabelFromInterfaces()
    {
        // Two links of the test's own namespace, which the root names.
        const QList<QStringList> commands { { "link", "add", "twlA", "type", "veth", "peer", "name", "twlA2" },
            { "addr", "add", "192.168.127.1/24", "dev", "twlA" }, { "link", "set", "twlA", "up" },
            { "link", "set", "twlA2", "up" }, { "link", "add", "twlB", "type", "veth", "peer", "name", "twlB2" },
            { "addr", "add", "10.1.2.3/24", "dev", "twlB" }, { "link", "set", "twlB", "up" },
            { "link", "set", "twlB2", "up" } };
        for (const QStringList& c : commands)
            if (QProcess::execute(QStringLiteral("ip"), c) != 0)
                QSKIP("cannot add interfaces in the test's namespace");
        // A veth becomes operational a moment after it is set up; on a busy
        // machine the window could read the list before.
        auto operational = [](const QString& link) {
            QProcess ip;
            ip.start(QStringLiteral("ip"), { "-o", "link", "show", link });
            ip.waitForFinished();
            return ip.readAllStandardOutput().contains("state UP");
        };
        QTRY_VERIFY_WITH_TIMEOUT(operational(QStringLiteral("twlA")) && operational(QStringLiteral("twlB")), 20000);
        std::unique_ptr<TfmMain> w = StartedWindow({});
        QVERIFY(w);
        const QString root = w->tvXRT->topLevelItem(0)->text(0);
        QProcess::execute(QStringLiteral("ip"), { "link", "del", "twlA" });
        QProcess::execute(QStringLiteral("ip"), { "link", "del", "twlB" });
        QVERIFY2(root == QStringLiteral("Host : [192.168.127.1]/[10.1.2.3]")
                || root == QStringLiteral("Host : [10.1.2.3]/[192.168.127.1]"),
            qPrintable(root));
    }

    void selectionShowsPages()
    {
        std::unique_ptr<TfmMain> w = StartedWindow({ QStringLiteral("10.0.0.1"), QStringLiteral("10.0.0.2") });
        QVERIFY(w);
        QTreeWidgetItem* second = FindNode(w->tvXRT, QStringLiteral("Host/Twinlane/10.0.0.2/Q6120"));
        QVERIFY(second);
        w->tvXRT->setCurrentItem(second);
        QCOMPARE(PageInView(w.get()), NodeObject(second)->Page.data());
        // A group shows its first module, the root the product.
        w->tvXRT->setCurrentItem(FindNode(w->tvXRT, QStringLiteral("Host/Twinlane/10.0.0.1")));
        QCOMPARE(w->tvXRT->currentItem(), FindNode(w->tvXRT, QStringLiteral("Host/Twinlane/10.0.0.1/Q6120")));
        QCOMPARE(PageInView(w.get()), NodeObject(w->tvXRT->currentItem())->Page.data());
        w->tvXRT->setCurrentItem(w->tvXRT->topLevelItem(0));
        QCOMPARE(NodeObject(w->tvXRT->currentItem()), static_cast<TIOObject*>(w->Product));
        QCOMPARE(PageInView(w.get()), w->Product->Page.data());
        // SelectObjectNode finds a module's node.
        TIOObject* m = w->Product->Modules()->at(1);
        w->SelectObjectNode(m);
        QCOMPARE(NodeObject(w->tvXRT->currentItem()), m);
        TIOObject stranger(okModule, QStringLiteral("Q6120"));
        w->SelectObjectNode(&stranger);
        QCOMPARE(NodeObject(w->tvXRT->currentItem()), m);
    }

    // A real click: the node in view is the one highlighted, and only it.
    void leftClick_data()
    {
        QTest::addColumn<QString>("node");
        QTest::addColumn<QString>("selectedAfter");
        QTest::newRow("root") << "Host"
                              << "Host/Twinlane";
        QTest::newRow("group") << "Host/Twinlane/10.0.0.2"
                               << "Host/Twinlane/10.0.0.2/Q6120";
        QTest::newRow("product") << "Host/Twinlane"
                                 << "Host/Twinlane";
        QTest::newRow("module") << "Host/Twinlane/10.0.0.2/Q6120"
                                << "Host/Twinlane/10.0.0.2/Q6120";
    }
    void leftClick()
    {
        QFETCH(QString, node);
        QFETCH(QString, selectedAfter);
        std::unique_ptr<TfmMain> w = StartedWindow({ QStringLiteral("10.0.0.1"), QStringLiteral("10.0.0.2") });
        QVERIFY(w);
        QTreeWidgetItem* target = FindNode(w->tvXRT, node);
        QVERIFY(target);
        QTest::mouseClick(w->tvXRT->viewport(), Qt::LeftButton, {}, w->tvXRT->visualItemRect(target).center());
        QTreeWidgetItem* expected = FindNode(w->tvXRT, selectedAfter);
        QCOMPARE(w->tvXRT->currentItem(), expected);
        QCOMPARE(w->tvXRT->selectedItems(), QList<QTreeWidgetItem*> { expected });
        QCOMPARE(PageInView(w.get()), NodeObject(expected)->Page.data());
    }

    void rightClick_data()
    {
        QTest::addColumn<QString>("node");
        QTest::addColumn<QString>("menu"); // object name, or empty
        QTest::addColumn<QString>("selectedAfter");
        QTest::addColumn<int>("prepareCalls");
        QTest::newRow("root") << "Host"
                              << ""
                              << "Host/Twinlane" << 0;
        QTest::newRow("group") << "Host/Twinlane/10.0.0.2"
                               << ""
                               << "Host/Twinlane/10.0.0.2/Q6120-< 1>" << 0;
        QTest::newRow("product") << "Host/Twinlane"
                                 << "muPraxon"
                                 << "Host/Twinlane" << 0;
        QTest::newRow("remote Ethernet module") << "Host/Twinlane/10.0.0.1/Q6120"
                                                << "muModRemoteE"
                                                << "Host/Twinlane/10.0.0.1/Q6120" << 1;
        QTest::newRow("other module") << "Host/Twinlane/10.0.0.2/Q6120-< 1>"
                                      << ""
                                      << "Host/Twinlane/10.0.0.2/Q6120-< 1>" << 0;
    }
    void rightClick()
    {
        QFETCH(QString, node);
        QFETCH(QString, menu);
        QFETCH(QString, selectedAfter);
        QFETCH(int, prepareCalls);
        std::unique_ptr<TfmMain> w
            = StartedWindow({ QStringLiteral("10.0.0.1"), QStringLiteral("10.0.0.2") }, { { 17, 3, 1 }, { 16, 3, 1 } });
        QVERIFY(w);
        QTreeWidgetItem* target = FindNode(w->tvXRT, node);
        QVERIFY(target);
        QList<std::pair<QMenu*, QPoint>> popups;
        connect(w.get(), &TfmMain::menuPopupEvent, this, [&popups](QMenu* m, const QPoint& p) {
            popups.append({ m, p });
        });
        const QPoint at = w->tvXRT->visualItemRect(target).center();
        QTest::mouseClick(w->tvXRT->viewport(), Qt::RightButton, {}, at);
        QCOMPARE(w->tvXRT->currentItem(), FindNode(w->tvXRT, selectedAfter));
        QCOMPARE(popups.count(), menu.isEmpty() ? 0 : 1);
        if (!menu.isEmpty()) {
            QMenu* shown = popups.first().first;
            QCOMPARE(shown->objectName(), menu);
            QCOMPARE(popups.first().second, w->tvXRT->viewport()->mapToGlobal(at));
            shown->hide();
        }
        int calls = 0;
        for (TIOObject* o : *w->Product->Modules())
            calls += static_cast<TTestMod*>(o)->prepareMenuCalls;
        QCOMPARE(calls, prepareCalls);
        // A press on empty space does nothing.
        QTest::mouseClick(w->tvXRT->viewport(), Qt::RightButton, {}, QPoint(5, w->tvXRT->viewport()->height() - 3));
        QCOMPARE(w->tvXRT->currentItem(), FindNode(w->tvXRT, selectedAfter));
        QCOMPARE(popups.count(), menu.isEmpty() ? 0 : 1);
    }

    void deleteShownModule_data()
    {
        QTest::addColumn<QStringList>("addresses");
        QTest::addColumn<int>("sortMode");
        QTest::addColumn<QString>("selectedAfter");
        QTest::newRow("first of three, by connection")
            << QStringList { "10.0.0.1", "10.0.0.2", "10.0.0.3" } << 1 << "Host/Twinlane/10.0.0.2/Q6120";
        QTest::newRow("first of two, by server")
            << QStringList { "10.0.0.1", "10.0.0.2" } << 4 << "Host/Twinlane/Q6120/10.0.0.2";
        QTest::newRow("the only one") << QStringList { "10.0.0.1" } << 1 << "Host/Twinlane";
    }
    void deleteShownModule()
    {
        QFETCH(QStringList, addresses);
        QFETCH(int, sortMode);
        QFETCH(QString, selectedAfter);
        std::unique_ptr<TfmMain> w = StartedWindow(addresses);
        QVERIFY(w);
        w->BuildServerTree(sortMode);
        TIOObject* shown = NodeObject(w->tvXRT->currentItem());
        QVERIFY(shown && shown->Kind == okModule);
        QPointer<QWidget> page = shown->Page;
        QVERIFY(page->isVisible());
        auto* productPage = qobject_cast<TfmTwinlane*>(w->Product->Page.data());
        QCOMPARE(productPage->lvPraxon->rowCount(), addresses.size());

        w->muDelModuleClick();
        QVERIFY(!page);
        QVERIFY(!w->Product->Modules()->contains(shown));
        QCOMPARE(w->tvXRT->currentItem(), FindNode(w->tvXRT, selectedAfter));
        QCOMPARE(PageInView(w.get()), NodeObject(w->tvXRT->currentItem())->Page.data());
        QVERIFY(!QApplication::overrideCursor());
        // The product's table keeps the row until Refresh, which numbers
        // the rest from 1.
        QCOMPARE(productPage->lvPraxon->rowCount(), addresses.size());
        productPage->btnRefreshClick();
        QCOMPARE(productPage->lvPraxon->rowCount(), addresses.size() - 1);
        for (int r = 0; r < productPage->lvPraxon->rowCount(); ++r) {
            QCOMPARE(productPage->lvPraxon->item(r, 0)->text(), QString::number(r + 1));
            QCOMPARE(productPage->lvPraxon->item(r, 2)->text(), addresses.at(r + 1));
        }
    }

    void deleteWithoutModule()
    {
        std::unique_ptr<TfmMain> w = StartedWindow({ QStringLiteral("10.0.0.1") });
        QVERIFY(w);
        w->tvXRT->setCurrentItem(FindNode(w->tvXRT, QStringLiteral("Host/Twinlane")));
        w->muDelModuleClick(); // the product is no module: nothing happens
        QCOMPARE(w->Product->Modules()->size(), 1);
        // A module whose device request still waits stays.
        w->tvXRT->setCurrentItem(FindNode(w->tvXRT, QStringLiteral("Host/Twinlane/10.0.0.1/Q6120")));
        auto* m = static_cast<TIOMod*>(NodeObject(w->tvXRT->currentItem()));
        m->requestPending = true;
        // Each refusal is told, never silent.
        TModalAnswerer answerer(QMessageBox::Yes);
        const QString busy
            = QStringLiteral("An I/O server is still busy with a request. Try again when it has finished.");
        w->muDelModuleClick();
        QCOMPARE(w->Product->Modules()->size(), 1);
        QCOMPARE(answerer.texts, QStringList { busy });
        QVERIFY(!QApplication::overrideCursor());
        w->Ready = true;
        QVERIFY(!w->close()); // nor may the window go
        QCOMPARE(answerer.texts, (QStringList { busy, busy })); // no exit question
        QCOMPARE(answerer.dialogClasses.size(), 0);
        w->ScanServers(); // nor may a scan tear it down
        QCOMPARE(w->Product->Modules()->value(0), m);
        QCOMPARE(answerer.texts.size(), 3);
        QVERIFY(w->Ready);
        QVERIFY(w->btnAutoSearch->isEnabled());
        m->requestPending = false;
    }

    void enableCommands()
    {
        std::unique_ptr<TfmMain> w = StartedWindow({ QStringLiteral("10.0.0.1") });
        QVERIFY(w);
        const QList<QWidget*> buttons { w->btnFile, w->btnSys, w->btnSort, w->btnHelp, w->btnAutoSearch, w->btnSortCon,
            w->btnSortServer };
        QList<QAction*> actions { w->muFile->menuAction(), w->muSystem->menuAction(), w->muSort->menuAction(),
            w->muHelp->menuAction() };
        actions << w->muPraxon->actions() << w->muModRemoteE->actions();
        for (const bool enabled : { false, true }) {
            w->EnableCommands(enabled);
            for (QWidget* b : buttons)
                QVERIFY2(b->isEnabled() == enabled, qPrintable(b->objectName()));
            for (QAction* a : actions)
                QVERIFY2(a->isEnabled() == enabled, qPrintable(a->text()));
        }
    }

    void scanWithConflicts_data()
    {
        QTest::addColumn<bool>("researchOnce");
        QTest::addColumn<int>("searches");
        QTest::addColumn<QStringList>("modules");
        QTest::newRow("ignore these devices") << false << 1 << QStringList { "10.0.0.3" };
        QTest::newRow("search again") << true << 2 << QStringList { "10.0.0.7" };
    }
    void scanWithConflicts()
    {
        QFETCH(bool, researchOnce);
        QFETCH(int, searches);
        QFETCH(QStringList, modules);
        TfmMain w;
        int searchCount = 0;
        int conflictCount = 0;
        TModalAnswerer answerer(QMessageBox::No);
        w.SetSearchRunner([&](QList<IONODE*>& records) {
            QVERIFY(records.isEmpty()); // each pass starts empty
            // While it runs the commands are off and the window stays.
            QVERIFY(!w.Ready);
            QVERIFY(!w.btnAutoSearch->isEnabled());
            QVERIFY(!w.muDelModule->isEnabled());
            QVERIFY(!w.muAddPodModule->isEnabled());
            QVERIFY(!w.muSort->menuAction()->isEnabled());
            QVERIFY(!w.close());
            if (++searchCount == 1) {
                records << MakeRecord({ "10.0.0.5", true }) << MakeRecord({ "10.0.0.3" })
                        << MakeRecord({ "10.0.0.5", true });
            } else {
                records << MakeRecord({ "10.0.0.7" });
            }
        });
        w.SetConflictRunner([&](QList<IONODE*>&) { return researchOnce && ++conflictCount == 1; });
        w.Timer1Timer();
        QCOMPARE(searchCount, searches);
        QCOMPARE(answerer.texts, QStringList {}); // closing was refused without a question
        QCOMPARE(answerer.dialogClasses, QStringList {});
        QStringList got;
        for (TIOObject* o : *w.Product->Modules())
            got << static_cast<TIOMod*>(o)->Address;
        QCOMPARE(got, modules);
        QCOMPARE(w.lbStatus->text(), QStringLiteral("Ready"));
        QVERIFY(!w.ProgressBar1->isVisible());
        QVERIFY(w.isMaximized());
        // A rescan replaces the modules.
        searchCount = 1;
        w.ScanServers();
        QCOMPARE(w.Product->Modules()->size(), 1);
        QCOMPARE(static_cast<TIOMod*>(w.Product->Modules()->first())->Address, QStringLiteral("10.0.0.7"));
    }

    void scanErrorRestores()
    {
        TfmMain w;
        w.SetSearchRunner([](QList<IONODE*>& records) { records << MakeRecord({ "10.0.0.1" }); });
        w.Timer1Timer();
        QCOMPARE(w.Product->Modules()->size(), 1);
        w.SetSearchRunner([](QList<IONODE*>& records) {
            records << MakeRecord({ "10.0.0.2" });
            throw std::runtime_error("search broke");
        });
        bool thrown = false;
        try {
            w.ScanServers();
        } catch (const std::runtime_error&) {
            thrown = true;
        }
        QVERIFY(thrown);
        // The tree still leads to the product; nothing is left half done.
        QVERIFY(w.Product->Modules()->isEmpty());
        QCOMPARE(NodeObject(w.tvXRT->currentItem()), static_cast<TIOObject*>(w.Product));
        QCOMPARE(w.tvXRT->currentItem()->childCount(), 0); // no group of a module that went
        QCOMPARE(w.lbStatus->text(), QStringLiteral("Ready"));
        QVERIFY(!AbortRequested);
        QVERIFY(w.Ready);
        QVERIFY(w.btnAutoSearch->isEnabled());
        QVERIFY(w.muDelModule->isEnabled());
        QVERIFY(!QApplication::overrideCursor());
        QVERIFY(w.isMaximized());
    }

    void addModule_data()
    {
        QTest::addColumn<bool>("accepted");
        QTest::addColumn<QString>("target");
        QTest::addColumn<int>("modules");
        QTest::newRow("added to the product") << true << "Host/Twinlane" << 2;
        QTest::newRow("cancelled") << false << "Host/Twinlane" << 1;
        QTest::newRow("target is a module") << true << "Host/Twinlane/10.0.0.1/Q6120" << 1;
    }
    void addModule()
    {
        QFETCH(bool, accepted);
        QFETCH(QString, target);
        QFETCH(int, modules);
        std::unique_ptr<TfmMain> w = StartedWindow({ QStringLiteral("10.0.0.1") });
        QVERIFY(w);
        TIOObject* seenTarget = nullptr;
        w->SetModAddRunner([&](QWidget* owner, TIOObject* t, QList<TIOObject*>* list) -> std::optional<TModAddResult> {
            seenTarget = t;
            if (owner != w.get() || list != w->Product->Modules() || !accepted)
                return std::nullopt;
            // An even type code: no host route is asked for.
            return TModAddResult { 0, 16, QStringLiteral("10.1.2.3"), QStringLiteral("plc-9") };
        });
        w->tvXRT->setCurrentItem(FindNode(w->tvXRT, target));
        w->muAddModuleClick();
        QCOMPARE(seenTarget, NodeObject(FindNode(w->tvXRT, target)));
        QCOMPARE(w->Product->Modules()->size(), modules);
        if (modules == 2) {
            QCOMPARE(w->tvXRT->currentItem(), FindNode(w->tvXRT, QStringLiteral("Host/Twinlane/plc-9/Q6120")));
            QCOMPARE(NodeImage(FindNode(w->tvXRT, QStringLiteral("Host/Twinlane/plc-9"))), 3);
            // The product's table lists it only after Refresh, as entered.
            auto* productPage = qobject_cast<TfmTwinlane*>(w->Product->Page.data());
            QCOMPARE(productPage->lvPraxon->rowCount(), 1);
            productPage->btnRefresh->click();
            QCOMPARE(productPage->lvPraxon->rowCount(), 2);
            QCOMPARE(productPage->lvPraxon->item(1, 2)->text(), QStringLiteral("plc-9"));
        }
    }

    void aboutBox()
    {
        TfmMain w;
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        TModalAnswerer answerer;
        w.muAboutClick();
        QCOMPARE(answerer.dialogClasses, QStringList { "TfmAbout" });
        QCOMPARE(answerer.texts, QStringList {});
        QCOMPARE(answerer.frames.first().center(), answerer.ownerFrames.first().center());
        TfmAbout about(&w);
        QCOMPARE(about.windowTitle(), QStringLiteral("About"));
        QCOMPARE(about.lbVersion->text(), QStringLiteral("TwinlaneAdmin V1.0 Build 07042518"));
        QCOMPARE(about.btnOK->text(), QStringLiteral("OK"));
        QVERIFY(!about.programIcon->pixmap().isNull());
    }

    void helpFileMissing()
    {
        TfmMain w;
        QVERIFY(!QFile::exists(AppDir + QStringLiteral("help/Twinlanesk.hlp")));
        TModalAnswerer answerer;
        w.muWiringGuideClick();
        QCOMPARE(answerer.texts.size(), 1);
        QVERIFY(answerer.texts.first().contains(QStringLiteral("Twinlanesk.hlp")));
    }
};

TWL_LAB_QTEST_MAIN(TestMainWindow)
#include "tst_mainWindow.moc"
