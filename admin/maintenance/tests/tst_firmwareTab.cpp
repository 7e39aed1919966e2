// The "Firmware Update" tab of a real device page against the simulated
// server (its console on port 80 of a private network namespace): the
// controls before, during and after an update of a 1 MiB package, the
// console shown again after success, and the ways an update ends early.
#include "admin/comm/ioClientSocket.h"
#include "admin/comm/ioGlobals.h"
#include "admin/maintenance/firmware/skpWriter.h"
#include "admin/maintenance/frmPwd.h"
#include "admin/maintenance/frmQ6120.h"
#include "admin/maintenance/webProfile.h"
#include "admin/model/frmWait.h"
#include "admin/model/ioAppGlobals.h"
#include "admin/model/modQ6120.h"
#include "lab/testsupport/qt/modalAnswerer.h"
#include "lab/testsupport/qt/qtestMain.h"
#include "lab/testsupport/qt/simFrames.h"
#include "lab/testsupport/simProcess.h"

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
        m_answerer.atBox = [this](QMessageBox* box) { seen << box->text(); };
        // Every dialog of an update goes through one handler, whatever the order.
        const twltest::ModalAnswerer::Handler handler = [this](QWidget* w) { return Answer(w); };
        m_answerer.dialogs = QList<twltest::ModalAnswerer::Handler>(MostDialogs, handler);
    }
    QString password; // typed into the prompt
    bool cancel = false;
    QString file; // chosen in the file dialog
    QStringList filters;
    QStringList seen; // "password", "countdown", message texts
    std::function<void()> atPrompt;

private:
    static constexpr int MostDialogs = 8;
    bool Answer(QWidget* w)
    {
        if (auto* pwd = qobject_cast<TfmPwd*>(w)) {
            seen << QStringLiteral("password");
            if (atPrompt)
                atPrompt();
            QTest::keyClicks(pwd->etPassword, password);
            (cancel ? pwd->btnCancel : pwd->btnOK)->click();
            return true;
        }
        if (auto* dialog = qobject_cast<QFileDialog*>(w)) {
            filters = dialog->nameFilters();
            // selectFile leaves a focused name field as it is.
            if (QWidget* focused = dialog->focusWidget())
                focused->clearFocus();
            dialog->selectFile(file);
            static_cast<QDialog*>(dialog)->accept();
            return true;
        }
        if (qobject_cast<TfmWait*>(w)) {
            seen << QStringLiteral("countdown");
            return true; // left to run
        }
        return false;
    }
    twltest::ModalAnswerer m_answerer;
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
    QWidget* m_main = nullptr;
    QWidget* m_host = nullptr;
    TModQ6120* m_module = nullptr;
    TfmQ6120* m_page = nullptr;
    QList<TIOObject*> m_list;
    std::unique_ptr<twltest::SimProcess> m_sim;
    QTemporaryDir m_dir;
};

void TestFirmwareTab::initTestCase()
{
    if (!twltest::PrivateNetworkProblem().empty())
        QSKIP(twltest::PrivateNetworkProblem().c_str());
    m_sim = std::make_unique<twltest::SimProcess>(std::vector<std::string> { "--restart-time", RestartMs, "--http-port",
                                                      "80", "--commit-delay", "0", "--name", "Tab Q6120" },
        false);
    if (!m_sim->started())
        QSKIP(qPrintable(QStringLiteral("simulated server not available: ") + QString::fromStdString(m_sim->output())));
    SocketTimeout = 5000;
    m_main = new QWidget;
    m_main->resize(900, 700);
    m_host = new QWidget(m_main);
    m_host->resize(800, 600);
    MainWindowLinks.window = m_main;
    m_main->show();
    m_module = new TModQ6120(0);
    m_page = new TfmQ6120(nullptr, m_module);
    m_module->Attach(m_page, m_host, nullptr);
    m_module->AttachToList(&m_list, m_host, QStringLiteral("127.0.0.1"));
    m_module->Connections[0]->SetPort(m_sim->modbusPort());
    m_module->ShowPage();
}

void TestFirmwareTab::cleanupTestCase()
{
    if (m_module) {
        m_module->Detach();
        delete m_module;
    }
    MainWindowLinks = TMainWindowLinks {};
    delete m_main;
}

void TestFirmwareTab::init()
{
    QVERIFY(m_sim->waitUp());
    QCOMPARE(m_sim->control("fault none"), std::string("ok"));
    QCOMPARE(m_sim->control("password"), std::string("ok"));
    m_page->PageControl1->setCurrentWidget(m_page->TabFirmware);
}

std::string TestFirmwareTab::Write(const QString& name, const TBytes& bytes)
{
    const std::string path = m_dir.filePath(name).toStdString();
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
        TfmPwd dialog(m_main);
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
    m_page->etPath->clear();
    m_page->btnGo->setEnabled(false);
    TTabWatcher watcher;
    watcher.file = QString::fromStdString(path);
    m_page->btnFile->click();
    QCOMPARE(watcher.filters, QStringList { QStringLiteral("Twinlane firmware files (*.skp)") });
    QCOMPARE(m_page->etPath->text(), QString::fromStdString(path));
    QVERIFY(m_page->btnGo->isEnabled());
}

