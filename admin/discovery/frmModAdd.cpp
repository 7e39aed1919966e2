#include "admin/discovery/frmModAdd.h"

#include "admin/discovery/Iphelp.h"
#include "admin/model/ioMod.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

namespace {
// Item data of cbINT: the interface's address text.
constexpr int kAddressRole = Qt::UserRole;
constexpr int kModelRole = Qt::UserRole;
} // namespace

TfmModAdd::TfmModAdd(QWidget* owner, QList<TIOObject*>* modules, TIOObject* target)
    : QDialog(owner, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint)
    , Modules(modules)
    , Target(target)
{
    setObjectName(QStringLiteral("fmModAdd"));
    setWindowTitle(QStringLiteral("Fleetdesk - Add New Module"));

    Label1 = new QLabel(QStringLiteral("I/O Server Type :"), this);
    cbModuleType = new QComboBox(this);
    cbModuleType->setObjectName(QStringLiteral("cbModuleType"));
    cbModuleType->setStyleSheet(QStringLiteral("QComboBox { color: blue; }"));
    cbModuleType->setMinimumWidth(300);
    Image1 = new QLabel(this);
    Image1->setPixmap(QIcon(QStringLiteral(":/icons/add.png")).pixmap(32, 32));

    GroupBox1 = new QGroupBox(QStringLiteral("Connection Type :"), this);
    Label2 = new QLabel(QStringLiteral("Network Interface :"), GroupBox1);
    cbINT = new QComboBox(GroupBox1);
    cbINT->setObjectName(QStringLiteral("cbINT"));
    Label3 = new QLabel(QStringLiteral("IP Address :"), GroupBox1);
    cbIP = new QLineEdit(GroupBox1);
    cbIP->setObjectName(QStringLiteral("cbIP"));
    auto* grid = new QGridLayout(GroupBox1);
    grid->addWidget(Label2, 0, 0, 1, 2);
    grid->addWidget(cbINT, 1, 0, 1, 2);
    grid->addWidget(Label3, 2, 0);
    grid->addWidget(cbIP, 2, 1);

    btnOK = new QPushButton(style()->standardIcon(QStyle::SP_DialogOkButton), QStringLiteral("OK"), this);
    btnOK->setObjectName(QStringLiteral("btnOK"));
    btnOK->setDefault(true);
    btnOK->setEnabled(false);
    btnCancel = new QPushButton(style()->standardIcon(QStyle::SP_DialogCancelButton), QStringLiteral("Cancel"), this);
    btnCancel->setObjectName(QStringLiteral("btnCancel"));
    btnCancel->setAutoDefault(false);

    auto* head = new QGridLayout;
    head->addWidget(Label1, 0, 0);
    head->addWidget(cbModuleType, 1, 0);
    head->addWidget(Image1, 0, 1, 2, 1, Qt::AlignRight | Qt::AlignTop);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(btnOK);
    buttons->addWidget(btnCancel);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(head);
    layout->addWidget(GroupBox1);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    connect(cbIP, &QLineEdit::textChanged, this, &TfmModAdd::cbIPChange);
    connect(btnOK, &QPushButton::clicked, this, &TfmModAdd::btnOKClick);
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);

    if (LocalInterfaces) {
        for (const tIPNODE& i : *LocalInterfaces)
            if (i.InterfaceType == EthernetInterfaceType)
                cbINT->addItem(i.Description, i.Address);
    }
    if (cbINT->count() > 0)
        cbINT->setCurrentIndex(0);
    if (TargetIsProduct()) {
        cbModuleType->addItem(
            CatalogueText(ModelNames, 0) + QStringLiteral("  ") + CatalogueText(ModelDescriptions, 0), 0);
        cbModuleType->setCurrentIndex(0);
    }
}

bool TfmModAdd::TargetIsProduct() const
{
    return Target && Target->Kind == okProduct;
}

void TfmModAdd::cbIPChange(const QString& text)
{
    if (TargetIsProduct())
        btnOK->setEnabled(!text.isEmpty());
}

void TfmModAdd::btnOKClick()
{
    const QString typed = cbIP->text();
    if (Modules) {
        for (const TIOObject* o : std::as_const(*Modules)) {
            if (o && o->Kind == okModule && static_cast<const TIOMod*>(o)->Address == typed) {
                QMessageBox::information(this, windowTitle(), QStringLiteral("The IP address had already been used !"));
                return;
            }
        }
    }
    if (cbINT->currentIndex() < 0) {
        // No interface to reach the server through: adding would give a
        // module without a route.
        QMessageBox::information(this, windowTitle(),
            QStringLiteral("No network interface can be used: this computer has no Ethernet interface "
                           "with an IP address."));
        return;
    }
    LocalAddress = cbINT->currentData(kAddressRole).toString();
    ModelIndex = cbModuleType->currentIndex() >= 0 ? cbModuleType->currentData(kModelRole).toInt() : 0;
    if (TargetIsProduct() && ModelIndex == 0) {
        TypeCode = RemoteEthernetTypeCode;
        Address = typed;
    }
    accept();
}
