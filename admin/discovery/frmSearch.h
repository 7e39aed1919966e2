#pragma once
// The search dialog: runs devscan in a worker, lists the servers as they
// answer and closes itself about two seconds after the search began (or on
// Stop), always only after the library's search call has returned.
#include "admin/model/ioObject.h"

#include <QDialog>
#include <QList>
#include <memory>

class QLabel;
class QProgressBar;
class QPushButton;
class QStatusBar;
class QTableWidget;
class QTimer;
class TEnumThread;
class TSearchSession;

class TfmSearch : public QDialog {
    Q_OBJECT
public:
    // Found records are appended to resultList in answer order; the caller
    // owns them and reads the list after the dialog has closed.
    TfmSearch(QWidget* owner, QList<IONODE*>* resultList);
    ~TfmSearch() override;

    QList<IONODE*>* ResultList; // not owned
    int TicksLeft = 3;
    TEnumThread* SearchThread = nullptr; // owned while it runs
    // Shared with the search thread; holds the StopSearch flag.
    std::unique_ptr<TSearchSession> session;
    bool StopRequested() const;

    QLabel* lbFound;
    QLabel* Label2;
    QTableWidget* lvEnum;
    QProgressBar* ProgressBar1;
    QLabel* Animate1;
    QPushButton* btnStop;
    QStatusBar* StatusBar1;
    QLabel* StatusPanel0;
    QLabel* StatusPanel1;
    QTimer* TimerAuto;
    QTimer* Timer1;

    // Closing, whatever the cause: stops the search and waits for the
    // worker before the dialog goes.
    void done(int result) override;
    // Escape: the Stop button, once it is enabled.
    void reject() override;

public slots:
    void StartSearch();
    void Timer1Timer();
    void btnStopClick();

signals:
    // After a row was added to lvEnum (tests, pictures).
    void rowAdded(int rows);

protected:
    bool event(QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void AddFoundServer(const QStringList& texts);
    void WaitForSearchThread();
    void TurnAnimation();

    bool m_activated = false;
    bool m_started = false;
    bool m_closing = false;
    QTimer* m_animationTimer;
    int m_animationAngle = 0;
};