// Four records of 256 KiB, a password, the countdown, the console again.
void TestFirmwareTab::updateOfOneMebibyte()
{
    const std::string path = Write(QStringLiteral("big.skp"),
        SkpPackageBytes({ { 0, Filled(262144, 1) }, { 3, Filled(262144, 2) }, { 5, Filled(262143, 3) },
            { 6, Filled(262145, 4) } }));
    QCOMPARE(m_sim->control("password pw"), std::string("ok"));
    m_page->etPath->setText(QString::fromStdString(path));
    QVERIFY(m_page->btnGo->isEnabled());

    // While it runs: what the controls show, and that the window lives on.
    int looks = 0, progressMoves = 0;
    bool controlsOff = true, progressShown = true, hourglass = true;
    QSet<QString> steps;
    QList<int> totals;
    QObject scope; // the connections go with this test's locals
    connect(m_page->ProgressBar1, &QProgressBar::valueChanged, &scope, [&] { ++progressMoves; });
    connect(m_page->ProgressBar2, &QProgressBar::valueChanged, &scope, [&](int v) { totals << v; });
    TTabWatcher watcher;
    watcher.password = QStringLiteral("pw");
    QTimer look;
    look.start(LookMs);
    connect(&look, &QTimer::timeout, &scope, [&] {
        if (!m_page->UpdateRunning() || !m_page->ProgressBar2->isVisible() || QApplication::activeModalWidget())
            return;
        ++looks;
        controlsOff = controlsOff && !m_page->btnGo->isEnabled() && !m_page->btnFile->isEnabled()
            && !m_page->etPath->isEnabled();
        progressShown = progressShown && m_page->ProgressBar1->isVisible() && m_page->lbFWStep->isVisible()
            && m_page->lbFWTotal->isVisible();
        hourglass
            = hourglass && QApplication::overrideCursor() && QApplication::overrideCursor()->shape() == Qt::WaitCursor;
        steps << m_page->lbFWStep->text();
    });
    QSignalSpy loads(m_page->WebBrowser, &QWebEngineView::loadFinished);
    m_page->btnGo->click();

    QCOMPARE(watcher.seen,
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
    QVERIFY(m_page->etPath->text().isEmpty());
    QVERIFY(m_page->btnGo->isEnabled() && m_page->btnFile->isEnabled() && m_page->etPath->isEnabled());
    QVERIFY(m_page->ProgressBar1->isHidden() && m_page->ProgressBar2->isHidden() && m_page->lbFWStep->isHidden()
        && m_page->lbFWTotal->isHidden());
    QCOMPARE(QApplication::overrideCursor(), nullptr);
    QCOMPARE(m_page->PageControl1->currentWidget(), m_page->TabWeb);
    QTRY_VERIFY_WITH_TIMEOUT(!loads.isEmpty(), 60000);
    QCOMPARE(m_page->WebBrowser->url().toString(), QStringLiteral("http://127.0.0.1/"));
    QTRY_VERIFY_WITH_TIMEOUT(m_page->WebBrowser->title().contains(QStringLiteral("Tab Q6120")), 60000);
    QVERIFY(m_sim->waitUp());
    QCOMPARE(m_sim->status("records"), std::string("4"));
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
    QCOMPARE(m_sim->control("password " + password.toStdString()), std::string("ok"));

    const QString path = m_dir.filePath(file);
    m_page->etPath->setText(path);
    TTabWatcher watcher;
    watcher.password = typed;
    watcher.atPrompt = [&] {
        if (!faultAtPrompt.isEmpty())
            m_sim->control("fault " + faultAtPrompt.toStdString());
    };
    const int before = int(twltest::SimFrames(*m_sim).size());
    m_page->btnGo->click();
    QVERIFY(!watcher.seen.isEmpty());
    QCOMPARE(watcher.seen.last(), message);
    QVERIFY(!watcher.seen.contains(QStringLiteral("countdown")));
    QCOMPARE(m_page->btnGo->isEnabled(), goEnabled);
    QCOMPARE(m_page->etPath->text(), pathCleared ? QString() : path);
    QVERIFY(m_page->btnFile->isEnabled() && m_page->etPath->isEnabled());
    QVERIFY(m_page->ProgressBar1->isHidden() && m_page->ProgressBar2->isHidden());
    QCOMPARE(QApplication::overrideCursor(), nullptr);
    QCOMPARE(m_page->PageControl1->currentWidget(), m_page->TabFirmware);
    if (message == QStringLiteral("Update FAIL !")) // the abandon write was the last word
        QCOMPARE(twltest::SimFrames(*m_sim).last().mid(6), QStringLiteral("00 00 00 06 01 06 30 00 00 00"));
    else
        QVERIFY(twltest::SimFrames(*m_sim).size() <= before + 1); // the password read at most
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
