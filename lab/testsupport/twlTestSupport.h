#pragma once
// Test support shared by every folder (target twl_testsupport): include this
// or the one part needed.
#include "alarmCatcher.h"
#include "childProcess.h"
#include "privateNetwork.h"
#include "rawTcp.h"
#include "simProcess.h"
#include "tempDir.h"
#include "testEnv.h"
#include "testSkip.h"
