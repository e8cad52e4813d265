#pragma once

// What the program fixes about the vendor's web service: the paths of its
// requests and of the pages opened in the browser. The host is the Vendor
// entry of ServiceHosts.

namespace yz::vendor {

// Requests
inline constexpr char16_t kVersionCheck[] = u"/yzupdate/?ver="; // + version
inline constexpr char16_t kNews[] = u"/yztool/n/?ver="; // + version
inline constexpr char16_t kPageRankUrl[] = u"/api/PRURL.php?dm="; // + domain as typed
inline constexpr char16_t kTrendPicture[] = u"/yzclientthumb/"; // + domain + kTrendPictureEnd
inline constexpr char16_t kTrendPictureEnd[] = u"_bd1.jpg";
inline constexpr char16_t kSuggestion[] = u"/yztool/a/"; // post "c=" + encoded text
inline constexpr char16_t kPublishedRules[] = u"/yzrules/?ver="; // + the installed version (0 for none)
// The domain's position in the top-sites list the vendor imported, as
// "TopRank:<position>" (0: not listed); asked by rules that re-point a row.
inline constexpr char16_t kTopSitesRank[] = u"/yzrank/?dm="; // + domain as typed

// Pages opened in the browser
inline constexpr char16_t kHomePage[] = u"/";
inline constexpr char16_t kRegisterDomainPage[] = u"/adddomain";
inline constexpr char16_t kUpdatePage[] = u"/?update";
inline constexpr char16_t kPageRankPage[] = u"/"; // + domain as typed

} // namespace yz::vendor
