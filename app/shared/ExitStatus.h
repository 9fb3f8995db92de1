#pragma once

// Exit statuses of dovlek, the same from every front end, so that a script or a hotkey daemon can
// tell a request that failed (its box said why) from an error that nothing inside handled.
namespace pellomar {

inline constexpr int kExitDone = 0;      // the request succeeded (or there was nothing to do)
inline constexpr int kExitReported = 1;  // the request failed and the error box said why
inline constexpr int kExitUncaught = 2;  // an error nothing inside handles ended the program

}  // namespace pellomar
