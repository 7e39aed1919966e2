#include "devscan/dscWire.h"

#include <cstring>

namespace dsc {

namespace {

constexpr uint8_t RequestMagic[4] = { 'D', 'S', 'C', 'Q' };
constexpr uint8_t AnswerMagic[4] = { 'D', 'S', 'C', 'A' };

void PutU16(uint8_t* p, uint16_t v)
{
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
}

void PutU32(uint8_t* p, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        p[i] = uint8_t(v >> (8 * i));
}

uint16_t GetU16(const uint8_t* p)
{
    return uint16_t(p[0] | (p[1] << 8));
}

uint32_t GetU32(const uint8_t* p)
{
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

} // namespace

std::array<uint8_t, RequestSize> EncodeRequest(const SearchRequest& request)
{
    std::array<uint8_t, RequestSize> out {};
    std::memcpy(out.data(), RequestMagic, 4);
    out[4] = WireVersion;
    PutU16(&out[6], request.spreadMs);
    PutU32(&out[8], request.nonce);
    return out;
}

std::array<uint8_t, AnswerSize> EncodeAnswer(const SearchAnswer& answer)
{
    std::array<uint8_t, AnswerSize> out {};
    std::memcpy(out.data(), AnswerMagic, 4);
    out[4] = WireVersion;
    PutU32(&out[8], answer.nonce);
    PutU32(&out[12], answer.productId);
    PutU16(&out[16], answer.productCode);
    std::memcpy(&out[18], answer.mac.data(), 6);
    // Already in network order: copied as it lies in memory.
    std::memcpy(&out[24], &answer.ipAddress, 4);
    return out;
}

std::optional<SearchRequest> DecodeRequest(const uint8_t* data, std::size_t size)
{
    if (!data || size != RequestSize || std::memcmp(data, RequestMagic, 4) != 0 || data[4] != WireVersion)
        return std::nullopt;
    SearchRequest request;
    request.spreadMs = GetU16(data + 6);
    request.nonce = GetU32(data + 8);
    return request;
}

std::optional<SearchAnswer> DecodeAnswer(const uint8_t* data, std::size_t size)
{
    if (!data || size != AnswerSize || std::memcmp(data, AnswerMagic, 4) != 0 || data[4] != WireVersion)
        return std::nullopt;
    SearchAnswer answer;
    answer.nonce = GetU32(data + 8);
    answer.productId = GetU32(data + 12);
    answer.productCode = GetU16(data + 16);
    std::memcpy(answer.mac.data(), data + 18, 6);
    std::memcpy(&answer.ipAddress, data + 24, 4);
    return answer;
}

unsigned AnswerDelayMs(const SearchRequest& request, const MacAddress& mac)
{
    const unsigned spread = request.spreadMs < MaxSpreadMs ? request.spreadMs : MaxSpreadMs;
    if (spread == 0)
        return 0;
    // FNV-1a over nonce and MAC: cheap, and different for every device and search.
    uint32_t h = 2166136261u;
    auto mix = [&h](uint8_t b) { h = (h ^ b) * 16777619u; };
    for (int i = 0; i < 4; ++i)
        mix(uint8_t(request.nonce >> (8 * i)));
    for (uint8_t b : mac)
        mix(b);
    return h % spread;
}

} // namespace dsc
