// Pictures of the Alarmkeeper windows for a look at the layout:
//   shot_alarmkeeper <folder>
// writes main.png (coloured rows, one selected), viewer.png and settings.png
// there. Run it under xvfb-run for real fonts; it listens only inside a
// network namespace of its own.
#include "akSettings.h"
#include "akTestData.h"
#include "frmMain.h"
#include "frmSetting.h"
#include "frmViewLog.h"
#include "logFormat.h"
#include "privateNetns.h"
#include "settingsStore.h"

#include <QApplication>
#include <QDir>
#include <QTemporaryDir>
#include <QTest>
#include <cstdio>

int main(int argc, char* argv[])
{
    if (!EnterPrivateNetns()) {
        std::fprintf(stderr, "needs a network namespace of its own (run as root)\n");
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
    ok = window.grab().save(out.filePath(QStringLiteral("main.png"))) && ok;

    TfmViewLog viewer(
        QDate::currentDate(), LogFilePath(window.CurrentSettings().LogPath, QDate::currentDate()), &window);
    viewer.show();
    ok = QTest::qWaitForWindowExposed(&viewer) && ok;
    ok = viewer.grab().save(out.filePath(QStringLiteral("viewer.png"))) && ok;

    TfmSettings settings(window.CurrentSettings(), &window);
    settings.show();
    ok = QTest::qWaitForWindowExposed(&settings) && ok;
    ok = settings.grab().save(out.filePath(QStringLiteral("settings.png"))) && ok;

    std::printf("%s\n", qPrintable(out.absolutePath()));
    return ok ? 0 : 1;
}
