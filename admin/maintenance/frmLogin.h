#pragma once
// The login a web console asks for (HTTP authentication), as any browser
// asks it: user name and password, OK or Cancel.
#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;

class TfmLogin : public QDialog {
    Q_OBJECT
public:
    // site: the host that asks, shown to the operator with its realm.
    TfmLogin(QWidget* owner, const QString& site, const QString& realm);

    QLabel* lbSite;
    QLineEdit* etUser;
    QLineEdit* etPassword;
    QPushButton* btnOK;
    QPushButton* btnCancel;
};
