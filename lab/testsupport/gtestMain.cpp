// The main of every GoogleTest program without one of its own.
#include "testSkip.h"

#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    return twltest::RunAllTests();
}
