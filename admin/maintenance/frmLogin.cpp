#include "admin/maintenance/frmLogin.h"

#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

TfmLogin::TfmLogin(QWidget* owner, const QString& site, const QString& realm)
    : QDialog(owner)
{
    setObjectName(QStringLiteral("fmLogin"));
    setWindowTitle(QStringLiteral("Login"));
    setModal(true);
    lbSite = new QLabel(realm.isEmpty() ? site : QStringLiteral("%1 (%2)").arg(site, realm), this);
    etUser = new QLineEdit(this);
    etPassword = new QLineEdit(this);
    etPassword->setEchoMode(QLineEdit::Password);
    btnOK = new QPushButton(QStringLiteral("OK"), this);
    btnOK->setDefault(true);
    btnCancel = new QPushButton(QStringLiteral("Cancel"), this);

    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("User name :"), etUser);
    form->addRow(QStringLiteral("Password :"), etPassword);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(btnOK);
    buttons->addWidget(btnCancel);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(lbSite);
    layout->addLayout(form);
    layout->addLayout(buttons);
    connect(btnOK, &QPushButton::clicked, this, &QDialog::accept);
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
}
