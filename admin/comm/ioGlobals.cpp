#include "admin/comm/ioGlobals.h"

std::atomic<int> SocketTimeout { 5000 };
std::atomic<bool> AbortRequested { false };
