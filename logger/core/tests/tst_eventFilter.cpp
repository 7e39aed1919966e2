// Filtering an event table, and exporting what is shown as a log file.
#include "logger/core/csvExport.h"
#include "logger/core/eventFilterModel.h"
#include "logger/core/eventSymbol.h"
#include "logger/core/logFormat.h"
#include "logger/core/tests/akTestData.h"

#include <QAbstractItemModelTester>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QTemporaryDir>
#include <QTest>

namespace {

// A known day: rows in file order; one bad line leaves its row empty.
const QByteArray kLog = "01,\"Cold Start\",\"3/1/2026 8:0:0\",\"Pump Hall A\",10.0.0.1,--\r\n"
                        "02,Off-Line,\"3/1/2026 8:1:0\",\"Pump Hall A\",10.0.0.1,10.0.0.2\r\n"
                        "03,On-Line,\"3/1/2026 8:2:0\",\"Pump Hall A\",10.0.0.1,10.0.0.2\r\n"
                        "a broken line\r\n"
                        "05,Off-Line,\"3/1/2026 9:0:0\",Boiler,10.0.1.7,10.0.0.1\r\n"
                        "06,\"Warm Start\",\"3/1/2026 9:5:0\",Boiler,10.0.1.7,--\r\n"
                        "07,\"Event 9\",\"3/1/2026 9:6:0\",\"\xC9tage 3\",10.0.2.30,--\r\n";

QByteArrayList Names(const QAbstractItemModel& m)
{
    QByteArrayList out;
    for (int r = 0; r < m.rowCount(); ++r)
        out.append(m.index(r, colSourceName).data().toString().toLatin1() + '/'
            + m.index(r, colEventType).data().toString().toLatin1());
    return out;
}

TEventFilter Types(bool cold, bool warm, bool off, bool on)
{
    TEventFilter f;
    f.types = { cold, warm, off, on };
    return f;
}

TEventFilter Source(const QString& s)
{
    TEventFilter f;
    f.source = s;
    return f;
}

TEventFilter Text(const QString& s)
{
    TEventFilter f;
    f.text = s;
    return f;
}

} // namespace

Q_DECLARE_METATYPE(TEventFilter)

class TestEventFilter : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    TEventTableModel m_table;

    QString Write(const QString& name, const QByteArray& bytes)
    {
        const QString path = m_dir.filePath(name);
        QFile f(path);
        if (f.open(QIODevice::WriteOnly))
            f.write(bytes);
        return path;
    }

