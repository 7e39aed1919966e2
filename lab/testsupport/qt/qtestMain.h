#pragma once
// QtTest programs: an all-skipped run ends with twltest::SkipExitCode, so
// CTest reports it as skipped. Use TWL_QTEST_MAIN in place of QTEST_MAIN, or
// TWL_NETNS_QTEST_MAIN for a program that runs in a network namespace of its
// own (its tests QSKIP when twltest::PrivateNetworkProblem() is not empty).
#include "lab/testsupport/privateNetwork.h"
#include "lab/testsupport/testSkip.h"

#include <QApplication>
#include <QObject>
#include <QtTest>
#include <string>

namespace twltest {

// QTest::qExec(test, argc, argv), but SkipExitCode when no test function
// passed and at least one skipped (initTestCase skipping skips them all).
// With "-o" options of the caller's own, exactly qExec.
int QtExec(QObject* test, int argc, char** argv);

// Why TWL_NETNS_QTEST_MAIN could not enter its namespace; empty inside it.
std::string& PrivateNetworkProblem();

} // namespace twltest

#define TWL_QTEST_MAIN(TestObject)                                                                                     \
    int main(int argc, char** argv)                                                                                    \
    {                                                                                                                  \
        QApplication app(argc, argv);                                                                                  \
        TestObject tc;                                                                                                 \
        QTEST_SET_MAIN_SOURCE_PATH                                                                                     \
        return twltest::QtExec(&tc, argc, argv);                                                                       \
    }

// The namespace is entered before the application starts any thread or
// helper process: they all inherit the namespace of the thread that starts them.
#define TWL_NETNS_QTEST_MAIN(TestObject)                                                                               \
    int main(int argc, char** argv)                                                                                    \
    {                                                                                                                  \
        twltest::PrivateNetworkProblem() = twltest::EnterPrivateNetwork();                                             \
        QApplication app(argc, argv);                                                                                  \
        TestObject tc;                                                                                                 \
        QTEST_SET_MAIN_SOURCE_PATH                                                                                     \
        return twltest::QtExec(&tc, argc, argv);                                                                       \
    }
