#pragma once
// An operator as scripts/setup-operator.sh makes one, for tests that run
// needs root: the group twinlane, a user twl-op-test in it, and a copy of
// twl-route-helper owned by root and the group, mode 0750, with
// CAP_NET_ADMIN as its file capability, in a temporary directory every user
// can reach (the build tree may not be). "nobody" stands for a user outside
// the group. Each user gets a runtime directory of its own there.
#include <functional>
#include <string>
#include <sys/types.h>

struct TUser {
    uid_t uid = 0;
    gid_t gid = 0;
    std::string runtime; // its XDG_RUNTIME_DIR
};

struct TOperatorSetup {
    std::string directory; // the temporary directory, removed by Remove()
    std::string helperPath;
    gid_t twinlaneGid = 0;
    TUser operatorUser;
    TUser outsider;

    // Empty on success, else why it can't be done here (tests then skip).
    std::string Make();
    void Remove();
    // In a child process: become the user as a login would make it (in the
    // group or not), with the helper named as the program would find it
    // once installed. False when that failed.
    bool Become(const TUser& user, bool inGroup) const;
};

// sh -c command: its exit code, or -1.
int Run(const std::string& command);
// sh -c command: its standard output.
std::string Output(const std::string& command);
// Every IPv4 route of every table and every IPv4 neighbour entry of the
// calling process's namespace: what "as before" means (IPv6 keeps changing
// its own entries meanwhile).
std::string Tables();
// The state files of the user's route helpers.
std::vector<std::string> StateFiles(const TUser& user);
// Waits until check() holds, 20 s at most (a loaded two-core machine).
bool WaitFor(const std::function<bool()>& check);
