// The datagram rules both sides rely on: a well-formed message decodes to
// what was encoded, anything else to nothing.
#include "devscan/dscWire.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

template <std::size_t N> Bytes ToBytes(const std::array<uint8_t, N>& a)
{
    return Bytes(a.begin(), a.end());
}

TEST(Wire, AnswerCarriesEveryField)
{
    dsc::SearchAnswer in;
    in.nonce = 0xa1b2c3d4;
    in.productId = 0x80006120;
    in.productCode = 0x6120;
    in.mac = { 0x02, 0x11, 0x22, 0x33, 0x44, 0x55 };
    const uint8_t ip[4] = { 10, 77, 0, 20 };
    std::memcpy(&in.ipAddress, ip, 4);
    const Bytes bytes = ToBytes(dsc::EncodeAnswer(in));
    // Little-endian ids, address first octet first.
    const Bytes expected { 'D', 'S', 'C', 'A', 1, 0, 0, 0, 0xd4, 0xc3, 0xb2, 0xa1, 0x20, 0x61, 0x00, 0x80, 0x20, 0x61,
        0x02, 0x11, 0x22, 0x33, 0x44, 0x55, 10, 77, 0, 20 };
    EXPECT_EQ(bytes, expected);
    const auto out = dsc::DecodeAnswer(bytes.data(), bytes.size());
    ASSERT_TRUE(out);
    EXPECT_EQ(out->nonce, in.nonce);
    EXPECT_EQ(out->productId, in.productId);
    EXPECT_EQ(out->productCode, in.productCode);
    EXPECT_EQ(out->mac, in.mac);
    EXPECT_EQ(out->ipAddress, in.ipAddress);
}

TEST(Wire, RequestCarriesNonceAndSpread)
{
    const Bytes bytes = ToBytes(dsc::EncodeRequest({ 0x01020304, 250 }));
    EXPECT_EQ(bytes, (Bytes { 'D', 'S', 'C', 'Q', 1, 0, 250, 0, 4, 3, 2, 1 }));
    const auto out = dsc::DecodeRequest(bytes.data(), bytes.size());
    ASSERT_TRUE(out);
    EXPECT_EQ(out->nonce, 0x01020304u);
    EXPECT_EQ(out->spreadMs, 250);
}

TEST(Wire, MalformedDatagramsAreRejected)
{
    const Bytes request = ToBytes(dsc::EncodeRequest({ 7, 100 }));
    const Bytes answer = ToBytes(dsc::EncodeAnswer({}));
    const struct {
        const char* name;
        std::function<void(Bytes&)> spoil;
    } rows[] = {
        { "empty", [](Bytes& b) { b.clear(); } },
        { "short", [](Bytes& b) { b.pop_back(); } },
        { "long", [](Bytes& b) { b.push_back(0); } },
        { "magic", [](Bytes& b) { b[0] = 'X'; } },
        { "version", [](Bytes& b) { b[4] = 2; } },
    };
    for (const auto& row : rows) {
        Bytes r = request, a = answer;
        row.spoil(r);
        row.spoil(a);
        EXPECT_FALSE(dsc::DecodeRequest(r.data(), r.size())) << row.name;
        EXPECT_FALSE(dsc::DecodeAnswer(a.data(), a.size())) << row.name;
    }
    // Each kind is not taken for the other.
    EXPECT_FALSE(dsc::DecodeAnswer(request.data(), request.size()));
    EXPECT_FALSE(dsc::DecodeRequest(answer.data(), answer.size()));
}

TEST(Wire, AnswerDelayStaysWithinTheSpread)
{
    const dsc::MacAddress mac { 2, 0, 0, 0, 0, 1 };
    for (uint16_t spread : { 0, 1, 250, 5000 }) {
        for (uint32_t nonce = 0; nonce < 200; ++nonce) {
            const unsigned delay = dsc::AnswerDelayMs({ nonce, spread }, mac);
            EXPECT_LT(delay, std::max<unsigned>(1, std::min<unsigned>(spread, dsc::MaxSpreadMs)));
        }
    }
}

} // namespace
