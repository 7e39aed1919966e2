#pragma once
// The namespace helper and guard of every test that touches the network
// stack: the whole test process (and every child it starts later) moves into
// a network namespace of its own with only loopback, which goes with the
// process; lab tests use lab::LabNet's named namespaces instead.
#include <gtest/gtest.h>
#include <string>

namespace twltest {

// Moves the calling thread, and so every program it starts later, into a new
// network namespace with loopback up. Call first in main, before any thread
// starts. Returns why that failed, or empty.
std::string EnterPrivateNetwork();

// The guard: true while the calling thread is in a namespace that is neither
// the machine's own (PID 1's) nor the one the process started in — one made
// by EnterPrivateNetwork — or in one of the lab's (lab::InLabNamespace).
// Check it before anything that writes tables, broadcasts or listens wide.
bool InTestNamespace();

// EnterPrivateNetwork for a whole GoogleTest program: registered as a global
// environment, it skips every test when the namespace can't be made.
class PrivateNetwork : public ::testing::Environment {
public:
    void SetUp() override;
};

} // namespace twltest
