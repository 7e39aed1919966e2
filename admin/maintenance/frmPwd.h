#pragma once
// The password prompt of the firmware update.
#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;

class TfmPwd : public QDialog {
    Q_OBJECT
public:
    explicit TfmPwd(QWidget* owner);

    // Empty until OK is pressed; then the text typed.
    QString Password;

    QLabel* Label1;
    QLineEdit* etPassword;
    QPushButton* btnOK;
    QPushButton* btnCancel;

private:
    void btnOKClick();
};
