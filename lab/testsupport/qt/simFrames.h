#pragma once
// The simulator's frame log for QtTest comparisons.
#include "lab/testsupport/simProcess.h"

#include <QStringList>

namespace twltest {

// Every Modbus frame the simulator received, as upper-case hex with blanks.
QStringList SimFrames(const SimProcess& sim);

} // namespace twltest
