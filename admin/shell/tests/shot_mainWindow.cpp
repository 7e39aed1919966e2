// Pictures of the main window with a few servers, for a look at the
// layout: shot_mainWindow <folder> writes mainWindow-product.png and
// mainWindow-module.png there. Runs in a network namespace of its own,
// with two links of its own for the root's host label.
#include "admin/discovery/Iphelp.h"
#include "admin/model/frmTwinlane.h"
#include "admin/model/ioAppGlobals.h"
#include "admin/model/ioMod.h"
#include "admin/model/ioObject.h"
#include "admin/model/pdTwinlane.h"
#include "admin/shell/frmMain.h"
#include "admin/shell/tests/shellTestSupport.h"

#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QProcess>
#include <QTabWidget>
#include <QTest>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <cstdio>

namespace {
// Stands in for the device page, which needs a browser engine.
QWidget* MakeDevicePage(const QString& title)
{
    auto* page = new QWidget;
    auto* layout = new QVBoxLayout(page);
    layout->setContentsMargins(0, 0, 0, 0);
    auto* strip = new TStretchedImage(page);
    strip->setFixedHeight(41);
    strip->SetImage(BannerImage);
    auto* caption = new QLabel(title, strip);
    QFont f = caption->font();
    f.setBold(true);
    f.setPixelSize(16);
    caption->setFont(f);
    caption->setStyleSheet(QStringLiteral("color: blue; background: transparent;"));
    caption->move(40, 11);
    caption->adjustSize();
    layout->addWidget(strip);
    auto* tabs = new QTabWidget(page);
    tabs->addTab(new QLabel(QStringLiteral("(web console)"), tabs), QStringLiteral("Web Console"));
    tabs->addTab(new QLabel(QStringLiteral("Firmware update"), tabs), QStringLiteral("Firmware Update"));
    layout->addWidget(tabs, 1);
    return page;
}

class TShotMod : public TIOMod {
public:
    TShotMod()
        : TIOMod(1, 0, 3)
    {
        TypeCode = 17;
    }
};
} // namespace

int main(int argc, char** argv)
{
    const bool isolated = EnterLabHost();
    QApplication app(argc, argv);
    if (!isolated) {
        std::fprintf(stderr, "cannot create a network namespace; not started\n");
        return 1;
    }
    const QString out = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QDir::currentPath();
    for (const QStringList& c : QList<QStringList> { { "link", "add", "lan0", "type", "veth", "peer", "name", "lan0p" },
             { "addr", "add", "192.168.127.1/24", "dev", "lan0" }, { "link", "set", "lan0", "up" },
             { "link", "set", "lan0p", "up" } })
        QProcess::execute(QStringLiteral("ip"), c);

    TTwinlane::SetModuleFactory([](QWidget* host, TIOObject* product, int modelIndex) -> TIOMod* {
        auto* m = new TShotMod;
        m->Attach(MakeDevicePage(
                      QStringLiteral("%1 - %2").arg(ModelNames.value(modelIndex), ModelDescriptions.value(modelIndex))),
            host, product);
        return m;
    });
    TfmMain w;
    w.SetSearchRunner([](QList<IONODE*>& records) {
        for (const char* a : { "192.168.127.254", "192.168.127.12", "192.168.127.9", "10.1.2.50" }) {
            auto* r = new IONODE;
            r->Kind = 1;
            r->LocalAddress = QStringLiteral("192.168.127.1");
            r->Address = QString::fromLatin1(a);
            records << r;
        }
    });
    w.show();
    if (!QTest::qWaitForWindowExposed(&w))
        return 1;
    w.Timer1Timer();
    w.showNormal();
    w.resize(784, 620);
    w.TimerNowTimer();
    // The product page, after a refresh.
    w.SelectObjectNode(w.Product);
    QTest::qWait(200);
    w.grab().save(out + QStringLiteral("/mainWindow-product.png"));
    w.BuildServerTree(smByServer);
    QTest::qWait(200);
    w.grab().save(out + QStringLiteral("/mainWindow-module.png"));
    std::printf("%s\n", qPrintable(out));
    w.Ready = false; // leave without the close question
    TestLab().reset();
    return 0;
}
