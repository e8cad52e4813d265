#pragma once

namespace yz {

// The program's version number, as the vendor's service numbers versions:
// sent with the version check and the news request, shown by both programs.
inline constexpr int kProgramVersion = 200912230;

} // namespace yz
