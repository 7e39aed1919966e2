#pragma once
// The restart countdown: a modal dialog that counts eight seconds down and
// closes itself. The operator can't close it.
#include <QDialog>

class QLabel;
class QTimer;

class TfmWait : public QDialog {
    Q_OBJECT
public:
    explicit TfmWait(QWidget* mainWindow);

    int SecondsLeft = 8;
    QLabel* Label1;
    QLabel* lbTime;
    QLabel* Image1;
    QTimer* Timer1;

    void reject() override; // Escape does not close it

signals:
    // Every tick, with the seconds now left.
    void SecondsLeftChanged(int secondsLeft);

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void Timer1Timer();
    void CentreOnMainWindow();
    QWidget* m_mainWindow;
    bool m_finished = false;
};
