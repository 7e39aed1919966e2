// The device model against real widgets on the offscreen platform: object
// and page lifecycle, the product's lists and module bookkeeping, the
// module nodes of the server tree and the product page's table.
#include "admin/model/frmTwinlane.h"
#include "admin/model/ioAppGlobals.h"
#include "admin/model/ioMod.h"
#include "admin/model/ioProduct.h"
#include "admin/model/ioTreeNode.h"
#include "admin/model/pdTwinlane.h"
#include "admin/model/tests/testModules.h"

#include <QAbstractItemModelTester>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTableWidget>
#include <QTest>
#include <QTreeWidget>

namespace {
struct TModuleDef {
    QString address;
    int32_t typeCode = 17;
    uint32_t channelKinds = 3;
    int32_t unitId = 1;
};
} // namespace
Q_DECLARE_METATYPE(TModuleDef)
Q_DECLARE_METATYPE(QList<TModuleDef>)

class TestModel : public QObject {
    Q_OBJECT
private:
    // A product attached to a host, with one test module per definition added
    // through AddModule (the way a hand-added server joins).
    struct TFixture {
        QWidget host;
        TTestModFactory factory;
        TTwinlane product;
        TFixture() { product.Attach(new TfmTwinlane(nullptr, &product), &host, nullptr); }
        ~TFixture() { product.Detach(); }
        TIOMod* Add(const TModuleDef& s)
        {
            factory.next.append({ s.typeCode, s.channelKinds, s.unitId });
            return product.AddModule(&host, &product, 0, s.address);
        }
    };

private slots:
    void objectPageLifecycle()
    {
        QWidget host;
        host.resize(300, 200);
        host.show();
        TIOObject object(okModule, QStringLiteral("x"));
        object.ShowPage(); // no page: nothing happens
        object.HidePage();
        auto* page = new QLabel(QStringLiteral("page"));
        QSignalSpy destroyed(page, &QObject::destroyed);
        TIOObject parent(okProduct, QStringLiteral("p"));
        object.Attach(page, &host, &parent);
        QCOMPARE(object.Parent, &parent);
        QCOMPARE(page->parentWidget(), &host);
        QVERIFY(!page->isVisible());
        object.ShowPage();
        QVERIFY(page->isVisible());
        QTRY_COMPARE(page->geometry(), host.rect()); // fills its host
        object.HidePage();
        QVERIFY(!page->isVisible());
        object.Detach();
        object.Detach();
        QCOMPARE(destroyed.count(), 1);
        QVERIFY(!object.Page);
        object.ShowPage();
    }

    void pageOutlivedByObject()
    {
        // A host that goes first takes the page along; the object must not
        // touch it afterwards.
        TIOObject object(okModule, QStringLiteral("x"));
        {
            QWidget host;
            object.Attach(new QLabel, &host, nullptr);
        }
        QVERIFY(!object.Page);
        object.ShowPage();
        object.Detach();
    }

    void sortedTextList_data()
    {
        QTest::addColumn<QStringList>("added");
        QTest::addColumn<QStringList>("held");
        QTest::newRow("ascending") << QStringList { "b", "c", "a" } << QStringList { "a", "b", "c" };
        QTest::newRow("case-insensitive order")
            << QStringList { "beta", "Alpha", "gamma" } << QStringList { "Alpha", "beta", "gamma" };
        QTest::newRow("case twin not added") << QStringList { "plc", "PLC", "Plc" } << QStringList { "plc" };
        QTest::newRow("exact twin not added") << QStringList { "10.0.0.1", "10.0.0.1" } << QStringList { "10.0.0.1" };
        QTest::newRow("empty text") << QStringList { "", "a" } << QStringList { "", "a" };
    }
    void sortedTextList()
    {
        QFETCH(QStringList, added);
        QFETCH(QStringList, held);
        TSortedTextList list;
        for (const QString& s : added)
            list.Add(s);
        QCOMPARE(list.items, held);
    }

    void catalogue()
    {
        QCOMPARE(ProductNames, QStringList { "Twinlane" });
        QCOMPARE(ModelNames, QStringList { "Q6120" });
        QCOMPARE(ModelDescriptions.value(0), QStringLiteral("Twinlane Ethernet Peer-to-Peer I/O Server (8DI + 8DO)"));
        QCOMPARE(ChannelTypeNames, (QStringList { "DI", "DO", "RELAY", "AI", "AO", "RTD", "TC", "COUNTER" }));
        QCOMPARE(CatalogueText(ModelNames, -1), QString());
        QCOMPARE(CatalogueText(ModelNames, 1), QString());
    }

