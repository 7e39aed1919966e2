#include "admin/discovery/ipTablesHelper.h"

#include <QDir>
#include <QFileInfo>
#include <QStringList>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <linux/capability.h>
#include <poll.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <thread>
#include <unistd.h>

extern char** environ;

using namespace routehelper;

namespace {

constexpr const char* InstallDirectories[] = { "/usr/local/libexec/twinlane", "/usr/libexec/twinlane" };
constexpr const char* SetupHint = "scripts/setup-operator.sh";
constexpr int EndTimeoutMs = 5000;
constexpr std::size_t MaxAnswerLength = 512;

QString Prefix()
{
    return QStringLiteral("Host routes can't be written: ");
}

bool HoldsNetAdmin()
{
    __user_cap_header_struct header { _LINUX_CAPABILITY_VERSION_3, 0 };
    __user_cap_data_struct data[2] {};
    if (syscall(SYS_capget, &header, data) != 0)
        return false;
    return data[CAP_NET_ADMIN / 32].effective & (1u << (CAP_NET_ADMIN % 32));
}

bool HasFileCapability(const QString& path)
{
    return ::getxattr(QFile::encodeName(path).constData(), "security.capability", nullptr, 0) > 0;
}

QString ProgramDirectory()
{
    // The executable, not the application object: also without one.
    return QFileInfo(QStringLiteral("/proc/self/exe")).canonicalFilePath().section(QLatin1Char('/'), 0, -2);
}

} // namespace

TRouteHelperLink::~TRouteHelperLink()
{
    Stop();
}

bool TRouteHelperLink::Locate()
{
    const QString name = QString::fromLatin1(HelperName);
    const auto mayNotRun = [](const QString& path) {
        return Prefix()
            + QStringLiteral("this user may not run %1; add the user to the group twinlane (%2) and log in again.")
                  .arg(path, QLatin1String(SetupHint));
    };
    const QString chosen = qEnvironmentVariable(PathVariable);
    if (!chosen.isEmpty()) {
        // Named on purpose: used as it is, whatever it may do.
        m_path = chosen;
        const QByteArray file = QFile::encodeName(chosen);
        if (::access(file.constData(), X_OK) == 0)
            return true;
        m_problem = ::access(file.constData(), F_OK) == 0
            ? mayNotRun(chosen)
            : Prefix() + QStringLiteral("%1 (from %2) does not exist.").arg(chosen, QLatin1String(PathVariable));
        return false;
    }
    QStringList candidates { ProgramDirectory() + QLatin1Char('/') + name,
        QDir::cleanPath(ProgramDirectory() + QStringLiteral("/../libexec/twinlane/") + name) };
    for (const char* directory : InstallDirectories)
        candidates << QString::fromLatin1(directory) + QLatin1Char('/') + name;
    candidates.removeDuplicates();

    const bool privileged = HoldsNetAdmin();
    m_problem.clear();
    for (const QString& candidate : candidates) {
        const QByteArray file = QFile::encodeName(candidate);
        if (::access(file.constData(), F_OK) != 0) {
            // A helper the user may not even look at: its directory is closed.
            if (errno == EACCES && m_problem.isEmpty())
                m_problem = mayNotRun(candidate);
            continue;
        }
        if (::access(file.constData(), X_OK) != 0) {
            if (m_problem.isEmpty())
                m_problem = mayNotRun(candidate);
            continue;
        }
        // A copy without the capability (a build tree's) serves only a
        // process that holds the right itself.
        if (!privileged && !HasFileCapability(candidate)) {
            if (m_problem.isEmpty())
                m_problem = Prefix()
                    + QStringLiteral("%1 does not hold CAP_NET_ADMIN; %2 installs it with the capability.")
                          .arg(candidate, QLatin1String(SetupHint));
            continue;
        }
        m_path = candidate;
        m_problem.clear();
        return true;
    }
    if (m_problem.isEmpty())
        m_problem
            = Prefix() + QStringLiteral("%1 is not installed (%2 installs it).").arg(name, QLatin1String(SetupHint));
    return false;
}

bool TRouteHelperLink::Start()
{
    if (Running())
        return true;
    m_problem.clear();
    if (!Locate())
        return false;
    int sv[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, sv) != 0) {
        m_problem = Prefix() + QStringLiteral("no pipe to the route helper.");
        return false;
    }
    // The helper's standard input and output are its end of the pair; ours
    // stays closed on exec, so no other child keeps the helper alive.
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, sv[1], STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&actions, sv[1], STDOUT_FILENO);
    const QByteArray file = QFile::encodeName(m_path);
    char* argv[] = { const_cast<char*>(file.constData()), nullptr };
    pid_t pid = -1;
    const int error = posix_spawn(&pid, file.constData(), &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(sv[1]);
    if (error != 0) {
        ::close(sv[0]);
        m_problem
            = Prefix() + QStringLiteral("%1 did not start (%2).").arg(m_path, QString::fromLocal8Bit(strerror(error)));
        return false;
    }
    m_fd = sv[0];
    m_pid = pid;
    const tANSWER hello = Ask({ TCommand::Hello });
    if (hello.reason == TReason::NoHelper) {
        m_problem = Prefix() + QStringLiteral("%1 did not answer.").arg(m_path);
        return false;
    }
    // Without the capability it still runs: every write then fails with the
    // system's own reason.
    if (hello.reason == TReason::NoCapability)
        m_problem = Prefix()
            + QStringLiteral("%1 does not hold CAP_NET_ADMIN; %2 installs it with the capability.")
                  .arg(m_path, QLatin1String(SetupHint));
    return true;
}

tANSWER TRouteHelperLink::Ask(const tREQUEST& request)
{
    const tANSWER noHelper { TReason::NoHelper, ReasonText(TReason::NoHelper) };
    if (!Running())
        return noHelper;
    const std::string line = FormatRequest(request);
    std::size_t done = 0;
    while (done < line.size()) {
        const ssize_t n = ::send(m_fd, line.data() + done, line.size() - done, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            Drop();
            return noHelper;
        }
        done += static_cast<std::size_t>(n);
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(AnswerTimeoutMs);
    std::string answer;
    for (;;) {
        const auto left
            = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now())
                  .count();
        pollfd pfd { m_fd, POLLIN, 0 };
        const int ready = left > 0 ? ::poll(&pfd, 1, static_cast<int>(left)) : 0;
        if (ready < 0 && errno == EINTR)
            continue;
        char c;
        if (ready <= 0 || ::read(m_fd, &c, 1) != 1 || answer.size() > MaxAnswerLength) {
            Drop();
            return noHelper;
        }
        if (c == '\n')
            break;
        answer += c;
    }
    const std::optional<tANSWER> parsed = ParseAnswer(answer);
    if (!parsed) {
        Drop();
        return noHelper;
    }
    return *parsed;
}

void TRouteHelperLink::Stop()
{
    if (!Running())
        return;
    Ask({ TCommand::Release });
    Drop();
}

void TRouteHelperLink::Drop()
{
    if (m_fd >= 0) {
        // Closing our end is what makes a helper that missed the release
        // remove its entries and end.
        ::close(m_fd);
        m_fd = -1;
    }
    if (m_pid <= 0)
        return;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(EndTimeoutMs);
    for (;;) {
        const pid_t ended = ::waitpid(m_pid, nullptr, WNOHANG);
        if (ended == m_pid || (ended < 0 && errno != EINTR))
            break;
        if (std::chrono::steady_clock::now() >= deadline) {
            ::kill(m_pid, SIGKILL);
            while (::waitpid(m_pid, nullptr, 0) < 0 && errno == EINTR) { }
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    m_pid = -1;
}
