#include "installQ6120Factory.h"

#include "frmQ6120.h"
#include "modQ6120.h"
#include "pdTwinlane.h"

void InstallQ6120Factory()
{
    TTwinlane::SetModuleFactory([](QWidget* hostControl, TIOObject* product, int modelIndex) -> TIOMod* {
        auto* module = new TModQ6120(modelIndex);
        auto* page = new TfmQ6120(nullptr, module);
        module->Attach(page, hostControl, product);
        return module;
    });
}
