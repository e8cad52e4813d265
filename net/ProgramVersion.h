#pragma once

namespace yz {

// The program's version number, as the vendor's service numbers versions:
// sent with the version check and the news request, shown by both programs.
// It is the package's version, from its changelog (see CMakeLists.txt).
inline constexpr int kProgramVersion = YZ_PROGRAM_VERSION;
static_assert(kProgramVersion > 0, "the version is a whole number that fits 32 bits");

} // namespace yz
