#include "logger/core/blockList.h"
#include "logger/core/eventTypes.h"
#include "logger/core/tests/akTestData.h"

#include <QAbstractItemModelTester>
#include <QBrush>
#include <QGuiApplication>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QTest>

namespace {

TEventRecord Rec(int tag, QByteArray time, QByteArray name = "n")
{
    return { { "", EventTypeName(tag).toLatin1(), time, name, "1.2.3.4", tag >= 2 ? "5.6.7.8" : "--" }, tag };
}

} // namespace

class TestEventTable : public QObject {
    Q_OBJECT
private slots:
    void sortKey_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<int>("kind");
        QTest::addColumn<QByteArray>("key");
        const int num = int(TSortKind::Numeric), text = int(TSortKind::Text);
        QTest::newRow("number") << QByteArray("07") << num << QByteArray("000000007");
        QTest::newRow("blanks at both ends") << QByteArray(" \t100 \r") << num << QByteArray("000000100");
        QTest::newRow("not a number") << QByteArray("1a") << num << QByteArray("000000000");
        QTest::newRow("empty") << QByteArray() << num << QByteArray("000000000");
        QTest::newRow("too large for 32 bits") << QByteArray("99999999999") << num << QByteArray("000000000");
        QTest::newRow("ten digits kept") << QByteArray("1234567890") << num << QByteArray("1234567890");
        QTest::newRow("negative") << QByteArray("-5") << num << QByteArray("-000000005");
        QTest::newRow("text unchanged") << QByteArray(" 10/1/2007 ") << text << QByteArray(" 10/1/2007 ");
    }
    void sortKey()
    {
        QFETCH(QByteArray, text);
        QFETCH(int, kind);
        QFETCH(QByteArray, key);
        QCOMPARE(SortKey(text, TSortKind(kind)), key);
    }

    void keyCompare()
    {
        QVERIFY(SortKeyLess("ab", "abc"));
        QVERIFY(SortKeyLess("Z", "\xE9")); // unsigned bytes
        QVERIFY(!SortKeyLess("abc", "abc"));
    }

    void sortGrid_data()
    {
        QTest::addColumn<int>("column");
        QTest::addColumn<bool>("ascending");
        QTest::addColumn<QByteArrayList>("first"); // the first cells of the column after the sort
        QTest::newRow("# ascending is numeric") << 0 << true << QByteArrayList { "01", "02", "03" };
        QTest::newRow("# descending") << 0 << false << QByteArrayList { "101", "100", "99" };
        QTest::newRow("dates ascending are text")
            << 2 << true << QByteArrayList { "10/1/2007 0:0:0", "9/30/2007 0:0:0", "9/30/2007 0:0:0" };
        QTest::newRow("dates descending") << 2 << false << QByteArrayList { "9/30/2007 0:0:0" };
    }
    void sortGrid()
    {
        TEventTableModel t;
        QAbstractItemModelTester tester(&t, QAbstractItemModelTester::FailureReportingMode::QtTest);
        for (int i = 0; i < 101; ++i)
            t.AddAlarm(Rec(i % 4, i == 50 ? "10/1/2007 0:0:0" : "9/30/2007 0:0:0"));
        QFETCH(int, column);
        QFETCH(bool, ascending);
        ::SortGrid(t, column, ascending);
        QVERIFY(InOrder(t, column, ascending));
        QVERIFY(t.IsSortedBy(column, ascending));
        QFETCH(QByteArrayList, first);
        QCOMPARE(Column(t, column).mid(0, first.size()), first);
        // Rows travel whole: "#" and tag stay with their texts.
        for (int r = 0; r < t.rowCount(); ++r) {
            const int number = t.CellText(r, 0).toInt();
            QCOMPARE(t.Tag(r), (number - 1) % 4);
            QCOMPARE(t.CellText(r, 1), EventTypeName((number - 1) % 4).toLatin1());
        }
    }

    void selectionFollowsItsRow()
    {
        TEventTableModel t;
        for (int i = 0; i < 10; ++i)
            t.AddAlarm(Rec(2, "t"));
        const QPersistentModelIndex third(t.index(2, 3));
        ::SortGrid(t, 0, false);
        QCOMPARE(third.row(), 7);
        QCOMPARE(t.CellText(third.row(), 0), QByteArray("03"));
    }

    // A new alarm in a sorted table lands where a full sort would put it.
    void newAlarmKeepsTheOrder_data()
    {
        QTest::addColumn<int>("column");
        QTest::addColumn<bool>("ascending");
        for (int c = 0; c < kEventColumnCount; ++c) {
            QTest::addRow("column %d ascending", c) << c << true;
            QTest::addRow("column %d descending", c) << c << false;
        }
    }
    void newAlarmKeepsTheOrder()
    {
        QFETCH(int, column);
        QFETCH(bool, ascending);
        TEventTableModel t;
        QAbstractItemModelTester tester(&t, QAbstractItemModelTester::FailureReportingMode::QtTest);
        QRandomGenerator rng(column * 2 + ascending);
        auto random = [&] {
            return Rec(int(rng.bounded(4)), FormatAlarmTime(rng.bounded(13), rng.bounded(32), 2007, 0, 0, 0),
                QByteArray::number(rng.bounded(50)));
        };
        for (int i = 0; i < 200; ++i) {
            t.AddAlarm(random());
            ::SortGrid(t, column, ascending);
            QVERIFY(InOrder(t, column, ascending));
        }
        QCOMPARE(t.rowCount(), 200);
        QByteArrayList numbers = Column(t, 0);
        std::sort(numbers.begin(), numbers.end(), [](auto& a, auto& b) { return a.toInt() < b.toInt(); });
        for (int i = 0; i < 200; ++i)
            QCOMPARE(numbers[i], FormatRowNumber(i + 1));
    }

    // Inserts at the front, the back and anywhere, across block splits.
    void blockListMatchesAVector_data()
    {
        QTest::addColumn<int>("where"); // 0 front, 1 back, 2 random
        QTest::newRow("front") << 0;
        QTest::newRow("back") << 1;
        QTest::newRow("anywhere") << 2;
    }
    void blockListMatchesAVector()
    {
        QFETCH(int, where);
        TBlockList<int> list;
        std::vector<int> plain;
        QRandomGenerator rng(where);
        for (int i = 0; i < 3000; ++i) {
            const size_t at = where == 0 ? 0 : where == 1 ? plain.size() : rng.bounded(int(plain.size()) + 1);
            list.insert(at, i);
            plain.insert(plain.begin() + std::ptrdiff_t(at), i);
        }
        QCOMPARE(list.size(), plain.size());
        for (size_t i = 0; i < plain.size(); ++i)
            QCOMPARE(list[i], plain[i]);
        QCOMPARE(list.back(), plain.back());
        std::vector<int> copy = plain;
        list.assign(std::move(copy));
        std::vector<int> walked;
        list.ForEach([&](int v) { walked.push_back(v); });
        QCOMPARE(walked, plain);
        list.insert(700, -1);
        QCOMPARE(list[700], -1);
        QCOMPARE(list[701], plain[700]);
    }

    void emptyRowTakesTheFirstAlarm()
    {
        TEventTableModel t;
        QCOMPARE(t.rowCount(), 1);
        QVERIFY(t.RowEmpty(0));
        QCOMPARE(t.AddAlarm(Rec(1, "t")), 0);
        QCOMPARE(t.rowCount(), 1);
        QCOMPARE(t.CellText(0, 0), QByteArray("01"));
        t.AddAlarm(Rec(1, "t"));
        QCOMPARE(t.CellText(1, 0), QByteArray("02"));
        t.Clear();
        QCOMPARE(t.rowCount(), 1);
        QVERIFY(t.RowEmpty(0));
        QCOMPARE(t.Tag(0), 0);
    }

    void sortWhileSortingIsSkipped()
    {
        TEventTableModel t;
        for (int i = 0; i < 3; ++i)
            t.AddAlarm(Rec(0, "t"));
        Sorting = true;
        ::SortGrid(t, 0, false);
        Sorting = false;
        QCOMPARE(Column(t, 0), (QByteArrayList { "01", "02", "03" }));
        ::SortGrid(t, 0, false);
        QCOMPARE(Column(t, 0), (QByteArrayList { "03", "02", "01" }));
        QVERIFY(!Sorting);
    }

    void colors()
    {
        TEventTableModel t;
        QAbstractItemModelTester tester(&t, QAbstractItemModelTester::FailureReportingMode::QtTest);
        for (int tag = 0; tag < 4; ++tag)
            t.AddAlarm(Rec(tag, "t"));
        for (int r = 0; r < 4; ++r) {
            QCOMPARE(t.data(t.index(r, 0), Qt::ForegroundRole), QVariant());
            for (int c = 1; c < kEventColumnCount; ++c)
                QCOMPARE(t.data(t.index(r, c), Qt::ForegroundRole).value<QBrush>().color(), EventColor(r));
        }
        QCOMPARE(t.data(t.index(2, 1), Qt::ForegroundRole).value<QBrush>().color(), QColor(255, 0, 0));
        QCOMPARE(t.headerData(0, Qt::Horizontal, Qt::ForegroundRole), QVariant());

        QSignalSpy changed(&t, &QAbstractItemModel::dataChanged);
        const uint32_t old = EventTypeTable[2].Color;
        EventTypeTable[2].Color = 0xFF0000u; // blue
        t.ApplyColors();
        QCOMPARE(changed.size(), 1);
        QCOMPARE(t.data(t.index(2, 3), Qt::ForegroundRole).value<QBrush>().color(), QColor(0, 0, 255));
        EventTypeTable[2].Color = old;
    }

    void headers()
    {
        TEventTableModel t;
        const QStringList captions { "#", "Event type", "Event Date/Time", "Source Name", "Source IP",
            "Destination IP" };
        for (int c = 0; c < kEventColumnCount; ++c) {
            QCOMPARE(t.headerData(c, Qt::Horizontal).toString(), captions[c]);
            QVERIFY(t.headerData(c, Qt::Horizontal, Qt::FontRole).value<QFont>().bold());
        }
        QVERIFY(!(t.flags(t.index(0, 1)) & Qt::ItemIsEditable));
    }
};

QTEST_MAIN(TestEventTable)
#include "tst_eventTable.moc"