    void addServers_data()
    {
        QTest::addColumn<QList<int>>("conflicts"); // per record: 0 plain, 1 conflict, 2 unknown model, 3 null
        QTest::addColumn<QStringList>("textsAtBuild");
        QTest::addColumn<int>("progress");
        QTest::addColumn<QString>("finalText");
        QTest::newRow("empty list") << QList<int> {} << QStringList {} << 0 << QStringLiteral("before");
        QTest::newRow("conflict in the middle")
            << QList<int> { 0, 1, 0 }
            << QStringList { "Adding I/O server: Q6120 [1/3]", "Adding I/O server: Q6120 [3/3]" } << 2
            << QStringLiteral("Adding I/O server: Q6120 [3/3]");
        QTest::newRow("unknown model builds nothing")
            << QList<int> { 2, 0 } << QStringList { "Adding I/O server: Q6120 [2/2]" } << 1
            << QStringLiteral("Adding I/O server: Q6120 [2/2]");
        QTest::newRow("null record skipped") << QList<int> { 3, 0 } << QStringList { "Adding I/O server: Q6120 [2/2]" }
                                             << 1 << QStringLiteral("Adding I/O server: Q6120 [2/2]");
    }
    void addServers()
    {
        QFETCH(QList<int>, conflicts);
        QFETCH(QStringList, textsAtBuild);
        QFETCH(int, progress);
        QFETCH(QString, finalText);
        QLabel status(QStringLiteral("before"));
        MainWindowLinks.lbStatus = &status;
        TFixture f;
        QStringList seen;
        f.factory.onBuild = [&] { seen << status.text(); };
        QList<IONODE*> records;
        for (int i = 0; i < conflicts.size(); ++i) {
            if (conflicts[i] == 3) {
                records << nullptr;
                continue;
            }
            auto* r = new IONODE;
            r->Kind = 1;
            r->ModelIndex = conflicts[i] == 2 ? 5 : 0;
            r->Address = QStringLiteral("10.0.0.%1").arg(i + 1);
            r->Conflict = conflicts[i] == 1;
            records << r;
        }
        QProgressBar bar;
        bar.setRange(0, 100);
        bar.setValue(0);
        f.product.AddServers(&f.host, &bar, records);
        MainWindowLinks.lbStatus = nullptr;
        qDeleteAll(records);
        QCOMPARE(seen, textsAtBuild);
        QCOMPARE(bar.value(), progress);
        QCOMPARE(status.text(), finalText);
        QCOMPARE(f.product.Modules()->size(), qsizetype(progress));
        QCOMPARE(f.product.ConnectionList().size(), qsizetype(progress));
        // The product page lists what the scan added.
        auto* page = qobject_cast<TfmTwinlane*>(f.product.Page.data());
        QCOMPARE(page->lvPraxon->rowCount(), progress);
    }

    void createModuleRules()
    {
        QWidget host;
        TTwinlane product;
        product.Attach(nullptr, &host, nullptr);
        // No factory installed: nothing is built.
        TTwinlane::SetModuleFactory({});
        QVERIFY(!product.CreateModule(&host, 0, QStringLiteral("10.0.0.1")));
        TTestModFactory factory;
        QVERIFY(!product.CreateModule(&host, 1, QStringLiteral("10.0.0.1")));
        TIOMod* m = product.CreateModule(&host, 0, QStringLiteral("10.0.0.1"));
        QVERIFY(m);
        QCOMPARE(product.Modules()->value(0), m);
        QCOMPARE(m->Parent, &product);
        QCOMPARE(m->Address, QStringLiteral("10.0.0.1"));
        QCOMPARE(m->OwnerList, product.Modules());
        QCOMPARE(m->Name, QStringLiteral("Q6120"));
        QVERIFY(!product.AddModule(&host, m, 0, QStringLiteral("10.0.0.2"))); // target not the product
        QCOMPARE(product.Modules()->size(), 1);
        product.Detach();
        QVERIFY(!product.Modules());
    }

