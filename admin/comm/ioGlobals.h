#pragma once
// Program-wide values of TwinlaneAdmin that device communication reads.
// Written by the user-interface thread only; atomics because the socket
// workers read them.
#include <atomic>

// Time limit of device connections and replies in ms ("Socket Timeout").
extern std::atomic<int> SocketTimeout;
// When set, pending device communication gives up.
extern std::atomic<bool> AbortRequested;
