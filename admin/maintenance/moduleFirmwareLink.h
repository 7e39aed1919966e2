#pragma once
// The download's requests through a module's ModbusRequest.
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
