#include "admin/model/ioProduct.h"

#include "admin/discovery/Iphelp.h"
#include "admin/model/ioAppGlobals.h"
#include "admin/model/ioMod.h"
#include "admin/model/ioTreeNode.h"
#include "common/busyCursor.h"

#include <QLabel>
#include <QProgressBar>
#include <QTreeWidgetItem>
#include <algorithm>

namespace {
bool IsModule(const TIOObject* o)
{
    return o && o->Kind == okModule;
}
} // namespace

TIOProduct::TIOProduct(int32_t productIndex)
    : TIOObject(okProduct, CatalogueText(ProductNames, productIndex))
    , ProductIndex(productIndex)
{
}

TIOProduct::~TIOProduct()
{
    // An owner detaches first; a product deleted without it must still not
    // leak its modules.
    if (m_modules)
        RemoveAllModules();
}

void TIOProduct::Attach(QWidget* page, QWidget* hostControl, TIOObject* parentObject)
{
    TIOObject::Attach(page, hostControl, parentObject);
    m_modules = std::make_unique<QList<TIOObject*>>();
    m_connectionList.Clear();
    m_serverList.Clear();
}

void TIOProduct::Detach()
{
    TIOObject::Detach();
    if (m_modules)
        RemoveAllModules();
    m_modules.reset();
    m_connectionList.Clear();
    m_serverList.Clear();
}

TIOMod* TIOProduct::CreateModule(QWidget*, int, const QString&)
{
    return nullptr;
}

void TIOProduct::AddServers(QWidget* hostControl, QProgressBar* progressBar, const QList<IONODE*>& records)
{
    const int n = int(records.size());
    for (int i = 0; i < n; ++i) {
        const IONODE* record = records.at(i);
        if (!record || record->Conflict)
            continue;
        if (MainWindowLinks.lbStatus)
            MainWindowLinks.lbStatus->setText(QStringLiteral("Adding I/O server: %1 [%2/%3]")
                                                  .arg(CatalogueText(ModelNames, record->ModelIndex))
                                                  .arg(i + 1)
                                                  .arg(n));
        TIOMod* module = nullptr;
        if (record->Kind == 1)
            module = CreateModule(hostControl, record->ModelIndex, record->Address);
        if (module && progressBar)
            progressBar->setValue(progressBar->value() + 1);
    }
    RefreshLists();
}

int TIOProduct::RemoveModule(TIOObject* module)
{
    if (!m_modules || !IsModule(module) || !m_modules->contains(module))
        return 0;
    if (static_cast<TIOMod*>(module)->requestPending)
        return 0;
    int count = 0;
    for (;;) {
        const auto child = std::find_if(
            m_modules->begin(), m_modules->end(), [module](const TIOObject* o) { return o && o->Parent == module; });
        if (child == m_modules->end())
            break;
        TIOObject* doomed = *child;
        m_modules->erase(child);
        doomed->Detach();
        delete doomed;
        ++count;
    }
    m_modules->removeOne(module);
    module->Detach();
    delete module;
    ++count;
    RefreshLists();
    return count;
}

TIOMod* TIOProduct::AddModule(QWidget* hostControl, TIOObject* target, int modelIndex, const QString& address)
{
    TBusyCursor wait;
    if (target != this)
        return nullptr;
    TIOMod* module = CreateModule(hostControl, modelIndex, address);
    RefreshLists();
    return module;
}

QTreeWidgetItem* TIOProduct::BuildTree(int sortMode, QTreeWidget* treeView, QTreeWidgetItem* parentNode)
{
    QTreeWidgetItem* productNode = AddChildNode(treeView, parentNode, Name);
    SetNodeObject(productNode, this);
    SetNodeImage(productNode, 1);
    if (!m_modules)
        return productNode;
    if (sortMode == smByConnection) {
        for (const QString& s : m_connectionList.items) {
            QTreeWidgetItem* g = AddChildNode(treeView, productNode, s);
            SetNodeImage(g, s.contains(QLatin1Char('.')) ? 2 : 3);
            for (TIOObject* o : *m_modules)
                if (IsModule(o) && o->Parent == this)
                    static_cast<TIOMod*>(o)->AddTreeNode(sortMode, treeView, g, s);
        }
    } else if (sortMode == smByServer) {
        for (const QString& s : m_serverList.items) {
            QTreeWidgetItem* g = AddChildNode(treeView, productNode, s);
            SetNodeImage(g, 0);
            for (TIOObject* o : *m_modules)
                if (IsModule(o))
                    static_cast<TIOMod*>(o)->AddTreeNode(sortMode, treeView, g, s);
        }
    }
    return productNode;
}

void TIOProduct::RefreshLists()
{
    m_connectionList.Clear();
    m_serverList.Clear();
    if (!m_modules)
        return;
    for (const TIOObject* o : *m_modules) {
        if (!IsModule(o))
            continue;
        m_connectionList.Add(static_cast<const TIOMod*>(o)->Address);
        m_serverList.Add(o->Name);
    }
}

void TIOProduct::RemoveAllModules()
{
    if (m_modules) {
        for (TIOObject*& o : *m_modules) {
            if (!IsModule(o))
                continue;
            TIOObject* doomed = o;
            o = nullptr;
            doomed->Detach();
            delete doomed;
        }
        m_modules->clear();
    }
    RemoveAllHostRoutes();
}

void TIOProduct::HideAllPages()
{
    if (!m_modules)
        return;
    for (TIOObject* o : *m_modules)
        if (o)
            o->HidePage();
}

bool TIOProduct::AnyRequestPending() const
{
    if (!m_modules)
        return false;
    return std::any_of(m_modules->begin(), m_modules->end(),
        [](const TIOObject* o) { return IsModule(o) && static_cast<const TIOMod*>(o)->requestPending; });
}
