#pragma once

namespace yz::cli {

// The command line's exit statuses, for the main options and every word
// (history, rules) alike.
inline constexpr int kExitOk = 0;
// An input was not a domain, a domain failed its test, a picture or result
// could not be kept, a word found nothing to show or could not do its work.
inline constexpr int kExitFailed = 1;
// A usage error, or a file the options name that cannot be read or is refused.
inline constexpr int kExitUsage = 2;
// Stopped by Ctrl-C (SIGINT), as a shell reports it: 128 + the signal.
inline constexpr int kExitInterrupted = 130;

} // namespace yz::cli
