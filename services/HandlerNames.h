#pragma once

namespace yz::handler {

// The names under which answers reach the window's operations outside the
// query table. Each is stated once here and used where the request is sent
// and where its handler is registered, so a misspelt name fails the build.
inline constexpr char16_t kCheckVersion[] = u"checkVer";
inline constexpr char16_t kShowNews[] = u"showNews";
inline constexpr char16_t kSuggestionSent[] = u"suggestOK";
inline constexpr char16_t kStatistics[] = u"Tongji";
inline constexpr char16_t kPublishedRules[] = u"publishedRules";
// A handler that ignores its answer, for requests whose answer is not examined.
inline constexpr char16_t kIgnore[] = u"doNothing";

} // namespace yz::handler
