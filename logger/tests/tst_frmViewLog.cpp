#include "lab/testsupport/qt/modalAnswerer.h"
#include "logger/core/akSettings.h"
#include "logger/core/logFormat.h"
#include "logger/core/tests/akTestData.h"
#include "logger/frmMain.h"
#include "logger/frmViewLog.h"

#include <QAbstractItemModelTester>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

namespace {

const QByteArray kDay = "3,On-Line,\"9/30/2007 1:0:0\",m,10.0.0.2,1.1.1.1\r\n"
                        "1,Off-Line,\"10/1/2007 1:0:0\",z,10.0.0.9,1.1.1.2\r\n"
                        "2,\"Cold Start\",\"1/5/2007 1:0:0\",a,10.0.0.1,--\r\n"
                        "broken,line\r\n"
                        "9,\"Warm Start\",\"2/2/2007 1:0:0\",b,10.0.0.3,--\r\n";

} // namespace

class TestViewer : public QObject {
    Q_OBJECT
    QTemporaryDir m_dir;
    QString m_path;

private slots:
    void initTestCase()
    {
        qputenv("KORVEL_MACHINE_SETTINGS", m_dir.filePath(QStringLiteral("machine.ini")).toLocal8Bit());
        m_path = m_dir.filePath(LogFileName(QDate(2007, 10, 1)));
    }
    void init()
    {
        QFile f(m_path);
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(kDay);
    }

    void opensInFileOrder()
    {
        TfmViewLog viewer(QDate(2007, 10, 1), m_path);
        QAbstractItemModelTester tester(viewer.EventModel(), QAbstractItemModelTester::FailureReportingMode::QtTest);
        QCOMPARE(viewer.windowTitle(),
            QStringLiteral("Alarm Log Viewer - ") + QLocale().toString(QDate(2007, 10, 1), QLocale::ShortFormat));
        QCOMPARE(viewer.lbRecords->text(), QStringLiteral("4 alarm event(s)"));
        QCOMPARE(Column(*viewer.EventModel(), 0), (QByteArrayList { "01", "02", "03", "", "05" }));
        QCOMPARE(Column(*viewer.EventModel(), 3), (QByteArrayList { "m", "z", "a", "", "b" }));
        QCOMPARE(viewer.btnReload->text(), QStringLiteral("Reload"));
    }

    // The first click sorts descending, the next ascending, whatever the
    // columns; border lines and the grid below the header do nothing.
    void headerClicks_data()
    {
        QTest::addColumn<QStringList>("clicks"); // "centre N", "border N", "below"
        QTest::addColumn<QList<int>>("sortedCol"); // after each click; -1: file order
        QTest::addColumn<QList<bool>>("sortedAsc");
        QTest::newRow("same column twice")
            << QStringList { "centre 2", "centre 2" } << QList<int> { 2, 2 } << QList<bool> { false, true };
        QTest::newRow("other columns alternate") << QStringList { "centre 3", "centre 0", "centre 4" }
                                                 << QList<int> { 3, 0, 4 } << QList<bool> { false, true, false };
        QTest::newRow("border line does nothing")
            << QStringList { "border 2", "centre 1" } << QList<int> { -1, 1 } << QList<bool> { false, false };
        QTest::newRow("below the header does nothing")
            << QStringList { "below", "centre 1" } << QList<int> { -1, 1 } << QList<bool> { false, false };
    }
    void headerClicks()
    {
        QFETCH(QStringList, clicks);
        QFETCH(QList<int>, sortedCol);
        QFETCH(QList<bool>, sortedAsc);
        TfmViewLog viewer(QDate(2007, 10, 1), m_path);
        viewer.show();
        QVERIFY(QTest::qWaitForWindowExposed(&viewer));
        const TEventTableModel& t = *viewer.EventModel();
        TEventHeader* header = viewer.xgEvent->Header();
        const QByteArrayList fileOrder = Column(t, 3);
        for (int i = 0; i < clicks.size(); ++i) {
            const QStringList parts = clicks[i].split(QLatin1Char(' '));
            if (parts[0] == QLatin1String("below")) {
                QTest::mouseClick(viewer.xgEvent->viewport(), Qt::LeftButton, {}, QPoint(100, 30));
            } else {
                const int c = parts[1].toInt();
                const int left = header->sectionViewportPosition(c);
                const int x = parts[0] == QLatin1String("centre") ? left + header->sectionSize(c) / 2 : left;
                QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, QPoint(x, header->height() / 2));
            }
            if (sortedCol[i] < 0) {
                QCOMPARE(Column(t, 3), fileOrder);
            } else {
                QVERIFY2(InOrder(t, sortedCol[i], sortedAsc[i]), qPrintable(clicks[i]));
                QVERIFY(t.IsSortedBy(sortedCol[i], sortedAsc[i]));
            }
        }
        QVERIFY(!QFileInfo::exists(m_dir.filePath(QStringLiteral("machine.ini")))); // nothing stored
    }

    void reloadShowsTheFileAgain()
    {
        TfmViewLog viewer(QDate(2007, 10, 1), m_path);
        SortGrid(*viewer.EventModel(), 3, true);
        QFile f(m_path);
        QVERIFY(f.open(QIODevice::Append));
        f.write("6,On-Line,t,new,1.2.3.4,5.6.7.8\r\n");
        f.close();
        viewer.btnReloadClick();
        QCOMPARE(viewer.lbRecords->text(), QStringLiteral("5 alarm event(s)"));
        QCOMPARE(Column(*viewer.EventModel(), 3), (QByteArrayList { "m", "z", "a", "", "b", "new" }));
    }

    void unreadableFile()
    {
        const QString folder = m_dir.filePath(QStringLiteral("folder.log"));
        QVERIFY(QDir().mkpath(folder));
        twltest::ModalAnswerer boxes;
        TfmViewLog viewer(QDate(2007, 10, 1), folder);
        QCOMPARE(boxes.texts.size(), 1);
        QVERIFY(boxes.texts[0].contains(folder));
        QCOMPARE(viewer.lbRecords->text(), QString());
        QCOMPARE(viewer.EventModel()->rowCount(), 1);
    }
};

QTEST_MAIN(TestViewer)
#include "tst_frmViewLog.moc"
