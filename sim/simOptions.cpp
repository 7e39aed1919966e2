#include "sim/simOptions.h"

#include "sim/commitDelay.h"
#include "sim/simPassword.h"

#include <charconv>
#include <functional>
#include <string_view>

namespace sim {

const char* const Usage = R"(usage: twinlane-sim [options]
Identity
  --name TEXT             server name on the console and in alarms (Q6120)
  --ip A.B.C.D            the server's address; 0.0.0.0 = factory-fresh (default)
  --password TEXT         device password, 0..10 characters (empty)
  --firmware-version TEXT shown on the console (1.0)
  --mac MAC               MAC address (default: the interface's, else 02-00-00-00-61-20)
  --product-id N          discovery ProductId (0x80006120)
  --product-code N        discovery ProductCode (0x6120)
Network
  --bind ADDR             address the Modbus and HTTP listeners bind (127.0.0.1)
  --port N                Modbus/TCP port (502; 0 picks a free one)
  --http-port N           console port (80; 0 picks a free one; -1 no console)
  --interface IF          the server's interface: MAC source, discovery answers
  --no-discovery          don't answer searches even with --interface
  --manage-interface      keep the interface on the server's address (the
                          factory one while unconfigured), answer over it
Behaviour
  --restart-time MS       how long a restart keeps the server away (3000)
  --commit-delay [TYPE:]MS  how long a firmware record commit takes (200), for
                          every type or for record type TYPE (repeatable)
  --alarm-host A.B.C.D    send alarms to this host (none)
  --alarm-port N          ... on this port (4040)
  --fault PLAN            fault at start: MODE [ARG] [fn F] [addr A] [nth N]
                          [once|always] [count N]; MODE: none | delay MS | cut N |
                          trickle [MS] | exception [CODE] | drop | refuse | silence
Observation
  --frame-log PATH        append every Modbus frame received, one hex line each
  --control PATH          Unix socket for line commands (see README.md)
  --ready-file PATH       written once everything listens: "modbus=P http=H"
)";

namespace {

std::optional<long> toInt(std::string_view s, long min, long max)
{
    int base = 10;
    if (s.size() > 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) {
        s.remove_prefix(2);
        base = 16;
    }
    long value = 0;
    auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), value, base);
    if (ec != std::errc() || end != s.data() + s.size() || s.empty() || value < min || value > max)
        return std::nullopt;
    return value;
}

// A flag's setter: false when the value is refused (why, when it says more
// than "bad value").
using Setter = std::function<bool(ServerOptions&, const std::string&, std::string*)>;

struct Flag {
    const char* name;
    bool takesValue;
    Setter set;
};

Setter number(long min, long max, std::function<void(ServerOptions&, long)> store)
{
    return [=](ServerOptions& o, const std::string& v, std::string*) {
        const auto n = toInt(v, min, max);
        if (n)
            store(o, *n);
        return bool(n);
    };
}

Setter address(std::function<void(ServerOptions&, const std::string&, const Ipv4&)> store)
{
    return [=](ServerOptions& o, const std::string& v, std::string*) {
        const auto a = ParseIpv4(v);
        if (a)
            store(o, v, *a);
        return bool(a);
    };
}

Setter text(std::string ServerOptions::*field)
{
    return [=](ServerOptions& o, const std::string& v, std::string*) {
        o.*field = v;
        return true;
    };
}

