#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>

namespace pellomar::platform {

// Every bound of the X11 clipboard, in one place. dovlek always uses these values (the README
// promises the 5 seconds); the reader's tests and its fuzz target pass others.
struct X11Limits {
    // How long the clipboard's owner may take to answer, and how long an incremental transfer
    // may go without progress, in either direction (reading and serving).
    std::chrono::milliseconds ownerPatience{5'000};
    // How long a press waits for any answer of the X server itself (a connection's set-up, a
    // reply, the change of our own property that tells the server time). It answers at once;
    // this bounds a server that another client has grabbed, or that was stopped. The serving
    // process waits without a limit: a grab must not end it.
    std::chrono::milliseconds serverPatience{5'000};
    // Reads that start again because the owner changed or a transfer ended short, and writes
    // that find the clipboard taken by a program that holds the same text, before giving up.
    int readAttempts = 3;
    int writeAttempts = 3;
    // GetProperty asks for this many 4-byte units at a time: a property of many megabytes is
    // read in steps instead of one reply that the server must build whole.
    std::uint32_t propertyStep = 1U << 20;
    // Served content up to this size goes out in one property; larger content incrementally, in
    // pieces of this size.
    std::size_t piece = std::size_t{256} * 1024;
    // What other clients can make the serving process hold: incremental transfers in flight at
    // once, and conversions in one MULTIPLE request (a longer one is refused).
    std::size_t maxTransfers = 64;
    std::size_t maxMultiplePairs = 1024;
};

// A patience as messages name it: "5 seconds"; a shortened one that is no whole number of seconds
// in milliseconds.
inline std::string patienceText(std::chrono::milliseconds patience) {
    if (patience.count() % 1000 != 0) return std::to_string(patience.count()) + " ms";
    const auto seconds = patience.count() / 1000;
    return std::to_string(seconds) + (seconds == 1 ? " second" : " seconds");
}

// Why a press ended while the server was silent, before it asked for the clipboard.
inline std::string serverSilentText(std::chrono::milliseconds patience) {
    return "the X server stopped answering (nothing for " + patienceText(patience) +
           "; another program may hold it grabbed); the clipboard was left as it was";
}

}  // namespace pellomar::platform
