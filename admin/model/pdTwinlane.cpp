#include "admin/model/pdTwinlane.h"

#include "admin/model/frmTwinlane.h"
#include "admin/model/ioAppGlobals.h"
#include "admin/model/ioMod.h"

namespace {
TModuleFactory& Factory()
{
    static TModuleFactory factory;
    return factory;
}
} // namespace

TTwinlane::TTwinlane()
    : TIOProduct(0)
{
}

void TTwinlane::SetModuleFactory(TModuleFactory factory)
{
    Factory() = std::move(factory);
}

const TModuleFactory& TTwinlane::ModuleFactory()
{
    return Factory();
}

TfmTwinlane* TTwinlane::ProductPage() const
{
    return qobject_cast<TfmTwinlane*>(Page.data());
}

void TTwinlane::Attach(QWidget* page, QWidget* hostControl, TIOObject* parentObject)
{
    TIOProduct::Attach(page, hostControl, parentObject);
    if (TfmTwinlane* p = ProductPage())
        p->SetBanner(BannerImage);
}

void TTwinlane::Detach()
{
    TIOProduct::Detach();
}

TIOMod* TTwinlane::CreateModule(QWidget* hostControl, int modelIndex, const QString& address)
{
    if (modelIndex != 0 || !Factory() || !Modules())
        return nullptr;
    TIOMod* module = Factory()(hostControl, this, modelIndex);
    if (!module)
        return nullptr;
    module->AttachToList(Modules(), hostControl, address);
    return module;
}

void TTwinlane::AddServers(QWidget* hostControl, QProgressBar* progressBar, const QList<IONODE*>& records)
{
    TIOProduct::AddServers(hostControl, progressBar, records);
    if (TfmTwinlane* p = ProductPage())
        p->SetModuleList(Modules());
}