const std::vector<Flag>& Flags()
{
    static const std::vector<Flag> flags {
        { "name", true, [](ServerOptions& o, const std::string& v, std::string*) { return o.device.name = v, true; } },
        { "ip", true, address([](ServerOptions& o, const std::string&, const Ipv4& a) { o.device.address = a; }) },
        { "password", true,
            [](ServerOptions& o, const std::string& v, std::string* why) {
                if (!TransformPassword(v)) {
                    *why = "(more than 10 characters)";
                    return false;
                }
                o.device.password = v;
                return true;
            } },
        { "firmware-version", true,
            [](ServerOptions& o, const std::string& v, std::string*) { return o.device.firmwareVersion = v, true; } },
        { "mac", true,
            [](ServerOptions& o, const std::string& v, std::string*) {
                const auto m = ParseMac(v);
                if (m) {
                    o.device.mac = *m;
                    o.macGiven = true;
                }
                return bool(m);
            } },
        { "product-id", true, number(0, 0xFFFFFFFFL, [](ServerOptions& o, long n) { o.productId = uint32_t(n); }) },
        { "product-code", true, number(0, 0xFFFF, [](ServerOptions& o, long n) { o.productCode = uint16_t(n); }) },
        { "bind", true, address([](ServerOptions& o, const std::string& v, const Ipv4&) { o.bindAddress = v; }) },
        { "port", true, number(0, 65535, [](ServerOptions& o, long n) { o.modbusPort = int(n); }) },
        { "http-port", true, number(-1, 65535, [](ServerOptions& o, long n) { o.httpPort = int(n); }) },
        { "interface", true, text(&ServerOptions::interfaceName) },
        { "no-discovery", false,
            [](ServerOptions& o, const std::string&, std::string*) { return o.discovery = false, true; } },
        { "manage-interface", false,
            [](ServerOptions& o, const std::string&, std::string*) { return o.manageInterface = true, true; } },
        { "restart-time", true, number(0, 600000, [](ServerOptions& o, long n) { o.restartMs = int(n); }) },
        { "commit-delay", true,
            [](ServerOptions& o, const std::string& v, std::string* why) {
                const auto delay = ParseCommitDelay(v, why);
                if (!delay)
                    return false;
                if (delay->type)
                    o.device.commitDelayByType[*delay->type] = delay->ms;
                else
                    o.device.commitDelayMs = delay->ms;
                return true;
            } },
        { "alarm-host", true, address([](ServerOptions& o, const std::string& v, const Ipv4&) { o.alarmHost = v; }) },
        { "alarm-port", true, number(1, 65535, [](ServerOptions& o, long n) { o.alarmPort = int(n); }) },
        { "fault", true,
            [](ServerOptions& o, const std::string& v, std::string* why) {
                const auto plan = ParseFault(v, why);
                if (plan)
                    o.fault = *plan;
                return bool(plan);
            } },
        { "frame-log", true, text(&ServerOptions::frameLogPath) },
        { "control", true, text(&ServerOptions::controlPath) },
        { "ready-file", true, text(&ServerOptions::readyPath) },
    };
    return flags;
}

} // namespace

ParsedOptions ParseOptions(const std::vector<std::string>& args)
{
    ParsedOptions result;
    ServerOptions o;
    auto refuse = [&](std::string why) {
        result.error = std::move(why);
        return result;
    };
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg.rfind("--", 0) != 0 || arg.size() == 2)
            return refuse("unexpected argument " + arg);
        std::string name = arg.substr(2);
        std::optional<std::string> value;
        if (const auto eq = name.find('='); eq != std::string::npos) {
            value = name.substr(eq + 1);
            name.resize(eq);
        }
        if (name == "help") {
            result.help = true;
            return result;
        }
        const Flag* flag = nullptr;
        for (const Flag& f : Flags()) {
            if (name == f.name)
                flag = &f;
        }
        if (!flag)
            return refuse("unknown option --" + name);
        if (!flag->takesValue && value)
            return refuse("--" + name + " takes no value");
        if (flag->takesValue && !value) {
            if (i + 1 >= args.size())
                return refuse("--" + name + " needs a value");
            value = args[++i];
        }
        std::string why;
        if (!flag->set(o, value.value_or(""), &why))
            return refuse("bad value for --" + name + ": " + (why.empty() ? *value : why));
    }
    if (o.manageInterface && o.interfaceName.empty())
        return refuse("--manage-interface needs --interface");
    result.options = std::move(o);
    return result;
}

} // namespace sim
