#pragma once
// The OK and Cancel buttons of the dialogs: OK is the default button and is
// the dialog's to handle; Cancel rejects.
#include <QDialog>
#include <QDialogButtonBox>
#include <QPushButton>

inline QDialogButtonBox* OkCancelButtons(QDialog* dialog, QPushButton*& btnOK, QPushButton*& btnCancel)
{
    auto* buttons = new QDialogButtonBox(dialog);
    btnOK = buttons->addButton(QDialogButtonBox::Ok);
    btnCancel = buttons->addButton(QDialogButtonBox::Cancel);
    btnOK->setObjectName(QStringLiteral("btnOK"));
    btnCancel->setObjectName(QStringLiteral("btnCancel"));
    btnOK->setDefault(true);
    QObject::connect(btnCancel, &QPushButton::clicked, dialog, &QDialog::reject);
    return buttons;
}
