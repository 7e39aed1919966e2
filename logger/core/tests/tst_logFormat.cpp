#include "logger/core/eventTableModel.h"
#include "logger/core/logFormat.h"

#include <QAbstractItemModelTester>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <sys/resource.h>

using Fields = std::array<QByteArray, kEventColumnCount>;
Q_DECLARE_METATYPE(Fields)

namespace {
using ByteList = QList<QByteArray>;

ByteList Split(QByteArrayView line)
{
    ByteList out;
    for (const QByteArray& f : SplitCommaText(line))
        out.append(f);
    return out;
}

void WriteFile(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(bytes);
}
} // namespace

class TestLogFormat : public QObject {
    Q_OBJECT
    QTemporaryDir m_dir;

private slots:
    void fileName_data()
    {
        QTest::addColumn<QDate>("date");
        QTest::addColumn<QString>("name");
        QTest::newRow("example day") << QDate(2007, 4, 30) << "akEvent_070430.log";
        QTest::newRow("year 2000, padded") << QDate(2000, 1, 2) << "akEvent_000102.log";
        QTest::newRow("year 2026") << QDate(2026, 12, 10) << "akEvent_261210.log";
    }
    void fileName()
    {
        QFETCH(QDate, date);
        QFETCH(QString, name);
        QCOMPARE(LogFileName(date), name);
        QCOMPARE(LogFilePath(QStringLiteral("/x/log"), date), QStringLiteral("/x/log/") + LogFileName(date));
    }

    void commaText_data()
    {
        QTest::addColumn<Fields>("fields");
        QTest::addColumn<QByteArray>("line");
        QTest::newRow("example alarm") << Fields { "01", "Off-Line", "4/30/2007 8:5:3", "Peer A", "192.168.19.7",
            "192.168.19.9" } << QByteArray("01,Off-Line,\"4/30/2007 8:5:3\",\"Peer A\",192.168.19.7,192.168.19.9");
        QTest::newRow("names with a space are quoted") << Fields { "02", "Cold Start", "1/1/2007 0:0:0", "x", "1.2.3.4",
            "--" } << QByteArray("02,\"Cold Start\",\"1/1/2007 0:0:0\",x,1.2.3.4,--");
        QTest::newRow("quote, comma, control byte, empty")
            << Fields { "03", "On-Line", "d", "a\"b,c", "\t", "" } << QByteArray("03,On-Line,d,\"a\"\"b,c\",\"\t\",");
        QTest::newRow("empty name gives two commas")
            << Fields { "04", "On-Line", "d", "", "s", "t" } << QByteArray("04,On-Line,d,,s,t");
    }
    void commaText()
    {
        QFETCH(Fields, fields);
        QFETCH(QByteArray, line);
        QCOMPARE(CommaText(fields), line);
    }

    void splitFields_data()
    {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<ByteList>("fields");
        QTest::newRow("plain") << QByteArray("a,b,c") << ByteList { "a", "b", "c" };
        QTest::newRow("quoted with doubled quote")
            << QByteArray("\"a \"\"q\"\",b\",c") << ByteList { "a \"q\",b", "c" };
        QTest::newRow("unquoted field ends at a space") << QByteArray("Peer A,x") << ByteList { "Peer", "A", "x" };
        QTest::newRow("blanks around commas skipped") << QByteArray("  a ,  b") << ByteList { "a", "b" };
        QTest::newRow("two commas give an empty field") << QByteArray("a,,b") << ByteList { "a", "", "b" };
        QTest::newRow("last comma adds an empty field") << QByteArray("a,b,") << ByteList { "a", "b", "" };
        QTest::newRow("comma then blanks at the end adds none") << QByteArray("a, ") << ByteList { "a" };
        QTest::newRow("empty line") << QByteArray("") << ByteList {};
        QTest::newRow("blanks only") << QByteArray("   \t") << ByteList {};
        QTest::newRow("open quote runs to the end") << QByteArray("a,\"b,c") << ByteList { "a", "b,c" };
        QTest::newRow("text after a closing quote starts a field")
            << QByteArray("\"a\"b,c") << ByteList { "a", "b", "c" };
        QTest::newRow("zero byte ends the line") << QByteArray("a,b\0,c", 6) << ByteList { "a", "b" };
        QTest::newRow("single bytes kept") << QByteArray("\xE9t\xE9") << ByteList { "\xE9t\xE9" };
    }
    void splitFields()
    {
        QFETCH(QByteArray, line);
        QFETCH(ByteList, fields);
        QCOMPARE(Split(line), fields);
    }

