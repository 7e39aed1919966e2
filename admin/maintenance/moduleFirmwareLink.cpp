#include "admin/maintenance/moduleFirmwareLink.h"

int TModuleFirmwareLink::Request(uint32_t functionCode, uint32_t number, uint16_t countOrValue, const uint8_t* data,
    uint8_t* reply, int timeout, bool retry)
{
    return Module->ModbusRequest(functionCode, number, countOrValue, data, reply, true, timeout, retry);
}
