#include "logger/frmLogDate.h"
#include "logger/frmLogDir.h"
#include "logger/tests/dialogs/clickItem.h"

#include <QCalendarWidget>
#include <QDir>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QTableView>
#include <QTemporaryDir>
#include <QtTest>

namespace {

QStringList Texts(const QListWidget* list)
{
    QStringList texts;
    for (int i = 0; i < list->count(); ++i)
        texts << list->item(i)->text();
    return texts;
}

// The entries for the levels from the root down to path.
QStringList Levels(const QString& path)
{
    QStringList levels { QStringLiteral("/") };
    levels += QDir::cleanPath(path).split('/', Qt::SkipEmptyParts);
    return levels;
}

} // namespace

class TestChoosers : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();

    void listShowsLevelsAndSubdirectories();
    void choosing_data();
    void choosing();
    void longPathIsShortenedButComesBackWhole();
    void shortenPath_data();
    void shortenPath();

    void dateChooser_data();
    void dateChooser();

private:
    QString Path(const QString& relative) const { return relative.isEmpty() ? m_base : m_base + '/' + relative; }

    QTemporaryDir m_temp;
    QString m_base;
};

void TestChoosers::initTestCase()
{
    QVERIFY(m_temp.isValid());
    m_base = QDir::cleanPath(QFileInfo(m_temp.path()).canonicalFilePath());
    for (const char* dir : { "a/b/d", "a/b/c", "a/B2", "a/.hidden" })
        QVERIFY(QDir().mkpath(Path(dir)));
    QFile file(Path("a/b/file.txt"));
    QVERIFY(file.open(QIODevice::WriteOnly));
}

void TestChoosers::listShowsLevelsAndSubdirectories()
{
    TfmLogDir dlg(Path("a/b"));
    dlg.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dlg));

    QCOMPARE(dlg.windowTitle(), QStringLiteral("Log Directory"));
    const QStringList expected = Levels(Path("a/b")) + QStringList { "c", "d" };
    QCOMPARE(Texts(dlg.DirectoryListBox1), expected);
    QCOMPARE(dlg.DirectoryListBox1->currentItem()->text(), QStringLiteral("b"));
    QCOMPARE(dlg.lbDir->toolTip(), Path("a/b"));
}

void TestChoosers::choosing_data()
{
    QTest::addColumn<QString>("start"); // as typed, relative to the temporary folder
    QTest::addColumn<QStringList>("clicks");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<QString>("current"); // relative
    QTest::addColumn<QString>("result"); // relative, or the start text when it starts with "="

    QTest::newRow("OK without a click") << "a/b" << QStringList {} << true << "a/b"
                                        << "a/b";
    QTest::newRow("into a subdirectory") << "a/b" << QStringList { "c" } << true << "a/b/c"
                                         << "a/b/c";
    QTest::newRow("up to a level of the path") << "a/b" << QStringList { "a" } << true << "a"
                                               << "a";
    QTest::newRow("up and down again") << "a/b/c" << QStringList { "a", "B2" } << true << "a/B2"
                                       << "a/B2";
    QTest::newRow("Cancel keeps the start text") << "a/b/" << QStringList { "c" } << false << "a/b/c"
                                                 << "=";
    QTest::newRow("missing start opens its nearest parent") << "a/b/gone/deeper" << QStringList {} << true << "a/b"
                                                            << "a/b";
    QTest::newRow("missing start, Cancel") << "a/b/gone" << QStringList { "d" } << false << "a/b/d"
                                           << "=";
}

void TestChoosers::choosing()
{
    QFETCH(QString, start);
    QFETCH(QStringList, clicks);
    QFETCH(bool, ok);
    QFETCH(QString, current);
    QFETCH(QString, result);

    const QString startText = Path(start);
    TfmLogDir dlg(startText);
    dlg.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dlg));
    for (const QString& name : clicks) {
        ClickItem(dlg.DirectoryListBox1, name);
        QCOMPARE(dlg.DirectoryListBox1->currentItem()->text(), name); // the list follows at once
    }
    QCOMPARE(dlg.CurrentDirectory(), Path(current));
    QCOMPARE(dlg.lbDir->text(), Path(current));
    QCOMPARE(Texts(dlg.DirectoryListBox1).mid(0, Levels(Path(current)).size()), Levels(Path(current)));

    QTest::mouseClick(ok ? dlg.btnOK : dlg.btnCancel, Qt::LeftButton);
    QCOMPARE(dlg.result(), ok ? int(QDialog::Accepted) : int(QDialog::Rejected));
    QCOMPARE(dlg.Result(), result == "=" ? startText : Path(result));
}

