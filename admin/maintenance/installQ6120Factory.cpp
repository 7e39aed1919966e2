#include "admin/maintenance/installQ6120Factory.h"

#include "admin/maintenance/frmQ6120.h"
#include "admin/model/modQ6120.h"
#include "admin/model/pdTwinlane.h"

void InstallQ6120Factory()
{
    TTwinlane::SetModuleFactory([](QWidget* hostControl, TIOObject* product, int modelIndex) -> TIOMod* {
        auto* module = new TModQ6120(modelIndex);
        auto* page = new TfmQ6120(nullptr, module);
        module->Attach(page, hostControl, product);
        return module;
    });
}