    void removeModule()
    {
        TFixture f;
        TIOMod* a = f.Add({ QStringLiteral("10.0.0.1") });
        TIOMod* b = f.Add({ QStringLiteral("10.0.0.2") });
        // A module that belongs to b, as a gateway's sub-unit would.
        auto* child = new TTestMod(0, 33, 3, 7);
        child->Attach(new QLabel, &f.host, b);
        child->AttachToList(f.product.Modules(), &f.host, QStringLiteral("10.0.0.2"));
        QPointer<QWidget> childPage = child->Page;
        QCOMPARE(f.product.Modules()->size(), 3);

        TIOObject foreign(okModule, QStringLiteral("Q6120"));
        QCOMPARE(f.product.RemoveModule(&foreign), 0);
        QCOMPARE(f.product.RemoveModule(&f.product), 0);
        QCOMPARE(f.product.RemoveModule(nullptr), 0);
        QCOMPARE(f.product.Modules()->size(), 3);

        // One that waits for its device must stay.
        b->requestPending = true;
        QCOMPARE(f.product.RemoveModule(b), 0);
        b->requestPending = false;

        QCOMPARE(f.product.RemoveModule(b), 2);
        QVERIFY(!childPage);
        QCOMPARE(*f.product.Modules(), QList<TIOObject*> { a });
        QCOMPARE(f.product.ConnectionList(), QStringList { "10.0.0.1" });
        QCOMPARE(f.product.RemoveModule(a), 1);
        QVERIFY(f.product.ConnectionList().isEmpty());
        QVERIFY(f.product.ServerList().isEmpty());
    }

    void hideAllPages()
    {
        TFixture f;
        f.host.show();
        TIOMod* a = f.Add({ QStringLiteral("10.0.0.1") });
        TIOMod* b = f.Add({ QStringLiteral("10.0.0.2") });
        a->ShowPage();
        b->ShowPage();
        f.product.ShowPage();
        f.product.HideAllPages();
        QVERIFY(!a->Page->isVisible());
        QVERIFY(!b->Page->isVisible());
        QVERIFY(f.product.Page->isVisible()); // its own page stays
    }

    void moduleLabels_data()
    {
        QTest::addColumn<int>("typeCode");
        QTest::addColumn<int>("unitId");
        QTest::addColumn<QString>("mode1");
        QTest::addColumn<QString>("mode4");
        QTest::newRow("remote Ethernet 17") << 17 << 1 << "Q6120"
                                            << "192.168.127.254";
        QTest::newRow("odd 1") << 1 << 3 << "Q6120"
                               << "192.168.127.254";
        QTest::newRow("33 with unit") << 33 << 12 << "Q6120-<12>"
                                      << "192.168.127.254-<12>";
        QTest::newRow("even with unit") << 16 << 1 << "Q6120-< 1>"
                                        << "192.168.127.254-< 1>";
        QTest::newRow("zero") << 0 << 1 << "Q6120-< 1>"
                              << "192.168.127.254-< 1>";
    }
    void moduleLabels()
    {
        QFETCH(int, typeCode);
        QFETCH(int, unitId);
        QFETCH(QString, mode1);
        QFETCH(QString, mode4);
        TTestMod m(0, typeCode, 3, unitId);
        m.AttachToList(nullptr, nullptr, QStringLiteral("192.168.127.254"));
        QCOMPARE(m.NodeLabel(1), mode1);
        QCOMPARE(m.NodeLabel(4), mode4);
    }

    void channelImages_data()
    {
        QTest::addColumn<uint>("kinds");
        QTest::addColumn<int>("image");
        QTest::newRow("DI+DO") << 3u << 5;
        QTest::newRow("DO") << 2u << 5;
        QTest::newRow("AI") << 8u << 6;
        QTest::newRow("AO+RELAY") << 0x14u << 6;
        QTest::newRow("TC") << 0x40u << 7;
        QTest::newRow("RTD") << 0x20u << 7;
        QTest::newRow("DI wins over AI") << 0x09u << 5;
        QTest::newRow("RELAY only") << 4u << -1;
        QTest::newRow("COUNTER only") << 0x80u << -1;
    }
    void channelImages()
    {
        QFETCH(uint, kinds);
        QFETCH(int, image);
        QCOMPARE(ChannelKindsImage(kinds), image);
        // The node carries that picture, or none.
        TTestMod m(0, 17, kinds);
        m.AttachToList(nullptr, nullptr, QStringLiteral("10.0.0.1"));
        QTreeWidget tree;
        QTreeWidgetItem* g = AddChildNode(&tree, nullptr, QStringLiteral("10.0.0.1"));
        QCOMPARE(NodeImage(m.AddTreeNode(1, &tree, g, QStringLiteral("10.0.0.1"))), image);
    }

