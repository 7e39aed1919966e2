#pragma once
// The main of Alarmkeeper's window tests that listen: TWL_NETNS_QTEST_MAIN,
// with the windows laid out at 96 dpi as the program lays them out.
#include "lab/testsupport/qt/qtestMain.h"

#define AK_NETNS_QTEST_MAIN(TestObject)                                                                                \
    int main(int argc, char** argv)                                                                                    \
    {                                                                                                                  \
        twltest::PrivateNetworkProblem() = twltest::EnterPrivateNetwork();                                             \
        QApplication app(argc, argv);                                                                                  \
        app.setAttribute(Qt::AA_Use96Dpi, true);                                                                       \
        TestObject tc;                                                                                                 \
        QTEST_SET_MAIN_SOURCE_PATH                                                                                     \
        return twltest::QtExec(&tc, argc, argv);                                                                       \
    }
