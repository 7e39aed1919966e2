#pragma once
// The one concrete product, the root of the server tree.
#include "admin/model/ioProduct.h"

#include <functional>

class QWidget;
class TIOMod;

// Builds the module of a catalogue model together with its device page and
// attaches it: module->Attach(page, hostControl, product). Returns null for
// a model it can't build. TTwinlane::CreateModule then puts the module into
// Modules (AttachToList).
//
// The program installs the factory of the Q6120 (TModQ6120 with its page
// TfmQ6120) once at start, before the main window is created: main() calls
// InstallQ6120Factory() (admin/maintenance), which calls SetModuleFactory.
// The device page lives above the model, so the model can't name it; the
// factory is where the two meet. Without a factory no module is built.
using TModuleFactory = std::function<TIOMod*(QWidget* hostControl, TIOObject* product, int modelIndex)>;

class TfmTwinlane;

class TTwinlane : public TIOProduct {
public:
    TTwinlane();

    void Attach(QWidget* page, QWidget* hostControl, TIOObject* parentObject) override;
    void Detach() override;
    TIOMod* CreateModule(QWidget* hostControl, int modelIndex, const QString& address) override;
    void AddServers(QWidget* hostControl, QProgressBar* progressBar, const QList<IONODE*>& records) override;

    static void SetModuleFactory(TModuleFactory factory);
    static const TModuleFactory& ModuleFactory();

private:
    TfmTwinlane* ProductPage() const;
};
