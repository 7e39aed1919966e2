#pragma once
// Base of every module (one I/O server). The operations through which the
// program talks to a server do nothing here; the Ethernet classes fill
// them in.
#include "admin/model/ioObject.h"
#include "admin/model/sortMode.h"

#include <QList>
#include <cstdint>

class QTreeWidget;
class QTreeWidgetItem;

// Module type codes. Bit 0 set: the module is reached over the network and
// may have a host route that this program added.
inline constexpr int32_t TypeCodeRemoteEthernet = 17;
inline constexpr int32_t TypeCodeNetworkBit = 1;
// The one odd code whose node label still shows the unit identifier.
inline constexpr int32_t TypeCodeOddWithUnit = 33;

class TIOMod : public TIOObject {
public:
    TIOMod(int32_t unitId, int32_t modelIndex, uint32_t channelKinds);
    ~TIOMod() override;

    // Slots 0-3 are TIOObject's; the order below continues them.
    virtual void SetAddress(const QString& address);
    virtual void Reserved5();
    // Returns -1 (refused, not sent, reply short), 0 (sent, no reply
    // wanted) or the reply size. timeout 0 means SocketTimeout.
    virtual int ModbusRequest(uint32_t functionCode, uint32_t number, uint16_t countOrValue, const uint8_t* data,
        uint8_t* reply, bool expectReply, int timeout, bool retry);
    virtual void AttachToList(QList<TIOObject*>* list, QWidget* hostControl, const QString& address);
    // Adds this module's node under groupNode when it belongs to groupText
    // (its Address in sort mode 1, its Name in sort mode 4); null otherwise.
    virtual QTreeWidgetItem* AddTreeNode(
        int sortMode, QTreeWidget* treeView, QTreeWidgetItem* groupNode, const QString& groupText);
    virtual void Reserved9();
    virtual void SetOnline(bool online);
    virtual void PrepareMenu();

    // The label of the module's node in a sort mode.
    QString NodeLabel(int sortMode) const;

    int32_t ModelIndex;
    int32_t UnitId;
    uint32_t ChannelKinds; // bit n: ChannelTypeNames[n]
    QString Address;
    int32_t TypeCode = 0; // see the TypeCode constants below
    QList<TIOObject*>* OwnerList = nullptr; // not owned

    // Set while a device request of this module waits (the user interface
    // keeps running meanwhile). Such a module must not be detached or
    // deleted: the product and the main window refuse to until it is clear.
    bool requestPending = false;
};

// The node picture for a set of channel kinds; -1 when none applies.
int ChannelKindsImage(uint32_t channelKinds);
