// The main of every GoogleTest program without one of its own.
#include "lab/testsupport/testSkip.h"

#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    return twltest::RunAllTests();
}
