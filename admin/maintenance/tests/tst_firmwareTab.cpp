// The "Firmware Update" tab of a real device page against the simulated
// server (its console on port 80 of a private network namespace): the
// controls before, during and after an update of a 1 MiB package, the
// console shown again after success, and the ways an update ends early.
#include "admin/maintenance/frmPwd.h"
#include "admin/maintenance/frmQ6120.h"
#include "admin/model/frmWait.h"
#include "admin/model/ioAppGlobals.h"
#include "admin/comm/ioClientSocket.h"
#include "admin/comm/ioGlobals.h"
#include "admin/model/modQ6120.h"
#include "lab/testsupport/qt/modalAnswerer.h"
#include "lab/testsupport/qt/qtestMain.h"
#include "lab/testsupport/qt/simFrames.h"
#include "lab/testsupport/simProcess.h"
#include "admin/maintenance/firmware/skpWriter.h"
#include "admin/maintenance/webProfile.h"

#include <QApplication>
#include <QFileDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QStyle>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QToolButton>
#include <QWebEngineView>
#include <QtTest>
#include <fstream>

namespace {

// Answers the modal windows of an update (twltest::ModalAnswerer): the
// password prompt, the file dialog, the countdown (left to run), and
// message boxes.
class TTabWatcher {
public:
    TTabWatcher()
    {
        Answerer.AtBox = [this](QMessageBox* box) { Seen << box->text(); };
        // Every dialog of an update goes through one handler, whatever the order.
        const twltest::ModalAnswerer::Handler handler = [this](QWidget* w) { return Answer(w); };
        Answerer.Dialogs = QList<twltest::ModalAnswerer::Handler>(MostDialogs, handler);
    }
    QString Password; // typed into the prompt
    bool Cancel = false;
    QString File; // chosen in the file dialog
    QStringList Filters;
    QStringList Seen; // "password", "countdown", message texts
    std::function<void()> AtPrompt;

private:
    static constexpr int MostDialogs = 8;
    bool Answer(QWidget* w)
    {
        if (auto* pwd = qobject_cast<TfmPwd*>(w)) {
            Seen << QStringLiteral("password");
            if (AtPrompt)
                AtPrompt();
            QTest::keyClicks(pwd->etPassword, Password);
            (Cancel ? pwd->btnCancel : pwd->btnOK)->click();
            return true;
        }
        if (auto* dialog = qobject_cast<QFileDialog*>(w)) {
            Filters = dialog->nameFilters();
            // selectFile leaves a focused name field as it is.
            if (QWidget* focused = dialog->focusWidget())
                focused->clearFocus();
            dialog->selectFile(File);
            static_cast<QDialog*>(dialog)->accept();
            return true;
        }
        if (qobject_cast<TfmWait*>(w)) {
            Seen << QStringLiteral("countdown");
            return true; // left to run
        }
        return false;
    }
    twltest::ModalAnswerer Answerer;
};

using TBytes = std::vector<uint8_t>;

TBytes Filled(size_t n, uint8_t seed)
{
    TBytes b(n);
    for (size_t i = 0; i < n; ++i)
        b[i] = uint8_t(seed + i * 31 + (i >> 9));
    return b;
}

// A restart of the simulator keeps it away this long.
const char* const RestartMs = "100";
// How often the update test looks at the controls while it runs.
constexpr int LookMs = 10;

} // namespace

class TestFirmwareTab : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void controlsAtStart();
    void passwordPrompt();
    void fileDialogFillsThePath();
    void updateOfOneMebibyte();
    void endsEarly_data();
    void endsEarly();

private:
    std::string Write(const QString& name, const TBytes& bytes);
    QWidget* Main = nullptr;
    QWidget* Host = nullptr;
    TModQ6120* Module = nullptr;
    TfmQ6120* Page = nullptr;
    QList<TIOObject*> List;
    std::unique_ptr<twltest::SimProcess> Sim;
    QTemporaryDir Dir;
};

