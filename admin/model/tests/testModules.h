#pragma once
// A module class for tests of the product and the tree: a TIOMod with the
// type code and channel kinds a case asks for, a plain page, and a record
// of its PrepareMenu calls.
#include "admin/model/ioMod.h"
#include "admin/model/pdTwinlane.h"

#include <QLabel>
#include <QList>

class TTestMod : public TIOMod {
public:
    TTestMod(int32_t modelIndex, int32_t typeCode, uint32_t channelKinds, int32_t unitId = 1)
        : TIOMod(unitId, modelIndex, channelKinds)
    {
        TypeCode = typeCode;
    }
    void PrepareMenu() override { ++prepareMenuCalls; }
    int prepareMenuCalls = 0;
};

// What the next modules built by the factory look like; a queue so a case
// can give each module its own type code.
struct TTestModDef {
    int32_t typeCode = 17;
    uint32_t channelKinds = 3;
    int32_t unitId = 1;
};

class TTestModFactory {
public:
    TTestModFactory() { Install(); }
    ~TTestModFactory() { TTwinlane::SetModuleFactory({}); }
    void Install()
    {
        TTwinlane::SetModuleFactory([this](QWidget* host, TIOObject* product, int modelIndex) -> TIOMod* {
            const TTestModDef def = next.isEmpty() ? fallback : next.takeFirst();
            auto* module = new TTestMod(modelIndex, def.typeCode, def.channelKinds, def.unitId);
            auto* page = new QLabel(QStringLiteral("page of module %1").arg(++built));
            module->Attach(page, host, product);
            if (onBuild)
                onBuild();
            return module;
        });
    }
    QList<TTestModDef> next;
    TTestModDef fallback;
    int built = 0;
    std::function<void()> onBuild;
};

// The tree under a node as indented lines "text [image] kind", kind being
// P (product), M (module) or - (no object).
#include "admin/model/ioObject.h"
#include "admin/model/ioTreeNode.h"
#include <QTreeWidget>

inline void DumpNode(const QTreeWidgetItem* node, int depth, QStringList& out)
{
    const TIOObject* o = NodeObject(node);
    const QString kind = !o ? QStringLiteral("-") : o->Kind == okProduct ? QStringLiteral("P") : QStringLiteral("M");
    out << QStringLiteral("%1%2 [%3] %4")
               .arg(QString(depth * 2, QLatin1Char(' ')), node->text(0))
               .arg(NodeImage(node))
               .arg(kind);
    for (int i = 0; i < node->childCount(); ++i)
        DumpNode(node->child(i), depth + 1, out);
}

inline QStringList DumpTree(const QTreeWidget* tree)
{
    QStringList out;
    for (int i = 0; i < tree->topLevelItemCount(); ++i)
        DumpNode(tree->topLevelItem(i), 0, out);
    return out;
}
