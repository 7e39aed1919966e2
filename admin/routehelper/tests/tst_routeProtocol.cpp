// The request lines the program writes are the ones the helper reads, and
// the helper's reading is strict.
#include "admin/routehelper/routeProtocol.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>

using namespace routehelper;

namespace {

uint32_t A(const char* text)
{
    return inet_addr(text);
}

} // namespace

TEST(RouteProtocol, EveryRequestReadsBackAsWritten)
{
    tREQUEST route { TCommand::Route, A("10.99.0.5"), 32, 7, A("10.77.0.1"), 0, 20, {} };
    tREQUEST viaGateway { TCommand::Route, A("10.99.0.6"), 32, 7, A("10.77.0.1"), A("10.77.0.2"), 4294967295u, {} };
    tREQUEST neigh { TCommand::Neigh, A("10.99.0.5"), 32, 2147483647, 0, 0, 0, { 0x02, 0x00, 0x5E, 0x10, 0xAB, 0xFF } };
    tREQUEST delRoutes { TCommand::DelRoutes, A("255.255.255.254"), 32, 0, 0, 0, 0, {} };
    tREQUEST delNeigh { TCommand::DelNeigh, A("1.2.3.4"), 32, 3, 0, 0, 0, {} };
    tREQUEST hello { TCommand::Hello };
    tREQUEST release { TCommand::Release };
    for (const tREQUEST& r : { route, viaGateway, neigh, delRoutes, delNeigh, hello, release }) {
        const std::string line = FormatRequest(r);
        SCOPED_TRACE(line);
        ASSERT_EQ(line.back(), '\n');
        ASSERT_LT(line.size(), MaxRequestLength);
        const tPARSED p = ParseRequest(std::string_view(line).substr(0, line.size() - 1));
        ASSERT_TRUE(p.request);
        EXPECT_EQ(p.request->command, r.command);
        EXPECT_EQ(p.request->address, r.address);
        EXPECT_EQ(p.request->interfaceIndex, r.interfaceIndex);
        EXPECT_EQ(p.request->source, r.source);
        EXPECT_EQ(p.request->nextHop, r.nextHop);
        EXPECT_EQ(p.request->metric, r.metric);
        EXPECT_EQ(p.request->mac, r.mac);
    }
}

TEST(RouteProtocol, AddressesAndNumbersAreReadStrictly)
{
    const struct {
        const char* text;
        bool good;
    } rows[] = {
        { "0.0.0.0", true },
        { "255.255.255.255", true },
        { "10.99.0.5", true },
        { "256.0.0.1", false },
        { "10.99.0", false },
        { "10.99.0.5.1", false },
        { "010.99.0.5", false },
        { "10.99.0.+5", false },
        { "10.99..5", false },
        { " 10.99.0.5", false },
        { "0x0a.99.0.5", false },
        { "", false },
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.text);
        EXPECT_EQ(ParseAddress(row.text).has_value(), row.good);
        if (row.good) {
            EXPECT_EQ(FormatAddress(*ParseAddress(row.text)), row.text);
        }
    }
    EXPECT_FALSE(ParseRequest("route 10.99.0.5/33 2 10.77.0.1 direct 20").request);
    EXPECT_FALSE(ParseRequest("route 10.99.0.5/32 2 10.77.0.1 direct 4294967296").request);
    EXPECT_FALSE(ParseRequest("route 10.99.0.5/32 2147483648 10.77.0.1 direct 20").request);
    EXPECT_FALSE(ParseRequest("neigh 10.99.0.5 2 02-00-5e-10-00-05").request);
    EXPECT_FALSE(ParseRequest("hello ").request);
    EXPECT_EQ(ParseRequest(std::string(MaxRequestLength, 'x')).reason, TReason::Oversized);
}

TEST(RouteProtocol, AnswersStayOneLine)
{
    const std::string line = FormatAnswer(TReason::SystemError, "one\ntwo\rthree");
    EXPECT_EQ(line, "12 one two three\n");
    const auto answer = ParseAnswer(std::string_view(line).substr(0, line.size() - 1));
    ASSERT_TRUE(answer);
    EXPECT_EQ(answer->reason, TReason::SystemError);
    EXPECT_EQ(answer->text, "one two three");
    EXPECT_FALSE(ParseAnswer("ok"));
    EXPECT_FALSE(ParseAnswer("99 unknown code"));
}