void TestFirmwareTab::initTestCase()
{
    if (!twltest::PrivateNetworkProblem().empty())
        QSKIP(twltest::PrivateNetworkProblem().c_str());
    Sim = std::make_unique<twltest::SimProcess>(std::vector<std::string> { "--restart-time", RestartMs, "--http-port",
                                                    "80", "--commit-delay", "0", "--name", "Tab Q6120" },
        false);
    if (!Sim->started())
        QSKIP(qPrintable(QStringLiteral("simulated server not available: ") + QString::fromStdString(Sim->output())));
    SocketTimeout = 5000;
    Main = new QWidget;
    Main->resize(900, 700);
    Host = new QWidget(Main);
    Host->resize(800, 600);
    MainWindowLinks.Window = Main;
    Main->show();
    Module = new TModQ6120(0);
    Page = new TfmQ6120(nullptr, Module);
    Module->Attach(Page, Host, nullptr);
    Module->AttachToList(&List, Host, QStringLiteral("127.0.0.1"));
    Module->Connections[0]->SetPort(Sim->modbusPort());
    Module->ShowPage();
}

void TestFirmwareTab::cleanupTestCase()
{
    if (Module) {
        Module->Detach();
        delete Module;
    }
    MainWindowLinks = TMainWindowLinks {};
    delete Main;
}

void TestFirmwareTab::init()
{
    QVERIFY(Sim->waitUp());
    QCOMPARE(Sim->control("fault none"), std::string("ok"));
    QCOMPARE(Sim->control("password"), std::string("ok"));
    Page->PageControl1->setCurrentWidget(Page->TabFirmware);
}

std::string TestFirmwareTab::Write(const QString& name, const TBytes& bytes)
{
    const std::string path = Dir.filePath(name).toStdString();
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    return path;
}

void TestFirmwareTab::controlsAtStart()
{
    TfmQ6120 page(nullptr, nullptr);
    QCOMPARE(page.Label4->text(), QStringLiteral("Firmware File Path :"));
    QCOMPARE(page.Label36->text(), QStringLiteral("Warning:"));
    QCOMPARE(page.Label37->text(), QStringLiteral("1. The firmware download may take around 2 minutes."));
    QCOMPARE(page.Label38->text(),
        QStringLiteral("2. Disconnecting power or network cable during the time would  lead to firmware corruption."));
    QCOMPARE(page.btnGo->text(), QStringLiteral("Update"));
    QCOMPARE(page.lbFWStep->text(), QStringLiteral("Step 1/3"));
    QCOMPARE(page.lbFWTotal->text(), QStringLiteral("Total progress"));
    QVERIFY(!page.btnGo->isEnabled());
    for (QWidget* w : { static_cast<QWidget*>(page.lbFWStep), static_cast<QWidget*>(page.ProgressBar1),
             static_cast<QWidget*>(page.lbFWTotal), static_cast<QWidget*>(page.ProgressBar2) })
        QVERIFY(w->isHidden());
    // Any change of the path enables "Update", also one to an empty path.
    page.etPath->setText(QStringLiteral("x"));
    QVERIFY(page.btnGo->isEnabled());
    page.btnGo->setEnabled(false);
    page.etPath->setText(QString());
    QVERIFY(page.btnGo->isEnabled());
}

void TestFirmwareTab::passwordPrompt()
{
    for (const bool ok : { true, false }) {
        TfmPwd dialog(Main);
        QCOMPARE(dialog.windowTitle(), QStringLiteral("Input Password"));
        QCOMPARE(dialog.Label1->text(), QStringLiteral("Password :"));
        QVERIFY(dialog.Password.isEmpty());
        QCOMPARE(dialog.etPassword->echoMode(), QLineEdit::Password);
        QCOMPARE(
            dialog.etPassword->style()->styleHint(QStyle::SH_LineEdit_PasswordCharacter, nullptr, dialog.etPassword),
            int('*'));
        QTimer::singleShot(0, &dialog, [&] {
            QTest::keyClicks(dialog.etPassword, QStringLiteral("Se cret"));
            (ok ? dialog.btnOK : dialog.btnCancel)->click();
        });
        QCOMPARE(dialog.exec(), ok ? int(QDialog::Accepted) : int(QDialog::Rejected));
        QCOMPARE(dialog.Password, ok ? QStringLiteral("Se cret") : QString());
    }
}