    void addTreeNodeNoMatch_data()
    {
        QTest::addColumn<int>("sortMode");
        QTest::addColumn<QString>("groupText");
        QTest::newRow("address differs in case") << 1 << "PLC-A";
        QTest::newRow("other address") << 1 << "10.0.0.2";
        QTest::newRow("model differs in case") << 4 << "q6120";
        QTest::newRow("unknown sort mode") << 2 << "plc-a";
    }
    void addTreeNodeNoMatch()
    {
        QFETCH(int, sortMode);
        QFETCH(QString, groupText);
        TTestMod m(0, 17, 3);
        m.AttachToList(nullptr, nullptr, QStringLiteral("plc-a"));
        QTreeWidget tree;
        QTreeWidgetItem* g = AddChildNode(&tree, nullptr, groupText);
        QVERIFY(!m.AddTreeNode(sortMode, &tree, g, groupText));
        QCOMPARE(g->childCount(), 0);
        QCOMPARE(NodeImage(g), -1);
    }

    // The product's subtree, sorted as the main window sorts it.
    void productTree_data()
    {
        QTest::addColumn<QList<TModuleDef>>("modules");
        QTest::addColumn<int>("sortMode");
        QTest::addColumn<QStringList>("tree");
        const QList<TModuleDef> one { { "192.168.127.254" } };
        QTest::newRow("one module, by connection")
            << one << 1 << QStringList { "Twinlane [1] P", "  192.168.127.254 [2] -", "    Q6120 [5] M" };
        QTest::newRow("one module, by server")
            << one << 4 << QStringList { "Twinlane [1] P", "  Q6120 [5] -", "    192.168.127.254 [2] M" };
        const QList<TModuleDef> sameAddress { { "10.0.0.5" }, { "10.0.0.5" } };
        QTest::newRow("same address twice, by connection")
            << sameAddress << 1
            << QStringList { "Twinlane [1] P", "  10.0.0.5 [2] -", "    Q6120 [5] M", "    Q6120 [5] M" };
        QTest::newRow("same address twice, by server")
            << sameAddress << 4
            << QStringList { "Twinlane [1] P", "  Q6120 [5] -", "    10.0.0.5 [2] M", "    10.0.0.5 [2] M" };
        const QList<TModuleDef> three { { "192.168.1.2" }, { "10.0.0.9" }, { "192.168.1.10" } };
        QTest::newRow("three of one model, by connection")
            << three << 1
            << QStringList { "Twinlane [1] P", "  10.0.0.9 [2] -", "    Q6120 [5] M", "  192.168.1.10 [2] -",
                   "    Q6120 [5] M", "  192.168.1.2 [2] -", "    Q6120 [5] M" };
        QTest::newRow("three of one model, by server")
            << three << 4
            << QStringList { "Twinlane [1] P", "  Q6120 [5] -", "    10.0.0.9 [2] M", "    192.168.1.10 [2] M",
                   "    192.168.1.2 [2] M" };
        const QList<TModuleDef> named { { "plc-hall" }, { "10.1.1.1" } };
        QTest::newRow("host name, by connection") << named << 1
                                                  << QStringList { "Twinlane [1] P", "  10.1.1.1 [2] -",
                                                         "    Q6120 [5] M", "  plc-hall [3] -", "    Q6120 [5] M" };
        QTest::newRow("host name, by server")
            << named << 4
            << QStringList { "Twinlane [1] P", "  Q6120 [5] -", "    10.1.1.1 [2] M", "    plc-hall [3] M" };
        const QList<TModuleDef> mixed { { "10.0.0.1", 16, 8, 1 }, { "10.0.0.2", 17, 0x40, 1 } };
        QTest::newRow("kinds and labels, by connection")
            << mixed << 1
            << QStringList { "Twinlane [1] P", "  10.0.0.1 [2] -", "    Q6120-< 1> [6] M", "  10.0.0.2 [2] -",
                   "    Q6120 [7] M" };
        // The group takes the picture of the last module placed under it.
        QTest::newRow("kinds and labels, by server")
            << mixed << 4
            << QStringList { "Twinlane [1] P", "  Q6120 [7] -", "    10.0.0.1-< 1> [2] M", "    10.0.0.2 [2] M" };
        QTest::newRow("no modules") << QList<TModuleDef> {} << 1 << QStringList { "Twinlane [1] P" };
    }
    void productTree()
    {
        QFETCH(QList<TModuleDef>, modules);
        QFETCH(int, sortMode);
        QFETCH(QStringList, tree);
        TFixture f;
        for (const TModuleDef& s : modules)
            QVERIFY(f.Add(s));
        QTreeWidget view;
        f.product.BuildTree(sortMode, &view, nullptr);
        SortTreeByText(&view);
        QCOMPARE(DumpTree(&view), tree);
    }

