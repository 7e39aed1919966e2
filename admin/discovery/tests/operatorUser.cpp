#include "admin/discovery/tests/operatorUser.h"

#include "lab/labNet.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <grp.h>
#include <optional>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

constexpr const char* OperatorName = "twl-op-test";
constexpr const char* OutsiderName = "nobody";
constexpr const char* GroupName = "twinlane";
constexpr int WaitLimitMs = 20000;

std::optional<TUser> MakeUser(const char* name, const std::string& base)
{
    const passwd* pw = ::getpwnam(name);
    if (!pw)
        return std::nullopt;
    TUser u { pw->pw_uid, pw->pw_gid, base + "/run-" + name };
    if (::mkdir(u.runtime.c_str(), 0700) != 0 || ::chown(u.runtime.c_str(), u.uid, u.gid) != 0)
        return std::nullopt;
    return u;
}

} // namespace

int Run(const std::string& command)
{
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string Output(const std::string& command)
{
    std::string text;
    if (FILE* p = ::popen(command.c_str(), "r")) {
        char buffer[4096];
        std::size_t n;
        while ((n = std::fread(buffer, 1, sizeof buffer, p)) > 0)
            text.append(buffer, n);
        ::pclose(p);
    }
    return text;
}

std::string Tables()
{
    return Output("ip -4 -d route show table all 2>&1") + Output("ip -4 neigh show nud all 2>&1");
}

std::vector<std::string> StateFiles(const TUser& user)
{
    std::vector<std::string> names;
    if (DIR* d = ::opendir((user.runtime + "/twinlane-routes").c_str())) {
        while (const dirent* e = ::readdir(d)) {
            if (e->d_name[0] != '.')
                names.push_back(e->d_name);
        }
        ::closedir(d);
    }
    return names;
}

bool WaitFor(const std::function<bool()>& check)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(WaitLimitMs);
    while (!check()) {
        if (std::chrono::steady_clock::now() > end)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

std::string TOperatorSetup::Make()
{
    if (std::string why = lab::UnavailableReason(); !why.empty())
        return why;
    const char* bin = std::getenv("TWL_BIN_DIR");
    if (!bin)
        return "TWL_BIN_DIR is not set";
    // Two tests may set up at once: the account files are locked by one
    // writer at a time, so a refused step is tried again.
    const std::string steps = std::string("for i in 1 2 3 4 5 6 7 8 9 10; do ") + "{ getent group " + GroupName
        + " >/dev/null || groupadd --system " + GroupName + "; } 2>/dev/null; " + "{ id " + OperatorName
        + " >/dev/null 2>&1 || useradd --system --no-create-home --shell /usr/sbin/nologin " + OperatorName
        + "; } 2>/dev/null; " + "id -nG " + OperatorName + " 2>/dev/null | grep -qw " + GroupName + " || usermod -a -G "
        + GroupName + " " + OperatorName + " 2>/dev/null; " + "id -nG " + OperatorName + " 2>/dev/null | grep -qw "
        + GroupName + " && exit 0; sleep 1; done; exit 1";
    if (Run(steps) != 0)
        return "could not create the user " + std::string(OperatorName) + " in the group " + GroupName;
    const group* gr = ::getgrnam(GroupName);
    if (!gr)
        return "no group";
    twinlaneGid = gr->gr_gid;
    char dir[] = "/tmp/twl-helper-XXXXXX";
    if (!::mkdtemp(dir) || ::chmod(dir, 0755) != 0)
        return "no temporary directory";
    directory = dir;
    helperPath = directory + "/twl-route-helper";
    const std::string install = "install -o root -g " + std::string(GroupName) + " -m 0750 " + bin
        + "/twl-route-helper " + helperPath + " && setcap cap_net_admin=ep " + helperPath;
    if (Run(install) != 0)
        return "could not install the helper with its capability (setcap, file system without capabilities?)";
    const auto op = MakeUser(OperatorName, directory);
    const auto other = MakeUser(OutsiderName, directory);
    if (!op || !other)
        return "no runtime directories";
    operatorUser = *op;
    outsider = *other;
    return {};
}

void TOperatorSetup::Remove()
{
    if (!directory.empty())
        Run("rm -rf " + directory);
    directory.clear();
}

bool TOperatorSetup::Become(const TUser& u, bool inGroup) const
{
    ::setenv("XDG_RUNTIME_DIR", u.runtime.c_str(), 1);
    ::setenv("TWL_ROUTE_HELPER", helperPath.c_str(), 1);
    const gid_t groups[] = { u.gid, twinlaneGid };
    return ::setgroups(inGroup ? 2 : 1, groups) == 0 && ::setgid(u.gid) == 0 && ::setuid(u.uid) == 0
        && ::getuid() == u.uid && ::geteuid() == u.uid;
}
