#include "lab/testsupport/testSkip.h"

#include <gtest/gtest.h>

namespace twltest {

int RunAllTests()
{
    const int result = RUN_ALL_TESTS();
    const ::testing::UnitTest& unit = *::testing::UnitTest::GetInstance();
    if (result == 0 && unit.test_to_run_count() > 0 && unit.skipped_test_count() == unit.test_to_run_count())
        return SkipExitCode;
    return result;
}

} // namespace twltest
