#include "admin/model/ioMod.h"

#include "admin/model/ioTreeNode.h"

#include <QTreeWidgetItem>

TIOMod::TIOMod(int32_t unitId, int32_t modelIndex, uint32_t channelKinds)
    : TIOObject(okModule, CatalogueText(ModelNames, modelIndex))
    , ModelIndex(modelIndex)
    , UnitId(unitId)
    , ChannelKinds(channelKinds)
{
}

TIOMod::~TIOMod() = default;

void TIOMod::SetAddress(const QString& address)
{
    Address = address;
}

void TIOMod::Reserved5()
{
}

int TIOMod::ModbusRequest(uint32_t, uint32_t, uint16_t, const uint8_t*, uint8_t*, bool, int, bool)
{
    return 0;
}

void TIOMod::AttachToList(QList<TIOObject*>* list, QWidget*, const QString& address)
{
    Address = address;
    if (list)
        list->append(this);
    OwnerList = list;
}

void TIOMod::Reserved9()
{
}

void TIOMod::SetOnline(bool)
{
}

void TIOMod::PrepareMenu()
{
}

int ChannelKindsImage(uint32_t channelKinds)
{
    if (channelKinds & 0x03) // DI, DO
        return 5;
    if (channelKinds & 0x18) // AI, AO
        return 6;
    if (channelKinds & 0x60) // RTD, TC
        return 7;
    return -1;
}

QString TIOMod::NodeLabel(int sortMode) const
{
    const QString& base = sortMode == smByServer ? Address : Name;
    const bool withUnit = TypeCode == TypeCodeOddWithUnit || (TypeCode & TypeCodeNetworkBit) == 0;
    if (!withUnit)
        return base;
    return QStringLiteral("%1-<%2>").arg(base).arg(UnitId, 2);
}

QTreeWidgetItem* TIOMod::AddTreeNode(
    int sortMode, QTreeWidget* treeView, QTreeWidgetItem* groupNode, const QString& groupText)
{
    QTreeWidgetItem* node = nullptr;
    if (sortMode == smByConnection && Address == groupText) {
        node = AddChildNode(treeView, groupNode, NodeLabel(1));
        if (const int image = ChannelKindsImage(ChannelKinds); image >= 0)
            SetNodeImage(node, image);
    } else if (sortMode == smByServer && Name == groupText) {
        if (const int image = ChannelKindsImage(ChannelKinds); image >= 0)
            SetNodeImage(groupNode, image);
        const QString label = NodeLabel(4);
        node = AddChildNode(treeView, groupNode, label);
        SetNodeImage(node, label.contains(QLatin1Char('.')) ? 2 : 3);
    }
    if (!node)
        return nullptr;
    SetNodeObject(node, this);
    if (OwnerList) {
        for (TIOObject* entry : *OwnerList) {
            if (entry && entry->Kind == okModule && entry->Parent == this)
                static_cast<TIOMod*>(entry)->AddTreeNode(sortMode, treeView, node, groupText);
        }
    }
    return node;
}
