// The control room additions on the real windows: the filter row and its
// count, the grid left alone while nothing is filtered, follow mode, the
// event type symbols, export, and the central log dialog.
#include "common/settingsStore.h"
#include "lab/testsupport/qt/modalAnswerer.h"
#include "logger/alarmNotifier.h"
#include "logger/controlRoom.h"
#include "logger/core/akSettings.h"
#include "logger/core/eventFilterModel.h"
#include "logger/core/eventSymbol.h"
#include "logger/core/eventTableModel.h"
#include "logger/core/forwardingSettings.h"
#include "logger/core/logFormat.h"
#include "logger/core/syslogForwarder.h"
#include "logger/core/tests/akTestData.h"
#include "logger/eventSymbolDelegate.h"
#include "logger/filterBar.h"
#include "logger/followMode.h"
#include "logger/frmForwarding.h"
#include "logger/frmMain.h"
#include "logger/frmViewLog.h"
#include "logger/gridFilter.h"
#include "logger/tests/akTestMain.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QScrollBar>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>
#include <QVBoxLayout>
#include <QWheelEvent>
#include <memory>

namespace {

constexpr int kLoggedRows = 300;

// Row r: Off-Line from "Hall <r % 10>" for every third row, else Cold Start.
QByteArray DayLog()
{
    QByteArray log;
    for (int r = 1; r <= kLoggedRows; ++r) {
        const bool off = r % 3 == 0;
        log += CommaText({ FormatRowNumber(r), off ? "Off-Line" : "Cold Start",
                   "3/14/2026 8:0:" + QByteArray::number(r % 60), "Hall " + QByteArray::number(r % 10),
                   "10.0.0." + QByteArray::number(r % 10), off ? "10.0.9.9" : "--" })
            + "\r\n";
    }
    return log;
}

QByteArray Wire(uint8_t code, const QByteArray& name)
{
    return EncodeAlarmMessage(ExampleAlarm(code, name));
}

class TSymbolProbe : public TEventSymbolDelegate {
public:
    using TEventSymbolDelegate::initStyleOption;
};

} // namespace

class TestControlRoom : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<twltest::ModalAnswerer> m_boxes;
    std::unique_ptr<TfmMain> m_window;
    QDateTime m_now { QDate(2026, 3, 14), QTime(12, 0, 0) };

    QString LogDir() const { return m_dir->filePath(QStringLiteral("logs")); }
    TControlRoom& Room() const { return *m_window->ControlRoom(); }
    TFilterBar& Bar() const { return *Room().Filter()->Bar(); }

    void Open(int sortDir = 0)
    {
        WriteRegInteger(AkSettingsKey(), QStringLiteral("SortDir"), sortDir);
        m_window = std::make_unique<TfmMain>(m_dir->filePath(QStringLiteral("prog/")), [this] { return m_now; });
        m_window->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
    }

