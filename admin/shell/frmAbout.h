#pragma once
#include <QDialog>

class QLabel;
class QPushButton;

class TfmAbout : public QDialog {
    Q_OBJECT
public:
    explicit TfmAbout(QWidget* owner);

    QLabel* programIcon;
    QLabel* lbVersion;
    QPushButton* btnOK;

protected:
    void showEvent(QShowEvent* event) override;
};
