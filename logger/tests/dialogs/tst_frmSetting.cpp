#include "common/settingsStore.h"
#include "logger/colorPicker.h"
#include "logger/core/akSettings.h"
#include "logger/core/eventTypes.h"
#include "logger/frmLogDir.h"
#include "logger/frmMain.h"
#include "logger/frmSetting.h"
#include "logger/tests/akTestMain.h"
#include "logger/tests/dialogs/clickItem.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTimer>
#include <QToolButton>
#include <QtTest>

namespace {

const QString kRestart = QStringLiteral("You have to restart the application to make the new settings to take effect");

// Runs action inside the next modal loop; the modal window is closed
// afterwards in any case so a failing check can never leave the test waiting.
void InNextModal(std::function<void(QWidget*)> action)
{
    QTimer::singleShot(0, [action] {
        QWidget* modal = QApplication::activeModalWidget();
        if (modal)
            action(modal);
        if (QWidget* still = QApplication::activeModalWidget(); still && still == modal)
            still->close();
    });
}

} // namespace

class TestSettingsDialog : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();

    void accepting_data();
    void accepting();
    void cancelChangesNothing();
    void directoryAsTyped_data();
    void directoryAsTyped();
    void colourEncoding_data();
    void colourEncoding();
    void browse_data();
    void browse();

private:
    TAkSettings Current() const;

    QTemporaryDir m_temp;
    QString m_store;
};

void TestSettingsDialog::initTestCase()
{
    QVERIFY(m_temp.isValid());
    m_store = m_temp.filePath(QStringLiteral("machine.ini"));
    qputenv("KORVEL_MACHINE_SETTINGS", QFile::encodeName(m_store));
    QApplication::setApplicationDisplayName(QStringLiteral("KORVEL Alarmkeeper"));
}

void TestSettingsDialog::init()
{
    for (int code = 0; code < kEventTypeCount; ++code)
        EventTypeTable[size_t(code)].Color = kDefaultEventColors[size_t(code)];
    QFile::remove(m_store);
    QDir(m_temp.path()).removeRecursively();
    QVERIFY(QDir().mkpath(m_temp.filePath(QStringLiteral("old"))));
    QFile file(m_temp.filePath(QStringLiteral("plainfile")));
    QVERIFY(file.open(QIODevice::WriteOnly));
}

TAkSettings TestSettingsDialog::Current() const
{
    TAkSettings s;
    s.Port = 4040;
    s.LogPath = m_temp.filePath(QStringLiteral("old"));
    s.Colors = kDefaultEventColors;
    s.SortCol = 3;
    s.SortDir = true;
    return s;
}

