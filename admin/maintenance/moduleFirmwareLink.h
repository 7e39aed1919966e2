#pragma once
// The download's requests through a module's ModbusRequest, and a hold on
// the module for as long as an update runs.
#include "admin/maintenance/firmware/firmwareUpdate.h"
#include "admin/model/ioModNet.h"

class TModuleFirmwareLink : public TFirmwareLink {
public:
    explicit TModuleFirmwareLink(TIOMod* module)
        : Module(module)
    {
    }
    int Request(uint32_t functionCode, uint32_t number, uint16_t countOrValue, const uint8_t* data, uint8_t* reply,
        int timeout, bool retry) override;

private:
    TIOMod* Module; // not owned
};

// Keeps the module marked busy for the whole update, message boxes and
// countdown included, so nothing detaches or deletes it meanwhile.
class TModuleHold : private TIOModNet {
public:
    using Guard = TIOModNet::TPendingGuard;
};
