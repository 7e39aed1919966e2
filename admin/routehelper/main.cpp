// twl-route-helper: the one part of TwinlaneAdmin that may change the
// network tables. It holds CAP_NET_ADMIN as a file capability, runs with the
// operator's own identity, and takes requests on its standard input from the
// program that started it, one line at a time (routeProtocol.h), answering
// each on its standard output.
//
// It writes only /32 host routes and static neighbour entries, records them,
// and removes every one still recorded when the program releases it or its
// input closes without a release (the program crashed or was killed). What a
// killed helper left is removed by the next one from its state file.
#include "admin/routehelper/netlinkWriter.h"
#include "admin/routehelper/routeProtocol.h"
#include "admin/routehelper/routeRecord.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <linux/capability.h>
#include <sys/syscall.h>
#include <unistd.h>

using namespace routehelper;

namespace {

volatile sig_atomic_t terminated = 0;

void OnTerminate(int)
{
    terminated = 1;
}

bool HoldsNetAdmin()
{
    __user_cap_header_struct header { _LINUX_CAPABILITY_VERSION_3, 0 };
    __user_cap_data_struct data[2] {};
    if (syscall(SYS_capget, &header, data) != 0)
        return false;
    return data[CAP_NET_ADMIN / 32].effective & (1u << (CAP_NET_ADMIN % 32));
}

enum class TRead { Line, TooLong, End };

// Reads one request, byte by byte, so nothing after it is taken from the
// pipe. A line longer than the limit is read to its end and dropped.
TRead ReadRequest(std::string& line)
{
    line.clear();
    bool tooLong = false;
    for (;;) {
        char c;
        const ssize_t n = ::read(STDIN_FILENO, &c, 1);
        if (n < 0 && errno == EINTR) {
            if (terminated)
                return TRead::End;
            continue;
        }
        if (n <= 0)
            return TRead::End;
        if (c == '\n')
            return tooLong ? TRead::TooLong : TRead::Line;
        if (line.size() + 1 >= MaxRequestLength)
            tooLong = true;
        else
            line += c;
    }
}

void Answer(TReason reason, const std::string& detail = {})
{
    const std::string line = FormatAnswer(reason, detail.empty() ? ReasonText(reason) : detail);
    std::size_t done = 0;
    while (done < line.size()) {
        const ssize_t n = ::write(STDOUT_FILENO, line.data() + done, line.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return; // the program is gone; its end of the pipe tells the loop
        done += static_cast<std::size_t>(n);
    }
}

class THelper {
public:
    THelper()
    {
        const std::string directory = TRouteRecord::StateDirectory();
        TRouteRecord::CollectLeftovers(directory, [this](const tRECORDED& e) { RemoveOwn(e); });
        m_record.Open(directory);
    }

    // Removes every entry still recorded, newest first.
    void RemoveAll()
    {
        while (!m_record.Entries().empty()) {
            const tRECORDED e = m_record.Entries().back();
            RemoveOwn(e);
            m_record.Remove(e);
        }
        m_record.Close();
    }

    // Answers one request; false when the program released the helper.
    bool Handle(const tREQUEST& r)
    {
        switch (r.command) {
        case TCommand::Hello:
            if (!HoldsNetAdmin())
                Answer(TReason::NoCapability);
            else
                Answer(TReason::Ok, std::string(HelperName) + " " + std::to_string(ProtocolVersion));
            return true;
        case TCommand::Release:
            RemoveAll();
            Answer(TReason::Ok);
            return false;
        case TCommand::Route:
            Reply(AddRoute(r));
            return true;
        case TCommand::Neigh:
            Reply(AddNeighbour(r));
            return true;
        case TCommand::DelRoutes:
            Reply(DeleteRoutes(r.address));
            return true;
        case TCommand::DelNeigh:
            Reply(DeleteNeighbour(r.address, r.interfaceIndex));
            return true;
        }
        Answer(TReason::Malformed);
        return true;
    }

private:
    static void Reply(const tRESULT& result) { Answer(result.reason, result.detail); }

    void RemoveOwn(const tRECORDED& e)
    {
        if (e.isRoute)
            m_writer.RemoveOwnRoute(e.address, e.interfaceIndex, e.metric);
        else
            m_writer.RemoveOwnNeighbour(e.address, e.interfaceIndex, e.mac);
    }

    tRESULT AddRoute(const tREQUEST& r)
    {
        if (r.prefixLength != HostPrefixLength)
            return { TReason::NotHostRoute, {} };
        if (!IsUnicast(r.address) || !IsUnicast(r.source))
            return { TReason::BadAddress, {} };
        if (r.nextHop != 0 && !IsUnicast(r.nextHop))
            return { TReason::BadNextHop, {} };
        if (!m_writer.InterfaceExists(r.interfaceIndex))
            return { TReason::NoSuchInterface, {} };
        const tRECORDED entry { true, r.address, r.interfaceIndex, r.metric, {} };
        // Ours already: written again in place; otherwise a route of someone
        // else with the same key is left alone.
        const bool ours = m_record.Contains(entry);
        if (!m_record.Add(entry))
            return { TReason::TooMany, {} };
        const tRESULT result = m_writer.AddHostRoute(r.address, r.interfaceIndex, r.source, r.nextHop, r.metric, ours);
        if (!result.Ok() && !ours)
            m_record.Remove(entry);
        return result;
    }

    tRESULT AddNeighbour(const tREQUEST& r)
    {
        if (!IsUnicast(r.address))
            return { TReason::BadAddress, {} };
        if ((r.mac[0] & 1) || r.mac == tMAC {})
            return { TReason::BadMacAddress, {} };
        if (!m_writer.InterfaceExists(r.interfaceIndex))
            return { TReason::NoSuchInterface, {} };
        const tRECORDED entry { false, r.address, r.interfaceIndex, 0, r.mac };
        const bool recorded = m_record.Contains(entry);
        if (!m_record.Add(entry))
            return { TReason::TooMany, {} };
        const tRESULT result = m_writer.AddStaticNeighbour(r.address, r.interfaceIndex, r.mac);
        if (!result.Ok() && !recorded)
            m_record.Remove(entry);
        return result;
    }

    tRESULT DeleteRoutes(uint32_t address)
    {
        if (!IsUnicast(address))
            return { TReason::BadAddress, {} };
        const tRESULT result = m_writer.RemoveRoutesTo(address);
        if (result.Ok() || result.reason == TReason::NotFound)
            Forget([&](const tRECORDED& e) { return e.isRoute && e.address == address; });
        return result;
    }

    tRESULT DeleteNeighbour(uint32_t address, uint32_t interfaceIndex)
    {
        if (!IsUnicast(address))
            return { TReason::BadAddress, {} };
        const tRESULT result = m_writer.RemoveNeighbour(address, interfaceIndex);
        if (result.Ok() || result.reason == TReason::NotFound)
            Forget([&](const tRECORDED& e) {
                return !e.isRoute && e.address == address && e.interfaceIndex == interfaceIndex;
            });
        return result;
    }

    template <typename Match> void Forget(Match match)
    {
        std::vector<tRECORDED> gone;
        for (const tRECORDED& e : m_record.Entries()) {
            if (match(e))
                gone.push_back(e);
        }
        for (const tRECORDED& e : gone)
            m_record.Remove(e);
    }

    TNetlinkWriter m_writer;
    TRouteRecord m_record;
};

} // namespace

int main(int argc, char**)
{
    if (argc != 1) {
        std::fprintf(stderr, "%s takes no arguments; TwinlaneAdmin starts it.\n", HelperName);
        return 2;
    }
    // The terminal's and the session's signals reach the whole process group:
    // the program then closes in order and releases the helper itself.
    std::signal(SIGINT, SIG_IGN);
    std::signal(SIGHUP, SIG_IGN);
    std::signal(SIGPIPE, SIG_IGN);
    struct sigaction term { };
    term.sa_handler = OnTerminate; // no SA_RESTART: a waiting read returns
    sigaction(SIGTERM, &term, nullptr);

    THelper helper;
    std::string line;
    for (;;) {
        const TRead read = ReadRequest(line);
        if (read == TRead::End || terminated)
            break;
        if (read == TRead::TooLong) {
            Answer(TReason::Oversized);
            continue;
        }
        const tPARSED parsed = ParseRequest(line);
        if (!parsed.request) {
            Answer(parsed.reason);
            continue;
        }
        if (!helper.Handle(*parsed.request))
            return 0;
    }
    // No release: the program is gone (or we were told to end).
    helper.RemoveAll();
    return 0;
}