private slots:
    void initTestCase()
    {
        if (!twltest::PrivateNetworkProblem().empty())
            QSKIP("needs a network namespace of its own (unshare(CLONE_NEWNET) failed; run as root)");
    }
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(QDir().mkpath(m_dir->filePath(QStringLiteral("prog"))));
        QVERIFY(QDir().mkpath(LogDir()));
        qputenv("KORVEL_MACHINE_SETTINGS", m_dir->filePath(QStringLiteral("machine.ini")).toLocal8Bit());
        WriteRegInteger(AkSettingsKey(), QStringLiteral("Port"), 14041);
        WriteRegString(AkSettingsKey(), QStringLiteral("LogPath"), LogDir());
        QFile f(LogFilePath(LogDir(), m_now.date()));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(DayLog());
        f.close();
        m_boxes = std::make_unique<twltest::ModalAnswerer>();
    }
    void cleanup()
    {
        m_window.reset();
        m_boxes.reset();
        m_dir.reset();
    }

    // The filter row stands above the table; without a filter the grid
    // shows the table itself, with one the filter model, and the count says
    // how many of all are shown.
    void filterRow()
    {
        Open();
        auto* layout = qobject_cast<QVBoxLayout*>(m_window->xgEvent->parentWidget()->layout());
        QVERIFY(layout);
        QCOMPARE(layout->indexOf(&Bar()) + 1, layout->indexOf(m_window->xgEvent));
        QCOMPARE(m_window->xgEvent->model(), m_window->EventModel());
        QTRY_COMPARE(Bar().lbCount->text(), QStringLiteral("300 of 300"));

        Bar().cbTypes[0]->setChecked(false);
        QCOMPARE(m_window->xgEvent->model(), Room().Filter()->FilterModel());
        QCOMPARE(m_window->xgEvent->model()->rowCount(), kLoggedRows / 3);
        QCOMPARE(Bar().lbCount->text(), QStringLiteral("100 of 300"));
        QTest::keyClicks(Bar().etSource, QStringLiteral("hall 3"));
        QTRY_COMPARE(Bar().lbCount->text(), QStringLiteral("10 of 300"));

        // New alarms count at once in the total, and in what is shown when they pass.
        m_window->HandleAlarm(Wire(2, "Hall 3"));
        m_window->HandleAlarm(Wire(0, "Hall 3"));
        QTRY_COMPARE(Bar().lbCount->text(), QStringLiteral("11 of 302"));

        Bar().etSource->clear();
        Bar().cbTypes[0]->setChecked(true);
        QTRY_COMPARE(m_window->xgEvent->model(), m_window->EventModel());
        QTRY_COMPARE(Bar().lbCount->text(), QStringLiteral("302 of 302"));
        // The log holds what arrived, filtered or not.
        QFile f(LogFilePath(LogDir(), m_now.date()));
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll().count("\r\n"), kLoggedRows + 2);
    }

    // Sorted by "#" ascending the newest alarm is the bottom row: the table
    // follows it, stops when the operator scrolls, and comes back on request.
    void followMode()
    {
        Open(1);
        TFollowMode& follow = *Room().Follow();
        QScrollBar* bar = m_window->xgEvent->verticalScrollBar();
        QVERIFY(follow.Following());
        QVERIFY(Bar().btnFollow->isVisible());
        QCOMPARE(bar->value(), 0);
        m_window->HandleAlarm(Wire(2, "Newest"));
        QTRY_COMPARE(bar->value(), bar->maximum());

        // The operator's wheel stops it.
        const QPoint at = m_window->xgEvent->viewport()->rect().center();
        QWheelEvent wheel(at, m_window->xgEvent->viewport()->mapToGlobal(at), QPoint(), QPoint(0, 120), Qt::NoButton,
            Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(m_window->xgEvent->viewport(), &wheel);
        QVERIFY(!follow.Following());
        QVERIFY(Bar().btnFollow->text().contains(QStringLiteral("Not following")));
        const int parked = bar->value();
        QVERIFY(parked < bar->maximum());
        m_window->HandleAlarm(Wire(2, "Newer"));
        QTest::qWait(3 * TFollowMode::kFollowRefreshMs);
        QCOMPARE(bar->value(), parked);

        // Dragging the scroll bar stops it as well.
        QTest::mouseClick(Bar().btnFollow, Qt::LeftButton);
        QVERIFY(follow.Following());
        QTRY_COMPARE(bar->value(), bar->maximum());
        bar->triggerAction(QAbstractSlider::SliderPageStepSub);
        QVERIFY(!follow.Following());
        // And so do the keys that move through the rows.
        QTest::mouseClick(Bar().btnFollow, Qt::LeftButton);
        QVERIFY(follow.Following());
        QTest::keyClick(m_window->xgEvent, Qt::Key_PageUp);
        QVERIFY(!follow.Following());

        // Following through a filter: the newest shown row.
        QTest::mouseClick(Bar().btnFollow, Qt::LeftButton);
        for (int code : { 0, 1, 3 })
            Bar().cbTypes[size_t(code)]->setChecked(false);
        m_window->HandleAlarm(Wire(2, "Filtered"));
        const int last = m_window->xgEvent->model()->rowCount() - 1;
        QCOMPARE(m_window->xgEvent->model()->index(last, colSourceName).data().toString(), QStringLiteral("Filtered"));
        QTRY_COMPARE(bar->value(), bar->maximum());
        QVERIFY(follow.Following());
    }

    // The event type cell carries its type's symbol in the row's colour.
    void symbols()
    {
        Open();
        auto* delegate = qobject_cast<TEventSymbolDelegate*>(m_window->xgEvent->itemDelegateForColumn(colEventType));
        QVERIFY(delegate);
        const QAbstractItemModel* m = m_window->xgEvent->model();
        TSymbolProbe probe; // what the grid's delegate does, made callable
        for (int r = 0; r < 3; ++r) {
            const QModelIndex cell = m->index(r, colEventType);
            QStyleOptionViewItem option;
            option.initFrom(m_window->xgEvent);
            probe.initStyleOption(&option, cell);
            QVERIFY(option.features & QStyleOptionViewItem::HasDecoration);
            const int code = EventTypeCode(cell.data().toString());
            QCOMPARE(option.icon.cacheKey(), EventSymbolIcon(code, EventColor(code)).cacheKey());
        }
    }

    // Export from the main window and from the viewer writes the rows shown
    // as a log file that reads back as those rows.
    void exportShown()
    {
        Open();
        Bar().cbTypes[0]->setChecked(false);
        const QString path = m_dir->filePath(QStringLiteral("shown.log"));
        Room().Filter()->askExportPath = [&](QWidget*) { return path; };
        QTest::mouseClick(Bar().btnExport, Qt::LeftButton);
        TEventTableModel back;
        QCOMPARE(LoadLogFile(path, back), kLoggedRows / 3);
        const QAbstractItemModel* shown = m_window->xgEvent->model();
        for (int r = 0; r < shown->rowCount(); ++r)
            for (int c = colEventType; c < kEventColumnCount; ++c)
                QCOMPARE(back.index(r, c).data(), shown->index(r, c).data());

        TfmViewLog viewer(m_now.date(), LogFilePath(LogDir(), m_now.date()), m_window.get());
        TFilterBar& bar = *viewer.Filter()->Bar();
        bar.etText->setText(QStringLiteral("10.0.0.7"));
        QTRY_COMPARE(bar.lbCount->text(), QStringLiteral("30 of 300"));
        const QString viewed = m_dir->filePath(QStringLiteral("viewed.log"));
        viewer.Filter()->askExportPath = [&](QWidget*) { return viewed; };
        QTest::mouseClick(bar.btnExport, Qt::LeftButton);
        TEventTableModel again;
        QCOMPARE(LoadLogFile(viewed, again), 30);
        QCOMPARE(again.CellText(0, colSourceName), QByteArray("Hall 7"));

        // A file that can't be written is said so.
        QString said;
        viewer.Filter()->askExportPath = [&](QWidget*) { return m_dir->filePath(QStringLiteral("none/x.log")); };
        viewer.Filter()->showError = [&](QWidget*, const QString& text) { said = text; };
        QTest::mouseClick(bar.btnExport, Qt::LeftButton);
        QVERIFY(said.contains(QStringLiteral("none/x.log")));
    }

    // System > Central Log and Alerts: stored under the logger's key and used at once;
    // an empty host turns forwarding off.
    void centralLogDialog()
    {
        Open();
        QVERIFY(!Room().ForwardingStatus()->isVisible());
        m_boxes->dialogs.append([](QWidget* w) {
            auto* d = qobject_cast<TfmForwarding*>(w);
            if (!d)
                return false;
            d->etHost->setText(QStringLiteral(" 127.0.0.1 "));
            d->sePort->setValue(15599);
            d->cbProtocol->setCurrentIndex(1);
            d->cbNotify[0]->setChecked(true);
            d->accept();
            return true;
        });
        Room().muCentralLogClick();
        QCOMPARE(ReadRegString(AkSettingsKey(), QStringLiteral("SyslogHost"), {}), QStringLiteral("127.0.0.1"));
        QCOMPARE(ReadRegInteger(AkSettingsKey(), QStringLiteral("SyslogPort"), 0), 15599);
        QCOMPARE(ReadRegInteger(AkSettingsKey(), QStringLiteral("SyslogProtocol"), 0), int(TSyslogProtocol::Udp));
        QVERIFY(Room().Forwarder()->State() != TSyslogForwarder::TState::Off);
        QCOMPARE(ReadRegInteger(AkSettingsKey(), QStringLiteral("NotifyTypes"), 0), 1 | 4);
        QCOMPARE(Room().Notifier()->Types()[0], true);
        QTRY_VERIFY(Room().ForwardingStatus()->text().contains(QStringLiteral("127.0.0.1:15599 (UDP")));

        QString shownHost;
        m_boxes->dialogs.append([&shownHost](QWidget* w) {
            auto* d = qobject_cast<TfmForwarding*>(w);
            if (!d)
                return false;
            shownHost = d->etHost->text();
            d->etHost->clear();
            d->accept();
            return true;
        });
        Room().muCentralLogClick();
        QCOMPARE(shownHost, QStringLiteral("127.0.0.1"));
        QCOMPARE(int(Room().Forwarder()->State()), int(TSyslogForwarder::TState::Off));
        QVERIFY(!Room().ForwardingStatus()->isVisible());
    }
};

AK_NETNS_QTEST_MAIN(TestControlRoom)
#include "tst_controlRoom.moc"