void TestSettingsDialog::accepting_data()
{
    QTest::addColumn<QString>("portText");
    QTest::addColumn<QString>("dirText"); // relative to the temporary folder
    QTest::addColumn<uint>("offLineColour");
    QTest::addColumn<QStringList>("shown");
    QTest::addColumn<bool>("closes");
    QTest::addColumn<int>("port");
    QTest::addColumn<QString>("logPath"); // relative to the temporary folder
    QTest::addColumn<uint>("storedOffLine");

    const uint red = 0x0000FF;
    const uint blue = 0xFF0000;
    const QString badNew = QStringLiteral("missing/new");
    const QString badNewAbs = m_temp.filePath(badNew);

    QTest::newRow("same port") << "4040"
                               << "old" << red << QStringList {} << true << 4040 << "old" << red;
    QTest::newRow("changed port") << "4041"
                                  << "old" << red << QStringList { kRestart } << true << 4041 << "old" << red;
    QTest::newRow("highest port") << "65535"
                                  << "old" << red << QStringList { kRestart } << true << 65535 << "old" << red;
    QTest::newRow("bad port text applies nothing")
        << "abc"
        << "new" << blue << QStringList { "error: 'abc' is not a valid integer value" } << true << 4040 << "old" << red;
    QTest::newRow("empty port text") << ""
                                     << "old" << red << QStringList { "error: '' is not a valid integer value" } << true
                                     << 4040 << "old" << red;
    QTest::newRow("port too large for an int")
        << "99999999999"
        << "old" << red << QStringList { "error: '99999999999' is not a valid integer value" } << true << 4040 << "old"
        << red;
    QTest::newRow("port 0 refused") << "0"
                                    << "new" << blue << QStringList { "The port must be a number from 1 to 65535" }
                                    << false << 0 << QString() << 0u;
    QTest::newRow("port 65536 refused") << "65536"
                                        << "old" << red << QStringList { "The port must be a number from 1 to 65535" }
                                        << false << 0 << QString() << 0u;
    QTest::newRow("negative port refused")
        << "-1"
        << "old" << red << QStringList { "The port must be a number from 1 to 65535" } << false << 0 << QString() << 0u;
    QTest::newRow("creatable directory") << "4040"
                                         << "new" << red << QStringList {} << true << 4040 << "new" << red;
    QTest::newRow("uncreatable directory keeps the old one, applies the rest")
        << "4041" << badNew << blue << QStringList { kRestart, "Cannot create " + badNewAbs } << true << 4041 << "old"
        << blue;
    QTest::newRow("a file where the directory should be")
        << "4040"
        << "plainfile" << red << QStringList { "Cannot create " + m_temp.filePath("plainfile") } << true << 4040
        << "old" << red;
    // QSettings would read this back as a list, cut at the semicolon.
    QTest::newRow("directory with a comma and a semicolon")
        << "4040"
        << "a,b;c" << red << QStringList {} << true << 4040 << "a,b;c" << red;
    QTest::newRow("colour only") << "4040"
                                 << "old" << blue << QStringList {} << true << 4040 << "old" << blue;
}

// OK runs the accept rules; System > Settings of the main window then keeps
// the values and stores all six, through the program's own path.
void TestSettingsDialog::accepting()
{
    QFETCH(QString, portText);
    QFETCH(QString, dirText);
    QFETCH(uint, offLineColour);
    QFETCH(QStringList, shown);
    QFETCH(bool, closes);
    QFETCH(int, port);
    QFETCH(QString, logPath);
    QFETCH(uint, storedOffLine);
    if (!twltest::PrivateNetworkProblem().empty())
        QSKIP("the main window listens: needs a network namespace of its own (run as root)");

    const TAkSettings before = Current();
    StoreAkSettings(before);
    StoreAkSortOrder(before);
    TfmMain window(m_temp.path() + QLatin1Char('/'));
    QCOMPARE(window.CurrentSettings().LogPath, before.LogPath);

    QStringList seen;
    bool sawDialog = false, openAfterOk = false;
    InNextModal([&](QWidget* modal) {
        auto* dlg = qobject_cast<TfmSettings*>(modal);
        if (!dlg)
            return;
        sawDialog = true;
        dlg->showMessage = [&](QWidget*, const QString& text) { seen << text; };
        dlg->showError = [&](QWidget*, const QString& text) { seen << "error: " + text; };
        QCOMPARE(dlg->etPort->text(), QStringLiteral("4040"));
        QCOMPARE(dlg->etDir->text(), m_temp.filePath("old"));
        QCOMPARE(dlg->cb3->Stored(), 0x0000FFu);
        dlg->etPort->setText(portText);
        dlg->etDir->setText(m_temp.filePath(dirText));
        dlg->cb3->SetStored(offLineColour);
        QTest::mouseClick(dlg->btnOK, Qt::LeftButton);
        openAfterOk = dlg->isVisible(); // closed afterwards: Cancel
    });
    window.muSettings->trigger();

    QVERIFY(sawDialog);
    QCOMPARE(seen, shown);
    QCOMPARE(openAfterOk, !closes);
    QCOMPARE(QFileInfo::exists(m_temp.filePath("new")), closes && logPath == "new");
    const QString key = AkSettingsKey();
    const TAkSettings s = window.CurrentSettings();
    if (!closes) {
        // Refused, then cancelled: nothing kept, nothing stored.
        QCOMPARE(s.Port, before.Port);
        QCOMPARE(s.Colors, before.Colors);
        QCOMPARE(ReadRegInteger(key, "Port", -1), before.Port);
        QCOMPARE(ReadRegString(key, "LogPath", "?"), before.LogPath);
        QCOMPARE(uint(ReadRegInteger(key, "Color_2", -1)), before.Colors[2]);
        return;
    }

    QCOMPARE(s.Port, port);
    QCOMPARE(s.LogPath, m_temp.filePath(logPath));
    QVERIFY(QFileInfo(s.LogPath).isDir());
    QCOMPARE(s.Colors[2], storedOffLine);
    QCOMPARE(EventTypeTable[2].Color, storedOffLine);
    QCOMPARE(s.SortCol, 3);
    QCOMPARE(s.SortDir, true);

    // All six values are in the store, changed or not; the sort order as it was.
    QCOMPARE(ReadRegInteger(key, "Port", -1), port);
    QCOMPARE(ReadRegString(key, "LogPath", "?"), m_temp.filePath(logPath));
    for (int code = 0; code < kEventTypeCount; ++code) {
        const uint expected = code == 2 ? storedOffLine : kDefaultEventColors[code];
        QCOMPARE(uint(ReadRegInteger(key, QStringLiteral("Color_%1").arg(code), -1)), expected);
    }
    QCOMPARE(ReadRegInteger(key, "SortCol", -1), 3);
    QCOMPARE(ReadRegInteger(key, "SortDir", -1), 1);
    // The next start reads what was stored.
    const TAkSettings next = LoadAkSettings(m_temp.path() + QLatin1Char('/'));
    QCOMPARE(next.LogPath, s.LogPath);
    QCOMPARE(next.Port, s.Port);
    QCOMPARE(next.Colors, s.Colors);
}

