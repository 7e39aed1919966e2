// Not a test: pictures of a scan in a lab, to look at. Run it under
// xvfb-run; it leaves search.png, conflict.png and tree.png (and, with
// --many N, searchMany.png of a search with N more servers) in the folder
// given (default: the current one). Needs root for the lab.
#include "admin/discovery/Iphelp.h"
#include "admin/discovery/devscanBinding.h"
#include "admin/discovery/frmIPConflict.h"
#include "admin/discovery/frmSearch.h"
#include "admin/discovery/ipSetEditor.h"
#include "admin/discovery/tests/labDevices.h"
#include "admin/model/frmWait.h"
#include "admin/model/ioMod.h"
#include "admin/model/modQ6120.h"
#include "admin/model/pdTwinlane.h"
#include "admin/shell/frmMain.h"
#include "admin/shell/tests/shellTestSupport.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QTableWidget>
#include <QTest>
#include <cstdio>

namespace {
QString OutDir;

// The whole screen, as `import -window root` sees it.
void Shot(const QString& name)
{
    const QString path = OutDir + QLatin1Char('/') + name;
    if (QProcess::execute(QStringLiteral("import"), { QStringLiteral("-window"), QStringLiteral("root"), path }) != 0)
        QGuiApplication::primaryScreen()->grabWindow(0).save(path);
    std::printf("%s\n", qPrintable(path));
}

class TCamera : public QObject {
public:
    TCamera()
    {
        connect(&m_timer, &QTimer::timeout, this, &TCamera::Poll);
        m_timer.start(10);
    }
    QString searchShot = QStringLiteral("search.png");

private:
    void Poll()
    {
        QWidget* w = QApplication::activeModalWidget();
        if (!w || w == m_last)
            return;
        m_last = w;
        if (auto* s = qobject_cast<TfmSearch*>(w)) {
            // On the last tick, with the rows in.
            connect(s->ProgressBar1, &QProgressBar::valueChanged, s, [this](int v) {
                if (v == 3)
                    QTimer::singleShot(300, [this] { Shot(searchShot); });
            });
        } else if (auto* c = qobject_cast<TfmIPConflict*>(w)) {
            QTimer::singleShot(500, c, [c] {
                if (auto* e = c->xgIP->findChild<TIPSetEditor*>())
                    e->etAddress->setText(QStringLiteral("10.77.0.210"));
                QTest::qWait(200);
                Shot(QStringLiteral("conflict.png"));
                c->btnCancel->click();
            });
        } else if (auto* box = qobject_cast<QMessageBox*>(w)) {
            box->buttons().first()->click();
        } else if (auto* wait = qobject_cast<TfmWait*>(w)) {
            wait->accept();
        }
    }
    QTimer m_timer;
    QPointer<QWidget> m_last;
};
} // namespace

int main(int argc, char** argv)
{
    InPrivateNetns() = EnterLabHost();
    int status = 0;
    {
        QApplication app(argc, argv);
        if (!InPrivateNetns()) {
            std::fprintf(stderr, "shot_scan: no lab here (needs root)\n");
            return 1;
        }
        const QStringList args = app.arguments();
        const qsizetype manyAt = args.indexOf(QStringLiteral("--many"));
        const int many = manyAt > 0 ? args.value(manyAt + 1).toInt() : 0;
        OutDir = args.size() > 1 && !args.at(1).startsWith(QLatin1String("--")) ? args.at(1) : QDir::currentPath();
        const QString bin = qEnvironmentVariable("TWL_BIN_DIR", QCoreApplication::applicationDirPath() + "/../bin");
        qputenv("TWL_BIN_DIR", bin.toLocal8Bit());
        if (BindDevscan(bin) != dbOk) {
            std::fprintf(stderr, "shot_scan: %s\n", qPrintable(DevscanBindErrorText()));
            return 1;
        }
        TTwinlane::SetModuleFactory([](QWidget* host, TIOObject* product, int modelIndex) -> TIOMod* {
            auto* m = new TModQ6120(modelIndex);
            auto* page = new QLabel(QStringLiteral("device page"));
            page->setAlignment(Qt::AlignCenter);
            m->Attach(page, host, product);
            return m;
        });
        lab::LabNet& net = *TestLab();
        TLabDevices devices(net);
        bool ok = net.Connect(TestHostNamespace(), "eth0", {}, { "10.77.0.1/24" })
            && devices.AddSim(1, "10.77.0.11/24", "10.77.0.11")
            && devices.AddSim(2, "10.88.0.12/24", "10.88.0.12", true) && devices.AddSim(3, "", "0.0.0.0")
            && devices.AddSim(8, "", "0.0.0.0") && devices.AddSim(4, "10.77.0.200/24", "10.77.0.200")
            && devices.AddSim(5, "10.77.0.200/24", "10.77.0.200") && devices.AddSim(7, "10.77.0.13/24", "10.77.0.13")
            && devices.AddFake(6, "10.77.0.60", 0x80001234u, 0x1234);
        if (!ok) {
            std::fprintf(stderr, "shot_scan: lab: %s\n", net.Error().c_str());
            return 1;
        }
        TCamera camera;
        {
            TfmMain w;
            w.show();
            QTest::qWaitForWindowExposed(&w);
            w.Timer1Timer();
            QTest::qWait(500);
            Shot(QStringLiteral("tree.png"));
            w.BuildServerTree(smByServer);
            QTest::qWait(300);
            Shot(QStringLiteral("treeByServer.png"));
            if (many > 0) {
                const std::string ns = net.AddNamespace("many");
                std::vector<std::string> argv { (bin + QStringLiteral("/dsc-fake-device")).toStdString() };
                for (int i = 0; i < many; ++i) {
                    char mac[18];
                    std::snprintf(mac, sizeof mac, "02:31:00:00:%02x:%02x", i >> 8, i & 0xff);
                    net.Connect(ns, "e" + std::to_string(i), mac);
                    argv.push_back("--device");
                    argv.push_back("e" + std::to_string(i) + ",-,10.77." + std::to_string(2 + i / 200) + "."
                        + std::to_string(1 + i % 200) + ",2147508512,24864");
                }
                const pid_t pid = net.Start(ns, argv);
                net.WaitForLine(pid, "ready", 60000);
                camera.searchShot = QStringLiteral("searchMany.png");
                w.ScanServers();
                QTest::qWait(300);
                Shot(QStringLiteral("treeMany.png"));
            }
            w.Ready = false;
        }
    }
    TestLab().reset();
    return status;
}
