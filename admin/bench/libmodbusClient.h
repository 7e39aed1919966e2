#pragma once
// The comparison client of the benchmarks: libmodbus over loopback.
#include <modbus/modbus.h>

// A connected libmodbus client for unit 1 at 127.0.0.1:port, or nullptr.
// The caller closes and frees it.
inline modbus_t* ConnectLibmodbus(int port)
{
    modbus_t* ctx = modbus_new_tcp("127.0.0.1", port);
    if (!ctx)
        return nullptr;
    modbus_set_slave(ctx, 1);
    if (modbus_connect(ctx) != 0) {
        modbus_free(ctx);
        return nullptr;
    }
    return ctx;
}
