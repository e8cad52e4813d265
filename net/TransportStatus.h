#pragma once

// Status numbers handed to a handler (with err 1) when a request ends without
// an HTTP status of its own. They follow the WinInet numbering that the
// original desktop platform reported for the same failures.
namespace yz::transport {

inline constexpr int kNotStarted = 0; // the address could not be requested at all
inline constexpr int kTimedOut = 12002; // no complete answer within the time-out
inline constexpr int kNameNotResolved = 12007; // host not found
inline constexpr int kCannotConnect = 12029; // connection refused or unreachable
inline constexpr int kConnectionAborted = 12030; // closed or reset before the answer was complete, or too large
inline constexpr int kInvalidResponse = 12152; // the server's answer was not HTTP
// Ours, past WinInet's numbers: the proxy could not be reached, refused
// the connection or wants a password, so the service was never asked.
inline constexpr int kProxyFailed = 12998;
// Ours, past WinInet's numbers: not sent, because this run gave up on a host
// that refused its requests too many times in a row.
inline constexpr int kHostGivenUp = 12999;

} // namespace yz::transport