void TestChoosers::longPathIsShortenedButComesBackWhole()
{
    const QString longName(60, QLatin1Char('x'));
    const QString deep = Path("a/" + longName + "/" + longName + "/last");
    QVERIFY(QDir().mkpath(deep));

    TfmLogDir dlg(deep);
    dlg.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dlg));
    const QString label = dlg.lbDir->text();
    QVERIFY2(label.contains("..."), qPrintable(label));
    QVERIFY2(label.endsWith("/last"), qPrintable(label));
    QVERIFY(dlg.lbDir->fontMetrics().horizontalAdvance(label) <= dlg.DirectoryListBox1->width());
    QCOMPARE(dlg.lbDir->toolTip(), deep);

    QTest::mouseClick(dlg.btnOK, Qt::LeftButton);
    QCOMPARE(dlg.Result(), deep);
}

void TestChoosers::shortenPath_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("fitted"); // the text whose width is given
    QTest::addColumn<QString>("expected");

    QTest::newRow("fits") << "/var/log/ak"
                          << "/var/log/ak"
                          << "/var/log/ak";
    QTest::newRow("drops the first levels") << "/home/operator/alarms/log"
                                            << "/.../alarms/log"
                                            << "/.../alarms/log";
    QTest::newRow("keeps the last level") << "/home/operator/alarms/log"
                                          << "/.../log"
                                          << "/.../log";
    QTest::newRow("root only") << "/"
                               << "/"
                               << "/";
}

void TestChoosers::shortenPath()
{
    QFETCH(QString, path);
    QFETCH(QString, fitted);
    QFETCH(QString, expected);

    QLabel label;
    const QFontMetrics metrics = label.fontMetrics();
    QCOMPARE(TfmLogDir::ShortenPath(path, metrics, metrics.horizontalAdvance(fitted)), expected);
}

void TestChoosers::dateChooser_data()
{
    QTest::addColumn<QDate>("pick"); // null: leave the calendar alone
    QTest::addColumn<QString>("how");
    QTest::addColumn<bool>("accepted");
    QTest::addColumn<QDate>("date"); // null: today

    QTest::newRow("today by default") << QDate() << "OK" << true << QDate();
    QTest::newRow("a picked day") << QDate(2007, 4, 30) << "OK" << true << QDate(2007, 4, 30);
    QTest::newRow("Return on a day") << QDate(2007, 10, 1) << "Return" << true << QDate(2007, 10, 1);
    QTest::newRow("Cancel") << QDate(2007, 4, 30) << "Cancel" << false << QDate();
}

void TestChoosers::dateChooser()
{
    QFETCH(QDate, pick);
    QFETCH(QString, how);
    QFETCH(bool, accepted);
    QFETCH(QDate, date);

    const QDate before = QDate::currentDate();
    TfmLogDate dlg;
    const QDate after = QDate::currentDate();
    dlg.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dlg));
    QCOMPARE(dlg.windowTitle(), QStringLiteral("Date of Log File"));
    QVERIFY(dlg.MonthCalendar1->selectedDate() == before || dlg.MonthCalendar1->selectedDate() == after);

    if (pick.isValid())
        dlg.MonthCalendar1->setSelectedDate(pick);
    if (how == "Return") {
        auto* view = dlg.MonthCalendar1->findChild<QTableView*>();
        QVERIFY(view);
        view->setFocus();
        QTest::keyClick(view, Qt::Key_Return);
    } else {
        QTest::mouseClick(how == "OK" ? dlg.btnOK : dlg.btnCancel, Qt::LeftButton);
    }

    QCOMPARE(dlg.result(), accepted ? int(QDialog::Accepted) : int(QDialog::Rejected));
    QVERIFY(!dlg.isVisible());
    if (date.isValid())
        QCOMPARE(dlg.Date(), date);
    else
        QVERIFY(dlg.Date() == before || dlg.Date() == after);
}

QTEST_MAIN(TestChoosers)
#include "tst_choosers.moc"
