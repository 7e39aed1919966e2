// Pictures of the Alarmkeeper windows for a look at the layout:
//   shot_alarmkeeper <folder>
// writes main.png (coloured rows, one selected, forwarding to a local
// rsyslogd when installed), main_filtered.png, viewer.png, settings.png and
// central_log.png there. Run it under xvfb-run for real fonts; it listens only inside a
// network namespace of its own.
#include "common/settingsStore.h"
#include "lab/testsupport/privateNetwork.h"
#include "logger/alarmNotifier.h"
#include "logger/controlRoom.h"
#include "logger/core/akSettings.h"
#include "logger/core/forwardingSettings.h"
#include "logger/core/logFormat.h"
#include "logger/core/tests/akTestData.h"
#include "logger/filterBar.h"
#include "logger/frmForwarding.h"
#include "logger/frmMain.h"
#include "logger/frmSetting.h"
#include "logger/frmViewLog.h"
#include "logger/gridFilter.h"
#include "logger/tests/rsyslogCollector.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTest>
#include <cstdio>
#include <string>

int main(int argc, char* argv[])
{
    if (const std::string problem = twltest::EnterPrivateNetwork(); !problem.empty()) {
        std::fprintf(stderr, "needs a network namespace of its own (%s; run as root)\n", problem.c_str());
        return 2;
    }
    QApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: shot_alarmkeeper <folder>\n");
        return 2;
    }
    const QDir out(QString::fromLocal8Bit(argv[1]));
    QDir().mkpath(out.path());

    QTemporaryDir dir;
    qputenv("KORVEL_MACHINE_SETTINGS", dir.filePath(QStringLiteral("machine.ini")).toLocal8Bit());
    WriteRegString(AkSettingsKey(), QStringLiteral("LogPath"), dir.filePath(QStringLiteral("log")));
    WriteRegInteger(AkSettingsKey(), QStringLiteral("Port"), 4040);

    TRsyslogCollector collector;
    if (TRsyslogCollector::Available() && collector.Start()) {
        TForwardingSettings fs;
        fs.Host = QStringLiteral("127.0.0.1");
        fs.Port = TRsyslogCollector::kTcpPort;
        StoreForwardingSettings(fs);
    }
    TfmMain window(dir.filePath(QStringLiteral("prog/")));
    window.show();
    const char* names[] = { "Boiler room", "Gate east", "Pump 3", "Gate west", "Line 2 press", "Cold store" };
    for (int i = 0; i < 24; ++i) {
        AlarmMessage m = ExampleAlarm(uint8_t((i * 7) % 4), names[i % 6]);
        m.Hour = uint8_t(6 + i / 4);
        m.Minute = uint8_t((i * 13) % 60);
        m.SourceIp[3] = uint8_t(10 + i % 6);
        window.HandleAlarm(EncodeAlarmMessage(m));
    }
    window.xgEvent->selectRow(3);
    bool ok = QTest::qWaitForWindowExposed(&window);
    QTest::qWait(500); // the status strip redraws a quarter second after the last alarm
    ok = window.grab().save(out.filePath(QStringLiteral("main.png"))) && ok;
    TFilterBar& bar = *window.ControlRoom()->Filter()->Bar();
    bar.cbTypes[0]->setChecked(false);
    bar.etSource->setText(QStringLiteral("gate"));
    QTest::qWait(500);
    ok = window.grab().save(out.filePath(QStringLiteral("main_filtered.png"))) && ok;
    std::printf("tray tool tip: %s\n", qPrintable(window.ControlRoom()->Notifier()->ToolTip()));

    TfmViewLog viewer(
        QDate::currentDate(), LogFilePath(window.CurrentSettings().LogPath, QDate::currentDate()), &window);
    viewer.show();
    ok = QTest::qWaitForWindowExposed(&viewer) && ok;
    ok = viewer.grab().save(out.filePath(QStringLiteral("viewer.png"))) && ok;

    TfmSettings settings(window.CurrentSettings(), &window);
    settings.show();
    ok = QTest::qWaitForWindowExposed(&settings) && ok;
    ok = settings.grab().save(out.filePath(QStringLiteral("settings.png"))) && ok;

    TfmForwarding central(LoadForwardingSettings(), { false, false, true, false }, &window);
    central.show();
    ok = QTest::qWaitForWindowExposed(&central) && ok;
    ok = central.grab().save(out.filePath(QStringLiteral("central_log.png"))) && ok;

    std::printf("%s\n", qPrintable(out.absolutePath()));
    return ok ? 0 : 1;
}