private slots:
    void init() { QCOMPARE(LoadLogFile(Write(QStringLiteral("day.log"), kLog), m_table), 6); }

    void rowsShown_data()
    {
        QTest::addColumn<TEventFilter>("filter");
        QTest::addColumn<QByteArrayList>("shown");
        const QByteArray pumpCold = "Pump Hall A/Cold Start", pumpOff = "Pump Hall A/Off-Line",
                         pumpOn = "Pump Hall A/On-Line", boilerOff = "Boiler/Off-Line",
                         boilerWarm = "Boiler/Warm Start", etage = "\xC9tage 3/Event 9";
        QTest::newRow("none: every row, the empty one too")
            << TEventFilter() << QByteArrayList { pumpCold, pumpOff, pumpOn, "/", boilerOff, boilerWarm, etage };
        QTest::newRow("Off-Line only") << Types(false, false, true, false) << QByteArrayList { pumpOff, boilerOff };
        // An unknown type carries tag 0 and goes with Cold Start.
        QTest::newRow("no Cold Start") << Types(false, true, true, true)
                                       << QByteArrayList { pumpOff, pumpOn, boilerOff, boilerWarm };
        QTest::newRow("no type") << Types(false, false, false, false) << QByteArrayList {};
        QTest::newRow("source name, any case")
            << Source(QStringLiteral("boiler")) << QByteArrayList { boilerOff, boilerWarm };
        QTest::newRow("source address part")
            << Source(QStringLiteral("10.0.1.")) << QByteArrayList { boilerOff, boilerWarm };
        // The destination is no source.
        QTest::newRow("destination is not a source") << Source(QStringLiteral("10.0.0.2")) << QByteArrayList {};
        QTest::newRow("non-ASCII name, other case") << Source(QStringLiteral("\u00E9tage")) << QByteArrayList { etage };
        QTest::newRow("text in the date") << Text(QStringLiteral("9:0:0")) << QByteArrayList { boilerOff };
        QTest::newRow("text in the destination")
            << Text(QStringLiteral("10.0.0.2")) << QByteArrayList { pumpOff, pumpOn };
        QTest::newRow("text in #") << Text(QStringLiteral("06")) << QByteArrayList { boilerWarm };
        QTest::newRow("text in the type") << Text(QStringLiteral("start")) << QByteArrayList { pumpCold, boilerWarm };
        TEventFilter both = Source(QStringLiteral("pump"));
        both.types = { true, true, true, false };
        both.text = QStringLiteral("10.0.0.2");
        QTest::newRow("all together") << both << QByteArrayList { pumpOff };
        QTest::newRow("a character no cell can hold") << Text(QStringLiteral("\u20AC")) << QByteArrayList {};
    }
    void rowsShown()
    {
        QFETCH(TEventFilter, filter);
        QFETCH(QByteArrayList, shown);
        TEventFilterModel model;
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        model.SetTable(&m_table);
        model.SetFilter(filter);
        QCOMPARE(Names(model), shown);
    }

    // The filter keeps up with new alarms, sorts and clearing, and the
    // model stays consistent (the tester checks every signal).
    void followsTheTable()
    {
        TEventFilterModel model;
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        model.SetTable(&m_table);
        model.SetFilter(Types(false, false, true, false));
        SortGrid(m_table, colSourceName, true);
        QCOMPARE(Names(model), (QByteArrayList { "Boiler/Off-Line", "Pump Hall A/Off-Line" }));
        m_table.AddAlarm(*DecodeAlarm(EncodeAlarmMessage(ExampleAlarm(2, "Crane"))));
        m_table.AddAlarm(*DecodeAlarm(EncodeAlarmMessage(ExampleAlarm(3, "Crane"))));
        SortGrid(m_table, colSourceName, true);
        QCOMPARE(Names(model), (QByteArrayList { "Boiler/Off-Line", "Crane/Off-Line", "Pump Hall A/Off-Line" }));
        SortGrid(m_table, colNumber, false);
        QCOMPARE(model.index(0, colNumber).data().toString(), QStringLiteral("08"));
        m_table.Clear();
        QCOMPARE(model.rowCount(), 0);
        model.SetFilter(TEventFilter());
        QCOMPARE(model.rowCount(), 1);
    }

    // What a filtered view exports, the log reader reads back as the same
    // rows; "#" counts the lines of the new file.
    void exportReadsBack()
    {
        TEventFilterModel model;
        model.SetTable(&m_table);
        TEventFilter filter = Source(QStringLiteral("a"));
        filter.types = { true, false, true, true };
        model.SetFilter(filter);
        SortGrid(m_table, colDateTime, false);
        const std::vector<int> rows = model.ShownTableRows();
        QCOMPARE(rows.size(), size_t(4));
        const QString path = m_dir.filePath(QStringLiteral("export.log"));
        QVERIFY(ExportRows(m_table, rows, path));
        TEventTableModel back;
        QCOMPARE(LoadLogFile(path, back), int(rows.size()));
        for (size_t i = 0; i < rows.size(); ++i) {
            QCOMPARE(back.CellText(int(i), colNumber), FormatRowNumber(int(i) + 1));
            for (int c = colEventType; c < kEventColumnCount; ++c)
                QCOMPARE(back.CellText(int(i), c), m_table.CellText(rows[i], c));
            QCOMPARE(back.Tag(int(i)), m_table.Tag(rows[i]));
        }
        // The file is the log's own line format.
        QFile f(path);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QVERIFY(f.readAll().startsWith(
            CommaText(m_table.Record(rows[0]).cells) + "\r\n" + CommaText(m_table.Record(rows[1]).cells) + "\r\n"));
    }

    void exportFailureReported()
    {
        QString error;
        QVERIFY(!ExportRows(m_table, { 0 }, m_dir.filePath(QStringLiteral("no/such/dir/x.log")), &error));
        QVERIFY(error.contains(QStringLiteral("no/such/dir/x.log")));
    }

    // The four symbols differ in shape, not just colour.
    void symbolsDistinct()
    {
        QList<QImage> masks;
        for (int code = 0; code < kEventTypeCount; ++code) {
            const QIcon icon = EventSymbolIcon(code, Qt::black);
            QVERIFY(!icon.isNull());
            masks.append(icon.pixmap(kEventSymbolSize).toImage().convertToFormat(QImage::Format_Alpha8));
        }
        for (int a = 0; a < masks.size(); ++a)
            for (int b = a + 1; b < masks.size(); ++b)
                QVERIFY2(masks[a] != masks[b], qPrintable(QStringLiteral("%1 and %2 alike").arg(a).arg(b)));
        QVERIFY(EventSymbolIcon(kEventTypeCount, Qt::black).isNull());
    }
};

QTEST_MAIN(TestEventFilter)
#include "tst_eventFilter.moc"
