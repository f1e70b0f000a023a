// The caps on one HTTP request: how long its body and its header lines may be and how long the
// whole of it may take. An overrun ends the request with the socket's TooLarge or TimedOut
// error.
#pragma once

#include <cstdint>

namespace rb {

struct SocketLimits {
    int64_t maxBodyBytes = 64 * 1024;    // an update description is a few hundred bytes
    int32_t maxWaitMs = 15000;           // from Get to the reply's last byte
    int32_t maxHeaderLines = 100;        // header and trailer lines together
    int64_t maxHeaderBytes = 64 * 1024;  // with the status line, line ends included
};

namespace detail {
// The caps in use; a test may change them (testing.h).
SocketLimits& socketLimits();
}  // namespace detail

}  // namespace rb