void TestFirmwareTab::fileDialogFillsThePath()
{
    const std::string path = Write(QStringLiteral("chosen.skp"), SkpPackageBytes({ { 1, { 1, 2 } } }));
    Page->etPath->clear();
    Page->btnGo->setEnabled(false);
    TTabWatcher watcher;
    watcher.File = QString::fromStdString(path);
    Page->btnFile->click();
    QCOMPARE(watcher.Filters, QStringList { QStringLiteral("Twinlane firmware files (*.skp)") });
    QCOMPARE(Page->etPath->text(), QString::fromStdString(path));
    QVERIFY(Page->btnGo->isEnabled());
}

// Four records of 256 KiB, a password, the countdown, the console again.
void TestFirmwareTab::updateOfOneMebibyte()
{
    const std::string path = Write(QStringLiteral("big.skp"),
        SkpPackageBytes({ { 0, Filled(262144, 1) }, { 3, Filled(262144, 2) }, { 5, Filled(262143, 3) },
            { 6, Filled(262145, 4) } }));
    QCOMPARE(Sim->control("password pw"), std::string("ok"));
    Page->etPath->setText(QString::fromStdString(path));
    QVERIFY(Page->btnGo->isEnabled());

    // While it runs: what the controls show, and that the window lives on.
    int looks = 0, progressMoves = 0;
    bool controlsOff = true, progressShown = true, hourglass = true;
    QSet<QString> steps;
    QList<int> totals;
    QObject scope; // the connections go with this test's locals
    connect(Page->ProgressBar1, &QProgressBar::valueChanged, &scope, [&] { ++progressMoves; });
    connect(Page->ProgressBar2, &QProgressBar::valueChanged, &scope, [&](int v) { totals << v; });
    TTabWatcher watcher;
    watcher.Password = QStringLiteral("pw");
    QTimer look;
    look.start(LookMs);
    connect(&look, &QTimer::timeout, &scope, [&] {
        if (!Page->UpdateRunning() || !Page->ProgressBar2->isVisible() || QApplication::activeModalWidget())
            return;
        ++looks;
        controlsOff
            = controlsOff && !Page->btnGo->isEnabled() && !Page->btnFile->isEnabled() && !Page->etPath->isEnabled();
        progressShown = progressShown && Page->ProgressBar1->isVisible() && Page->lbFWStep->isVisible()
            && Page->lbFWTotal->isVisible();
        hourglass
            = hourglass && QApplication::overrideCursor() && QApplication::overrideCursor()->shape() == Qt::WaitCursor;
        steps << Page->lbFWStep->text();
    });
    QSignalSpy loads(Page->WebBrowser, &QWebEngineView::loadFinished);
    Page->btnGo->click();

    QCOMPARE(watcher.Seen,
        (QStringList { QStringLiteral("password"), QStringLiteral("countdown"),
            QStringLiteral("Firmware update successfully...") }));
    // The window's own timers went on firing during the download.
    QVERIFY2(looks >= 3, qPrintable(QString::number(looks)));
    QVERIFY(controlsOff);
    QVERIFY(progressShown);
    QVERIFY(hourglass);
    QVERIFY2(progressMoves > 4000, qPrintable(QString::number(progressMoves))); // 230 bytes a move
    QVERIFY(steps.contains(QStringLiteral("Step 1/4")) && steps.contains(QStringLiteral("Step 4/4")));
    QCOMPARE(totals, (QList<int> { 0, 1, 2, 3, 4 }));

    // Afterwards: all back as before, the path empty, the console shown.
    QVERIFY(Page->etPath->text().isEmpty());
    QVERIFY(Page->btnGo->isEnabled() && Page->btnFile->isEnabled() && Page->etPath->isEnabled());
    QVERIFY(Page->ProgressBar1->isHidden() && Page->ProgressBar2->isHidden() && Page->lbFWStep->isHidden()
        && Page->lbFWTotal->isHidden());
    QCOMPARE(QApplication::overrideCursor(), nullptr);
    QCOMPARE(Page->PageControl1->currentWidget(), Page->TabWeb);
    QTRY_VERIFY_WITH_TIMEOUT(!loads.isEmpty(), 60000);
    QCOMPARE(Page->WebBrowser->url().toString(), QStringLiteral("http://127.0.0.1/"));
    QTRY_VERIFY_WITH_TIMEOUT(Page->WebBrowser->title().contains(QStringLiteral("Tab Q6120")), 60000);
    QVERIFY(Sim->waitUp());
    QCOMPARE(Sim->status("records"), std::string("4"));
}

