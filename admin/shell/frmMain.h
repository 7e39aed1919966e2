#pragma once
// The main window of TwinlaneAdmin: the server tree, the page pane, the
// tool buttons and menus, the status strip, and the scan.
#include "admin/model/sortMode.h"

#include <QDateTime>
#include <QMainWindow>
#include <functional>
#include <memory>
#include <optional>

class QAction;
class QLabel;
class QMenu;
class QProgressBar;
class QSplitter;
class QTimer;
class QToolBar;
class QToolButton;
class QTreeWidget;
class QTreeWidgetItem;
struct IONODE;
class TIOObject;
class TTwinlane;

// What the add-module dialog hands back when it is closed with OK.
struct TModAddResult {
    int ModelIndex = 0;
    int TypeCode = 0;
    QString LocalAddress;
    QString Address;
};

class TfmMain : public QMainWindow {
    Q_OBJECT
public:
    // Test seams in place of the search, conflict and add dialogs. The
    // search fills the list with one record per server found (the list
    // owns them). The conflict step returns true when the operator asks
    // for a new search, false for "ignore these devices".
    using TSearchRunner = std::function<void(QList<IONODE*>& records)>;
    using TConflictRunner = std::function<bool(QList<IONODE*>& records)>;
    // The add-module dialog: nothing for Cancel.
    using TModAddRunner
        = std::function<std::optional<TModAddResult>(QWidget* owner, TIOObject* target, QList<TIOObject*>* modules)>;

    explicit TfmMain(QWidget* parent = nullptr);
    ~TfmMain() override;

    // Without a runner the real dialogs run (TfmSearch, TfmIPConflict,
    // TfmModAdd).
    void SetSearchRunner(TSearchRunner runner) { m_searchRunner = std::move(runner); }
    void SetConflictRunner(TConflictRunner runner) { m_conflictRunner = std::move(runner); }
    void SetModAddRunner(TModAddRunner runner) { m_modAddRunner = std::move(runner); }

    void ScanServers();
    void BuildServerTree(int sortMode);
    void EnableCommands(bool enabled);
    void SelectObjectNode(TIOObject* object);

    bool Ready = false;
    int SortMode = smByConnection;
    QDateTime StartTime;
    TTwinlane* Product = nullptr; // owned

    // Controls, by their names.
    QToolBar* tbMenu;
    QToolBar* tbCommands;
    QToolButton* btnFile;
    QToolButton* btnSys;
    QToolButton* btnSort;
    QToolButton* btnHelp;
    QToolButton* btnAutoSearch;
    QToolButton* btnSortCon;
    QToolButton* btnSortServer;
    QMenu* muFile;
    QMenu* muSystem;
    QMenu* muSort;
    QMenu* muHelp;
    QAction* muExit;
    QAction* muRescan;
    QAction* muByConnection;
    QAction* muByServer;
    QAction* muWiringGuide;
    QAction* muAbout;
    QMenu* muPraxon;
    QAction* muAddPodModule;
    QMenu* muModRemoteE;
    QAction* muRemoteERestartModule;
    QAction* muRemoteEResetModule;
    QAction* muDelModule;
    QSplitter* Splitter1;
    QWidget* pnTree;
    QTreeWidget* tvXRT;
    QWidget* nPanelParent;
    QWidget* pnStatus;
    QLabel* lbStatus;
    QProgressBar* ProgressBar1;
    QLabel* PanelElapse;
    QLabel* PanelNow;
    QTimer* Timer1;
    QTimer* TimerNow;

signals:
    // Just before a tree pop-up menu opens at a screen point.
    void menuPopupEvent(QMenu* menu, const QPoint& screenPos);

public slots:
    void FormActivate();
    void Timer1Timer();
    void TimerNowTimer();
    void muExitClick();
    void muWiringGuideClick();
    void muAboutClick();
    void muAddModuleClick();
    void muDelModuleClick();
    void tvXRTChange(QTreeWidgetItem* node);
    // A press on the tree at a point of its viewport.
    void tvXRTMouseDown(Qt::MouseButton button, const QPoint& viewportPos);

protected:
    bool event(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    // Opens a tree pop-up menu without waiting for it.
    virtual void PopupMenu(QMenu* menu, const QPoint& screenPos);

private:
    void FormCreate();
    bool FormCloseQuery();
    void FormClose();
    void tvXRTChanging(QTreeWidgetItem* current);
    void ClearTree();
    void CurrentNodeChanged(QTreeWidgetItem* current, QTreeWidgetItem* previous);
    void KeepCurrentHighlighted();
    void RunSearchDialog(QList<IONODE*>& records);
    bool RunConflictDialog(QList<IONODE*>& records);
    std::optional<TModAddResult> RunModAddDialog(TIOObject* target, QList<TIOObject*>* modules);
    // Says why a command is refused while a device request waits.
    void TellRequestPending();

    bool m_firstActivation = true;
    bool m_closed = false;
    TSearchRunner m_searchRunner;
    TConflictRunner m_conflictRunner;
    TModAddRunner m_modAddRunner;
};
