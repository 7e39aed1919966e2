#pragma once
// Test support shared by every folder (target twl_testsupport): include this
// or the one part needed.
#include "lab/testsupport/alarmCatcher.h"
#include "lab/testsupport/childProcess.h"
#include "lab/testsupport/privateNetwork.h"
#include "lab/testsupport/rawTcp.h"
#include "lab/testsupport/simProcess.h"
#include "lab/testsupport/tempDir.h"
#include "lab/testsupport/testEnv.h"
#include "lab/testsupport/testSkip.h"