void TestFirmwareTab::endsEarly_data()
{
    QTest::addColumn<QString>("password"); // device password
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("faultAtPrompt");
    QTest::addColumn<QString>("message");
    QTest::addColumn<bool>("goEnabled");
    QTest::addColumn<bool>("pathCleared");
    QTest::newRow("wrong password") << "pw"
                                    << "pW"
                                    << "small.skp"
                                    << ""
                                    << "Wrong password !!" << true << false;
    QTest::newRow("no file") << ""
                             << ""
                             << "missing.skp"
                             << ""
                             << "Error reading file !!" << false << false;
    QTest::newRow("invalid") << ""
                             << ""
                             << "long.skp"
                             << ""
                             << "Invalid file format !!" << true << true;
    QTest::newRow("record fails") << "pw"
                                  << "pw"
                                  << "small.skp"
                                  << "exception count 2"
                                  << "Update FAIL !" << true << true;
}

void TestFirmwareTab::endsEarly()
{
    QFETCH(QString, password);
    QFETCH(QString, typed);
    QFETCH(QString, file);
    QFETCH(QString, faultAtPrompt);
    QFETCH(QString, message);
    QFETCH(bool, goEnabled);
    QFETCH(bool, pathCleared);
    Write(QStringLiteral("small.skp"), SkpPackageBytes({ { 1, { 1, 2, 3 } } }));
    TBytes longer = SkpPackageBytes({ { 1, { 1, 2, 3 } } });
    longer.push_back(0);
    Write(QStringLiteral("long.skp"), longer);
    QCOMPARE(Sim->control("password " + password.toStdString()), std::string("ok"));

    const QString path = Dir.filePath(file);
    Page->etPath->setText(path);
    TTabWatcher watcher;
    watcher.Password = typed;
    watcher.AtPrompt = [&] {
        if (!faultAtPrompt.isEmpty())
            Sim->control("fault " + faultAtPrompt.toStdString());
    };
    const int before = int(twltest::SimFrames(*Sim).size());
    Page->btnGo->click();
    QVERIFY(!watcher.Seen.isEmpty());
    QCOMPARE(watcher.Seen.last(), message);
    QVERIFY(!watcher.Seen.contains(QStringLiteral("countdown")));
    QCOMPARE(Page->btnGo->isEnabled(), goEnabled);
    QCOMPARE(Page->etPath->text(), pathCleared ? QString() : path);
    QVERIFY(Page->btnFile->isEnabled() && Page->etPath->isEnabled());
    QVERIFY(Page->ProgressBar1->isHidden() && Page->ProgressBar2->isHidden());
    QCOMPARE(QApplication::overrideCursor(), nullptr);
    QCOMPARE(Page->PageControl1->currentWidget(), Page->TabFirmware);
    if (message == QStringLiteral("Update FAIL !")) // the abandon write was the last word
        QCOMPARE(twltest::SimFrames(*Sim).last().mid(6), QStringLiteral("00 00 00 06 01 06 30 00 00 00"));
    else
        QVERIFY(twltest::SimFrames(*Sim).size() <= before + 1); // the password read at most
}

int main(int argc, char** argv)
{
    // The namespace before any thread or helper process starts.
    twltest::PrivateNetworkProblem() = twltest::EnterPrivateNetwork();
    PrepareWebEngine();
    QApplication app(argc, argv);
    TestFirmwareTab tc;
    QTEST_SET_MAIN_SOURCE_PATH
    return twltest::QtExec(&tc, argc, argv);
}

#include "tst_firmwareTab.moc"
