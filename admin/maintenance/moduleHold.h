#pragma once
#include "admin/model/ioModNet.h"

// Keeps the module marked busy for the whole update, message boxes and
// countdown included, so nothing detaches or deletes it meanwhile.
class TModuleHold : private TIOModNet {
public:
    using Guard = TIOModNet::TPendingGuard;
};