void TestSettingsDialog::cancelChangesNothing()
{
    TfmSettings dlg(Current());
    int accepted = 0;
    connect(&dlg, &TfmSettings::SettingsAccepted, &dlg, [&] { ++accepted; });
    dlg.show();
    dlg.etPort->setText("5000");
    dlg.etDir->setText(m_temp.filePath("new"));
    dlg.cb1->SetStored(0xFF0000);
    QTest::mouseClick(dlg.btnCancel, Qt::LeftButton);

    QCOMPARE(dlg.result(), int(QDialog::Rejected));
    QCOMPARE(accepted, 0);
    QCOMPARE(dlg.Settings().Port, 4040);
    QCOMPARE(dlg.Settings().Colors, kDefaultEventColors);
    QVERIFY(!QFileInfo::exists(m_temp.filePath("new")));
}

void TestSettingsDialog::directoryAsTyped_data()
{
    QTest::addColumn<QString>("typed"); // "~" stands for the temporary folder
    QTest::addColumn<QString>("logPath"); // relative to the temporary folder
    QTest::addColumn<QStringList>("shown");

    QTest::newRow("trailing separator kept") << "~/old/"
                                             << "old/" << QStringList {};
    QTest::newRow("relative made absolute, so it does not move with the working directory") << "rel"
                                                                                            << "rel" << QStringList {};
    QTest::newRow("empty text can't be created, the old one stays") << ""
                                                                    << "old" << QStringList { "Cannot create " };
}

