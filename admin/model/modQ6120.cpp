#include "admin/model/modQ6120.h"

#include "admin/model/ioDevicePage.h"

TModQ6120::TModQ6120(int32_t modelIndex)
    : TIOModRemoteE(1, modelIndex, 3)
{
}

TDevicePage* TModQ6120::DevicePage() const
{
    return dynamic_cast<TDevicePage*>(Page.data());
}

void TModQ6120::Attach(QWidget* page, QWidget* hostControl, TIOObject* parentObject)
{
    TIOModRemoteE::Attach(page, hostControl, parentObject);
    if (TDevicePage* p = DevicePage())
        p->InitPage();
}

void TModQ6120::Detach()
{
    if (TDevicePage* p = DevicePage())
        p->ReleaseBrowser();
    TIOModRemoteE::Detach();
}

void TModQ6120::AttachToList(QList<TIOObject*>* list, QWidget* hostControl, const QString& address)
{
    TIOModRemoteE::AttachToList(list, hostControl, address);
    if (TDevicePage* p = DevicePage())
        p->OpenWebConsole();
}