    void childModuleBelowItsModule()
    {
        // A module that belongs to another one hangs below that one's node.
        TFixture f;
        TIOMod* gateway = f.Add({ QStringLiteral("10.0.0.2") });
        auto* child = new TTestMod(0, 33, 8, 7);
        child->Attach(new QLabel, &f.host, gateway);
        child->AttachToList(f.product.Modules(), &f.host, QStringLiteral("10.0.0.2"));
        f.product.RefreshLists();
        QTreeWidget view;
        f.product.BuildTree(1, &view, nullptr);
        QCOMPARE(DumpTree(&view),
            (QStringList { "Twinlane [1] P", "  10.0.0.2 [2] -", "    Q6120 [5] M", "      Q6120-< 7> [6] M" }));
    }

    void treeSortOrder_data()
    {
        QTest::addColumn<QStringList>("texts");
        QTest::addColumn<QStringList>("sorted");
        QTest::newRow("addresses as text") << QStringList { "192.168.1.2", "192.168.1.10", "10.0.0.9" }
                                           << QStringList { "10.0.0.9", "192.168.1.10", "192.168.1.2" };
        QTest::newRow("equal texts keep their place") << QStringList { "b", "a", "b" } << QStringList { "a", "b", "b" };
    }
    void treeSortOrder()
    {
        QFETCH(QStringList, texts);
        QFETCH(QStringList, sorted);
        QTreeWidget tree;
        QTreeWidgetItem* root = AddChildNode(&tree, nullptr, QStringLiteral("root"));
        for (const QString& t : texts)
            AddChildNode(&tree, AddChildNode(&tree, root, t), QStringLiteral("z") + t);
        SortTreeByText(&tree);
        QStringList got;
        for (int i = 0; i < root->childCount(); ++i) {
            got << root->child(i)->text(0);
            QCOMPARE(root->child(i)->child(0)->text(0), QStringLiteral("z") + got.last()); // children move along
        }
        QCOMPARE(got, sorted);
    }

    void productPageRefresh()
    {
        TFixture f;
        auto* page = qobject_cast<TfmTwinlane*>(f.product.Page.data());
        QAbstractItemModelTester tester(
            page->lvPraxon->model(), QAbstractItemModelTester::FailureReportingMode::QtTest);
        QCOMPARE(page->lvPraxon->columnCount(), 4);
        QCOMPARE(page->lvPraxon->horizontalHeaderItem(2)->text(), QStringLiteral("Connection"));
        QCOMPARE(page->lvPraxon->columnWidth(0), 30);
        QCOMPARE(page->lvPraxon->columnWidth(1), 100);
        // No list yet: Refresh shows nothing.
        f.Add({ QStringLiteral("10.0.0.1") });
        page->btnRefresh->click();
        QCOMPARE(page->lvPraxon->rowCount(), 0);

        TIOMod* b = f.Add({ QStringLiteral("10.0.0.2") });
        f.Add({ QStringLiteral("plc-3") });
        page->SetModuleList(f.product.Modules());
        QCOMPARE(page->lvPraxon->rowCount(), 3);
        // A deleted module's row stays until Refresh, which numbers again.
        f.product.RemoveModule(b);
        QCOMPARE(page->lvPraxon->rowCount(), 3);
        QCOMPARE(page->lvPraxon->item(1, 2)->text(), QStringLiteral("10.0.0.2"));
        page->btnRefresh->click();
        QCOMPARE(page->lvPraxon->rowCount(), 2);
        const QStringList row0 { "1", "Q6120", "10.0.0.1", "Twinlane Ethernet Peer-to-Peer I/O Server (8DI + 8DO)" };
        const QStringList row1 { "2", "Q6120", "plc-3", "Twinlane Ethernet Peer-to-Peer I/O Server (8DI + 8DO)" };
        for (int c = 0; c < 4; ++c) {
            QCOMPARE(page->lvPraxon->item(0, c)->text(), row0[c]);
            QCOMPARE(page->lvPraxon->item(1, c)->text(), row1[c]);
        }
        QCOMPARE(page->Label16->text(), QStringLiteral("Twinlane"));
        QCOMPARE(page->Image1->height(), 41);
    }

    void bannerCopiedOnAttach()
    {
        BannerImage = QImage(8, 2, QImage::Format_RGB888);
        BannerImage.fill(Qt::red);
        QWidget host;
        TTwinlane product;
        product.Attach(new TfmTwinlane(nullptr, &product), &host, nullptr);
        auto* page = qobject_cast<TfmTwinlane*>(product.Page.data());
        QCOMPARE(page->Image1->Image(), BannerImage);
        product.Detach();
        BannerImage = QImage();
    }
};

QTEST_MAIN(TestModel)
#include "tst_model.moc"
