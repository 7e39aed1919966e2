#include "admin/shell/frmAbout.h"

#include <QGroupBox>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

TfmAbout::TfmAbout(QWidget* owner)
    : QDialog(owner)
{
    setObjectName(QStringLiteral("fmAbout"));
    setWindowTitle(QStringLiteral("About"));
    // A fixed single border with the system menu only.
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::CustomizeWindowHint | Qt::WindowTitleHint
        | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);

    auto* layout = new QVBoxLayout(this);
    auto* group = new QGroupBox(this);
    auto* groupLayout = new QHBoxLayout(group);
    programIcon = new QLabel(group);
    programIcon->setObjectName(QStringLiteral("ProgramIcon"));
    programIcon->setPixmap(QIcon(QStringLiteral(":/icons/app.png")).pixmap(48, 48));
    lbVersion = new QLabel(QStringLiteral("TwinlaneAdmin V1.0 Build 07042518"), group);
    lbVersion->setObjectName(QStringLiteral("lbVersion"));
    groupLayout->addWidget(programIcon);
    groupLayout->addSpacing(12);
    groupLayout->addWidget(lbVersion, 1);
    layout->addWidget(group);
    btnOK = new QPushButton(QStringLiteral("OK"), this);
    btnOK->setObjectName(QStringLiteral("btnOK"));
    btnOK->setDefault(true);
    layout->addWidget(btnOK, 0, Qt::AlignHCenter);
    connect(btnOK, &QPushButton::clicked, this, &QDialog::accept);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

void TfmAbout::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (QWidget* owner = parentWidget()) {
        QRect frame = frameGeometry();
        frame.moveCenter(owner->frameGeometry().center());
        move(frame.topLeft());
    }
}
