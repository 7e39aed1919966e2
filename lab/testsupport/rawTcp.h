#pragma once
// Plain TCP for tests: bytes exactly as given, no client library between.
#include <cstdint>
#include <string>
#include <vector>

namespace twltest {

// A connected socket, or -1 with the errno in *error (ETIMEDOUT when nothing
// answered within limitMs).
int ConnectTcp(const std::string& host, int port, int* error = nullptr, int limitMs = 10000);
bool SendAll(int fd, const std::vector<uint8_t>& bytes);
// Reads until count bytes arrived, the peer closed, or limitMs passed without
// a byte. Each read's size is appended to chunks when given.
std::vector<uint8_t> ReadBytes(
    int fd, size_t count, int limitMs, bool* closed = nullptr, std::vector<size_t>* chunks = nullptr);
// "00 3D 01" -> bytes.
std::vector<uint8_t> Hex(const std::string& text);
// The whole response to a GET (status line, headers, body), empty when no
// connection opened.
std::string HttpGet(const std::string& host, int port, const std::string& path);

} // namespace twltest
