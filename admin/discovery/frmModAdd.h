#pragma once
// The add-module dialog behind "Add Twinlane Server": the server type, the
// local Ethernet interface it is reached through and its address (or host
// name). It only collects and checks; the caller adds the route and module.
#include "admin/model/ioMod.h"
#include "admin/model/ioObject.h"

#include <QDialog>
#include <QList>

class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;

class TfmModAdd : public QDialog {
    Q_OBJECT
public:
    TfmModAdd(QWidget* owner, QList<TIOObject*>* modules, TIOObject* target);

    QList<TIOObject*>* Modules; // not owned; may be null
    TIOObject* Target; // not owned
    int ModelIndex = 0;
    int TypeCode = 0;
    QString LocalAddress;
    QString Address;

    QLabel* Label1;
    QComboBox* cbModuleType;
    QLabel* Image1;
    QGroupBox* GroupBox1;
    QLabel* Label2;
    QComboBox* cbINT;
    QLabel* Label3;
    QLineEdit* cbIP;
    QPushButton* btnOK;
    QPushButton* btnCancel;

    // The interface type that the list offers (Ethernet).
    static constexpr int32_t EthernetInterfaceType = 6;
    static constexpr int RemoteEthernetTypeCode = TypeCodeRemoteEthernet;

public slots:
    void cbIPChange(const QString& text);
    void btnOKClick();

private:
    bool TargetIsProduct() const;
};