void TestSettingsDialog::directoryAsTyped()
{
    QFETCH(QString, typed);
    QFETCH(QString, logPath);
    QFETCH(QStringList, shown);
    const QString cwd = QDir::currentPath();
    QVERIFY(QDir::setCurrent(m_temp.path()));
    auto back = qScopeGuard([&] { QDir::setCurrent(cwd); });

    TfmSettings dlg(Current());
    QStringList seen;
    dlg.showMessage = [&](QWidget*, const QString& text) { seen << text; };
    dlg.etDir->setText(typed.replace(QLatin1Char('~'), m_temp.path()));
    dlg.show();
    QTest::mouseClick(dlg.btnOK, Qt::LeftButton);
    QCOMPARE(seen, shown);
    QCOMPARE(dlg.Settings().LogPath, m_temp.filePath(logPath));
    QVERIFY(QFileInfo(dlg.Settings().LogPath).isDir());
}

void TestSettingsDialog::colourEncoding_data()
{
    QTest::addColumn<QColor>("colour");
    QTest::addColumn<uint>("stored");
    QTest::addColumn<QString>("entry");

    QTest::newRow("black") << QColor(0, 0, 0) << 0u << "Black";
    QTest::newRow("grey") << QColor(128, 128, 128) << 8421504u << "Gray";
    QTest::newRow("red") << QColor(255, 0, 0) << 255u << "Red";
    QTest::newRow("green") << QColor(0, 128, 0) << 32768u << "Green";
    QTest::newRow("blue") << QColor(0, 0, 255) << 16711680u << "Blue";
    QTest::newRow("unnamed colour is kept") << QColor(1, 2, 3) << 0x030201u << "#010203";
}

// Picker -> settings dialog -> store -> picker keeps the colour and its encoding.
void TestSettingsDialog::colourEncoding()
{
    QFETCH(QColor, colour);
    QFETCH(uint, stored);
    QFETCH(QString, entry);

    TAkSettings current = Current();
    current.Colors[1] = stored;
    TfmSettings dlg(current);
    QCOMPARE(dlg.cb2->currentText(), entry);
    QCOMPARE(dlg.cb2->Color(), colour);
    dlg.show();
    QTest::mouseClick(dlg.btnOK, Qt::LeftButton);
    StoreAkSettings(dlg.Settings());

    const TAkSettings loaded = LoadAkSettings(m_temp.path() + '/');
    QCOMPARE(loaded.Colors[1], stored);
    TColorPicker picker;
    picker.SetStored(loaded.Colors[1]);
    QCOMPARE(picker.Stored(), stored);
    QCOMPARE(picker.Color(), colour);
    QCOMPARE(picker.currentText(), entry);
}

void TestSettingsDialog::browse_data()
{
    QTest::addColumn<bool>("ok");
    QTest::addColumn<QString>("etDir"); // relative to the temporary folder

    QTest::newRow("OK takes the chosen directory") << true << "old/child";
    QTest::newRow("Cancel leaves etDir") << false << "old/";
}

void TestSettingsDialog::browse()
{
    QFETCH(bool, ok);
    QFETCH(QString, etDir);
    QVERIFY(QDir().mkpath(m_temp.filePath("old/child")));

    TfmSettings dlg(Current());
    dlg.show();
    // A text the chooser would never produce, so "unchanged" is visible.
    dlg.etDir->setText(m_temp.filePath("old/"));
    bool sawChooser = false;
    InNextModal([&](QWidget* modal) {
        auto* chooser = qobject_cast<TfmLogDir*>(modal);
        if (!chooser)
            return;
        sawChooser = true;
        ClickItem(chooser->DirectoryListBox1, "child");
        QTest::mouseClick(ok ? chooser->btnOK : chooser->btnCancel, Qt::LeftButton);
    });
    QTest::mouseClick(dlg.btnPath, Qt::LeftButton);

    QVERIFY(sawChooser);
    QCOMPARE(dlg.etDir->text(), QDir::toNativeSeparators(m_temp.filePath(etDir)));
    QVERIFY(dlg.isVisible()); // nothing applied until the dialog itself is accepted
    QVERIFY(!QFile::exists(m_store));
}

AK_NETNS_QTEST_MAIN(TestSettingsDialog)
#include "tst_frmSetting.moc"
