#include "admin/routehelper/routeRecord.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <sstream>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace routehelper {

namespace {

constexpr const char* StateSuffix = ".state";
constexpr const char* NewSuffix = ".new"; // created, locked, not yet in use
// A state file larger than this is no file of ours.
constexpr std::size_t MaxStateSize = TRouteRecord::MaxEntries * 64;

// State files are per network namespace: a dead helper's entries are
// removed only where they were written.
std::string NamespaceTag()
{
    struct stat st { };
    if (::stat("/proc/self/ns/net", &st) != 0)
        return "net0-";
    return "net" + std::to_string(st.st_ino) + "-";
}

bool EndsWith(const std::string& text, const std::string& end)
{
    return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

// Ours, a directory, and no one else may write or list it.
bool SafeDirectory(const std::string& path)
{
    if (::mkdir(path.c_str(), 0700) != 0 && errno != EEXIST)
        return false;
    struct stat st { };
    return ::lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::getuid() && (st.st_mode & 077) == 0;
}

std::string ReadBounded(int fd)
{
    std::string text;
    char buffer[4096];
    while (text.size() <= MaxStateSize) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        text.append(buffer, static_cast<std::size_t>(n));
    }
    return text;
}

bool WriteAllAt(int fd, const std::string& text)
{
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::pwrite(fd, text.data() + done, text.size() - done, static_cast<off_t>(done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

} // namespace

TRouteRecord::~TRouteRecord()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

std::string TRouteRecord::StateDirectory()
{
    // Only the user's own places: the helper runs with the user's identity,
    // and a directory of someone else could feed it a list.
    if (const char* runtime = std::getenv("XDG_RUNTIME_DIR"); runtime && runtime[0] == '/') {
        const std::string path = std::string(runtime) + "/twinlane-routes";
        if (SafeDirectory(path))
            return path;
    }
    const std::string path = "/tmp/twinlane-routes-" + std::to_string(::getuid());
    return SafeDirectory(path) ? path : std::string();
}

int TRouteRecord::CollectLeftovers(const std::string& directory, const std::function<void(const tRECORDED&)>& remove)
{
    if (directory.empty())
        return 0;
    DIR* dir = ::opendir(directory.c_str());
    if (!dir)
        return 0;
    const std::string tag = NamespaceTag();
    std::vector<std::string> names;
    while (const dirent* e = ::readdir(dir)) {
        const std::string name = e->d_name;
        if (name.rfind(tag, 0) == 0 && (EndsWith(name, StateSuffix) || EndsWith(name, NewSuffix)))
            names.push_back(name);
    }
    ::closedir(dir);
    int listed = 0;
    for (const std::string& name : names) {
        const std::string path = directory + "/" + name;
        const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
        if (fd < 0)
            continue;
        struct stat st { };
        // A lock that can't be taken belongs to a helper that still runs.
        if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != ::getuid()
            || ::flock(fd, LOCK_EX | LOCK_NB) != 0) {
            ::close(fd);
            continue;
        }
        for (const tRECORDED& entry : Parse(ReadBounded(fd))) {
            remove(entry);
            ++listed;
        }
        ::unlink(path.c_str());
        ::close(fd);
    }
    return listed;
}

bool TRouteRecord::Open(const std::string& directory)
{
    if (directory.empty())
        return false;
    const std::string stem = directory + "/" + NamespaceTag() + std::to_string(::getpid());
    const std::string fresh = stem + NewSuffix;
    // Locked before it gets the name that others look for, so no one takes
    // a helper's new file for a dead one's.
    ::unlink(fresh.c_str());
    const int fd = ::open(fresh.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0)
        return false;
    if (::flock(fd, LOCK_EX) != 0 || ::rename(fresh.c_str(), (stem + StateSuffix).c_str()) != 0) {
        ::unlink(fresh.c_str());
        ::close(fd);
        return false;
    }
    m_fd = fd;
    m_path = stem + StateSuffix;
    Save();
    return true;
}

void TRouteRecord::Close()
{
    if (m_fd < 0)
        return;
    ::unlink(m_path.c_str());
    ::close(m_fd);
    m_fd = -1;
    m_path.clear();
}

bool TRouteRecord::Contains(const tRECORDED& entry) const
{
    return std::find(m_entries.begin(), m_entries.end(), entry) != m_entries.end();
}

bool TRouteRecord::Add(const tRECORDED& entry)
{
    if (Contains(entry))
        return true;
    if (m_entries.size() >= MaxEntries)
        return false;
    m_entries.push_back(entry);
    Save();
    return true;
}

void TRouteRecord::Remove(const tRECORDED& entry)
{
    const auto it = std::find(m_entries.begin(), m_entries.end(), entry);
    if (it == m_entries.end())
        return;
    m_entries.erase(it);
    Save();
}

void TRouteRecord::Save()
{
    if (m_fd < 0)
        return;
    // Written over the old text, then cut: a kill in between leaves at most
    // entries already removed listed, never one missing.
    const std::string text = Format(m_entries);
    if (WriteAllAt(m_fd, text))
        (void)::ftruncate(m_fd, static_cast<off_t>(text.size()));
}

std::string TRouteRecord::Format(const std::vector<tRECORDED>& entries)
{
    std::string text;
    for (const tRECORDED& e : entries) {
        if (e.isRoute) {
            text += "route " + FormatAddress(e.address) + " " + std::to_string(e.interfaceIndex) + " "
                + std::to_string(e.metric) + "\n";
        } else {
            char mac[18];
            std::snprintf(mac, sizeof mac, "%02x:%02x:%02x:%02x:%02x:%02x", e.mac[0], e.mac[1], e.mac[2], e.mac[3],
                e.mac[4], e.mac[5]);
            text += "neigh " + FormatAddress(e.address) + " " + std::to_string(e.interfaceIndex) + " " + mac + "\n";
        }
    }
    return text;
}

std::vector<tRECORDED> TRouteRecord::Parse(const std::string& text)
{
    std::vector<tRECORDED> entries;
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line) && entries.size() < MaxEntries) {
        // The same reading as a request: a state file says nothing a request
        // could not.
        if (line.rfind("route ", 0) == 0) {
            std::istringstream f(line.substr(6));
            std::string address, index, metric;
            f >> address >> index >> metric;
            const tPARSED p = ParseRequest("route " + address + "/32 " + index + " 0.0.0.1 direct " + metric);
            if (p.request)
                entries.push_back({ true, p.request->address, p.request->interfaceIndex, p.request->metric, {} });
        } else if (line.rfind("neigh ", 0) == 0) {
            const tPARSED p = ParseRequest(line);
            if (p.request)
                entries.push_back({ false, p.request->address, p.request->interfaceIndex, 0, p.request->mac });
        }
    }
    return entries;
}

} // namespace routehelper
