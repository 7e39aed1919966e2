#pragma once
// The search protocol's two datagrams, shared by the searching side and the
// device side. Layout and rules are in README.md beside this file.
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>

namespace dsc {

constexpr uint16_t DevicePort = 4800;
constexpr uint8_t WireVersion = 1;
constexpr std::size_t RequestSize = 12;
constexpr std::size_t AnswerSize = 28;
// Devices never spread their answers over more than this, whatever a request asks.
constexpr uint16_t MaxSpreadMs = 1000;

using MacAddress = std::array<uint8_t, 6>;

struct SearchRequest {
    uint32_t nonce = 0;
    uint16_t spreadMs = 0;
};

struct SearchAnswer {
    uint32_t nonce = 0;
    uint32_t productId = 0;
    uint16_t productCode = 0;
    MacAddress mac {};
    uint32_t ipAddress = 0; // network order, 0 = no address configured
};

std::array<uint8_t, RequestSize> EncodeRequest(const SearchRequest& request);
std::array<uint8_t, AnswerSize> EncodeAnswer(const SearchAnswer& answer);

// Empty unless the datagram is exactly one well-formed message of this version.
std::optional<SearchRequest> DecodeRequest(const uint8_t* data, std::size_t size);
std::optional<SearchAnswer> DecodeAnswer(const uint8_t* data, std::size_t size);

// The delay in ms, below request.spreadMs (capped at MaxSpreadMs), after which
// the device with this MAC answers: the same for a repeated request, spread
// evenly over the devices so that a full network doesn't answer at once.
unsigned AnswerDelayMs(const SearchRequest& request, const MacAddress& mac);

} // namespace dsc