    void splitLines_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<ByteList>("lines");
        QTest::newRow("CR LF") << QByteArray("a\r\nb\r\n") << ByteList { "a", "b" };
        QTest::newRow("LF") << QByteArray("a\nb\n") << ByteList { "a", "b" };
        QTest::newRow("CR") << QByteArray("a\rb\r") << ByteList { "a", "b" };
        QTest::newRow("last line without end") << QByteArray("a\r\nb") << ByteList { "a", "b" };
        QTest::newRow("empty lines kept") << QByteArray("a\n\n\r\nb") << ByteList { "a", "", "", "b" };
        QTest::newRow("LF CR is two ends") << QByteArray("a\n\rb") << ByteList { "a", "", "b" };
        QTest::newRow("zero byte ends the text") << QByteArray("a\nb\0c\nd", 7) << ByteList { "a", "b" };
        QTest::newRow("empty") << QByteArray() << ByteList {};
    }
    void splitLines()
    {
        QFETCH(QByteArray, text);
        QFETCH(ByteList, lines);
        ByteList got;
        SplitLines(text, [&](QByteArrayView l) { got.append(l.toByteArray()); });
        QCOMPARE(got, lines);
    }

    // What is written comes back, "#" aside, which follows the line position.
    void roundTrip_data()
    {
        QTest::addColumn<QByteArray>("name");
        QTest::newRow("comma") << QByteArray("a,b");
        QTest::newRow("quote") << QByteArray("say \"hi\"");
        QTest::newRow("leading blanks") << QByteArray("   lead");
        QTest::newRow("trailing blank") << QByteArray("trail ");
        QTest::newRow("empty") << QByteArray();
        QTest::newRow("only a quote") << QByteArray("\"");
        QTest::newRow("Latin-1 bytes") << QByteArray("Halle \xC4\xD6\xDC\xFF");
        QTest::newRow("39 characters") << QByteArray(39, 'n');
    }
    void roundTrip()
    {
        QFETCH(QByteArray, name);
        const QString path = m_dir.filePath(QStringLiteral("rt.log"));
        QFile::remove(path);
        const Fields first { "07", "Off-Line", "4/30/2007 8:5:3", name, "192.168.19.7", "192.168.19.9" };
        const Fields second { "08", "Warm Start", "5/1/2007 23:59:59", name, "10.0.0.1", "--" };
        QVERIFY(AppendLogLine(path, first));
        QVERIFY(AppendLogLine(path, second));
        TEventTableModel table;
        QCOMPARE(LoadLogFile(path, table), 2);
        QCOMPARE(table.rowCount(), 2);
        for (int c = 1; c < kEventColumnCount; ++c) {
            QCOMPARE(table.CellText(0, c), first[size_t(c)]);
            QCOMPARE(table.CellText(1, c), second[size_t(c)]);
        }
        QCOMPARE(table.CellText(0, 0), QByteArray("01"));
        QCOMPARE(table.CellText(1, 0), QByteArray("02"));
        QCOMPARE(table.Tag(0), 2);
        QCOMPARE(table.Tag(1), 1);
    }

    void exampleLineBytes()
    {
        const QString path = m_dir.filePath(QStringLiteral("ex.log"));
        QFile::remove(path);
        QVERIFY(AppendLogLine(path, { "01", "Off-Line", "4/30/2007 8:5:3", "Peer A", "192.168.19.7", "192.168.19.9" }));
        QFile f(path);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), QByteArray("01,Off-Line,\"4/30/2007 8:5:3\",\"Peer A\",192.168.19.7,192.168.19.9\r\n"));
    }

    void load_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<int>("count");
        QTest::addColumn<ByteList>("rows"); // per row: "#|type|time|name|src|dst|tag"
        const QByteArray l1 = "01,Off-Line,\"4/30/2007 8:5:3\",\"Peer A\",192.168.19.7,192.168.19.9";
        const QByteArray l2 = "02,\"Cold Start\",\"4/30/2007 9:0:0\",B,192.168.19.8,1.1.1.1";
        const QByteArray l3 = "03,On-Line,\"4/30/2007 9:0:1\",C,192.168.19.9,192.168.19.7";
        const ByteList three { "01|Off-Line|4/30/2007 8:5:3|Peer A|192.168.19.7|192.168.19.9|2",
            "02|Cold Start|4/30/2007 9:0:0|B|192.168.19.8|--|0",
            "03|On-Line|4/30/2007 9:0:1|C|192.168.19.9|192.168.19.7|3" };
        QTest::newRow("CR LF") << l1 + "\r\n" + l2 + "\r\n" + l3 + "\r\n" << 3 << three;
        QTest::newRow("LF") << l1 + "\n" + l2 + "\n" + l3 + "\n" << 3 << three;
        QTest::newRow("CR") << l1 + "\r" + l2 + "\r" + l3 << 3 << three;
        QTest::newRow("five fields leave the row empty") << l1 + "\r\n02,On-Line,x,y,z\r\n" + l3 + "\r\n"
                                                         << 2 << ByteList { three[0], "||||||0", three[2] };
        QTest::newRow("unknown name: code 0 and --")
            << QByteArray("09,\"Alarm X\",t,n,1.2.3.4,5.6.7.8\r\n") << 1 << ByteList { "01|Alarm X|t|n|1.2.3.4|--|0" };
        QTest::newRow("name with CR splits, neither piece loads")
            << QByteArray("01,Off-Line,t,\"a\r\nb\",s,d\r\n") << 0 << ByteList { "||||||0", "||||||0" };
        QTest::newRow("empty file keeps one empty row") << QByteArray() << 0 << ByteList { "||||||0" };
    }
    void load()
    {
        const QString path = m_dir.filePath(QStringLiteral("load.log"));
        QFETCH(QByteArray, file);
        QFETCH(int, count);
        WriteFile(path, file);
        TEventTableModel table;
        QAbstractItemModelTester tester(&table, QAbstractItemModelTester::FailureReportingMode::QtTest);
        QCOMPARE(LoadLogFile(path, table), count);
        QFETCH(ByteList, rows);
        QCOMPARE(table.rowCount(), rows.size());
        for (int r = 0; r < rows.size(); ++r) {
            QByteArray got;
            for (int c = 0; c < kEventColumnCount; ++c)
                got += table.CellText(r, c) + '|';
            got += QByteArray::number(table.Tag(r));
            QCOMPARE(got, rows[r]);
        }
    }

    void loadMissingAndUnreadable()
    {
        TEventTableModel table;
        table.AddAlarm({ { "", "On-Line", "t", "n", "s", "d" }, 3 });
        table.AddAlarm({ { "", "On-Line", "t", "n", "s", "d" }, 3 });
        QCOMPARE(table.rowCount(), 2);
        QCOMPARE(LoadLogFile(m_dir.filePath(QStringLiteral("none.log")), table), 0);
        QCOMPARE(table.rowCount(), 1);
        QVERIFY(table.RowEmpty(0));

        // A directory in the file's place can't be read, even by root.
        const QString blocked = m_dir.filePath(QStringLiteral("blocked.log"));
        QVERIFY(QDir().mkpath(blocked));
        table.AddAlarm({ { "", "On-Line", "t", "n", "s", "d" }, 3 });
        table.AddAlarm({ { "", "On-Line", "t", "n", "s", "d" }, 3 });
        QString error;
        QCOMPARE(LoadLogFile(blocked, table, &error), -1);
        QVERIFY(!error.isEmpty());
        QCOMPARE(table.rowCount(), 1);
        QVERIFY(!AppendLogLine(blocked, { "01", "a", "b", "c", "d", "e" }));
        QVERIFY(!AppendLogLine(m_dir.filePath(QStringLiteral("missing/dir/x.log")), { "01", "a", "b", "c", "d", "e" }));
        // A line that does not reach the disk is no success.
        if (QFileInfo::exists(QStringLiteral("/dev/full")))
            QVERIFY(!AppendLogLine(QStringLiteral("/dev/full"), { "01", "a", "b", "c", "d", "e" }));
    }

    // The disk fills in the middle of a line (a file size limit stands for
    // it): the half line is cut off again, and once there is room the next
    // alarm starts a line of its own that loads.
    void fullDiskMidLine()
    {
        const QString path = m_dir.filePath(QStringLiteral("full.log"));
        QFile::remove(path);
        const Fields first { "01", "Off-Line", "4/30/2007 8:5:3", "Peer A", "192.168.19.7", "192.168.19.9" };
        QVERIFY(AppendLogLine(path, first));
        const qint64 size = QFileInfo(path).size();

        const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit saved {};
        QVERIFY(::getrlimit(RLIMIT_FSIZE, &saved) == 0);
        rlimit small = saved;
        small.rlim_cur = rlim_t(size + 20); // room for part of the next line only
        QVERIFY(::setrlimit(RLIMIT_FSIZE, &small) == 0);
        const bool written
            = AppendLogLine(path, { "02", "On-Line", "4/30/2007 8:5:4", "Peer B", "10.0.0.1", "10.0.0.2" });
        ::setrlimit(RLIMIT_FSIZE, &saved);
        std::signal(SIGXFSZ, oldHandler);
        QVERIFY(!written);
        QCOMPARE(QFileInfo(path).size(), size);

        QVERIFY(AppendLogLine(path, { "03", "Warm Start", "4/30/2007 8:5:5", "Peer C", "10.0.0.3", "--" }));
        TEventTableModel table;
        QCOMPARE(LoadLogFile(path, table), 2);
        QCOMPARE(table.rowCount(), 2);
        QCOMPARE(table.CellText(1, 3), QByteArray("Peer C"));
        QCOMPARE(table.Tag(1), 1);
    }
};

QTEST_GUILESS_MAIN(TestLogFormat)
#include "tst_logFormat.moc"
