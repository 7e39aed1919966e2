#pragma once
// The object at the top of the device model: owns every module, keeps the
// sorted group texts of the server tree and adds its own subtree to it.
#include "admin/model/ioObject.h"
#include "admin/model/sortedTextList.h"

#include <QList>
#include <QStringList>
#include <memory>

class QProgressBar;
class QTreeWidget;
class QTreeWidgetItem;
class TIOMod;

class TIOProduct : public TIOObject {
public:
    explicit TIOProduct(int32_t productIndex);
    ~TIOProduct() override;

    void Attach(QWidget* page, QWidget* hostControl, TIOObject* parentObject) override;
    void Detach() override;
    // Slots 4-8, in this order.
    // The new module, already in Modules; null for a model this product
    // can't build.
    virtual TIOMod* CreateModule(QWidget* hostControl, int modelIndex, const QString& address);
    virtual void AddServers(QWidget* hostControl, QProgressBar* progressBar, const QList<IONODE*>& records);
    // Number of objects removed; 0 for an object that isn't one of ours or
    // one whose device request still waits.
    virtual int RemoveModule(TIOObject* module);
    virtual TIOMod* AddModule(QWidget* hostControl, TIOObject* target, int modelIndex, const QString& address);
    virtual QTreeWidgetItem* BuildTree(int sortMode, QTreeWidget* treeView, QTreeWidgetItem* parentNode);

    void RefreshLists();
    void RemoveAllModules();
    void HideAllPages();
    // True while a module's device request waits.
    bool AnyRequestPending() const;

    // Null until Attach and again after Detach.
    QList<TIOObject*>* Modules() const { return m_modules.get(); }
    const QStringList& ConnectionList() const { return m_connectionList.items; }
    const QStringList& ServerList() const { return m_serverList.items; }

    const int32_t ProductIndex;

private:
    std::unique_ptr<QList<TIOObject*>> m_modules;
    TSortedTextList m_connectionList;
    TSortedTextList m_serverList;
};
