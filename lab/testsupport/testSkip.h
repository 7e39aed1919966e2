#pragma once
// Tests that can't run here (not root, no namespaces) skip; a program whose
// every test skipped ends with SkipExitCode, which CTest reports as skipped
// (SKIP_RETURN_CODE in cmake/TwinlaneTesting.cmake), not as passed.

namespace twltest {

inline constexpr int SkipExitCode = 77;

// RUN_ALL_TESTS(), or SkipExitCode when tests were to run and every one of
// them skipped. For test programs with a main of their own; the others get
// it from twl_gtest_main.
int RunAllTests();

} // namespace twltest
