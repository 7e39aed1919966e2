#include "admin/maintenance/frmPwd.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

TfmPwd::TfmPwd(QWidget* owner)
    : QDialog(owner)
{
    setObjectName(QStringLiteral("fmPwd"));
    setWindowTitle(QStringLiteral("Input Password"));
    setModal(true);

    Label1 = new QLabel(QStringLiteral("Password :"), this);
    etPassword = new QLineEdit(this);
    etPassword->setEchoMode(QLineEdit::Password);
    // A star for every character, whatever the style would draw.
    etPassword->setStyleSheet(QStringLiteral("lineedit-password-character: 42;"));
    btnOK = new QPushButton(QStringLiteral("OK"), this);
    btnOK->setDefault(true);
    btnCancel = new QPushButton(QStringLiteral("Cancel"), this);

    auto* row = new QHBoxLayout;
    row->addWidget(Label1);
    row->addWidget(etPassword, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(btnOK);
    buttons->addWidget(btnCancel);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(row);
    layout->addLayout(buttons);

    connect(btnOK, &QPushButton::clicked, this, &TfmPwd::btnOKClick);
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
}

void TfmPwd::btnOKClick()
{
    Password = etPassword->text();
    accept();
}
