// The sixteen web services that album-space addresses are recognised by, and
// the recognition itself: which service an address comes from and, for the
// QQ family, which kind of album it points at. Only the photo community has
// a site adapter; the rest only steer what the two site boxes show.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace lumora {

inline constexpr int kSiteCount = 16;
inline constexpr int kQqFamilySite = 0;

struct SiteEntry {
    const char16_t* displayName;  // as the site box lists it
    // Fixed pieces of the service's host names, in test order.
    std::vector<std::u16string_view> markers;
};

// Index order is the site index (0..15).
const std::array<SiteEntry, kSiteCount>& SiteTable();

// Album kinds of the QQ family, in the order of the sub-type box.
enum QqAlbumKind : int { kQzoneAlbum = 0, kQqGroupAlbum = 1, kTencentWeiboAlbum = 2 };
const std::array<const char16_t*, 3>& QqAlbumKindTexts();

struct SiteRecognition {
    int site = 0;
    int subType = -1;  // a QqAlbumKind for the QQ family, -1 for every other site
};

// Nothing is recognised (nullopt) in a text without "http://" or "https://".
// Otherwise the first marker of the table that occurs at position 1 or later
// names the site; an occurrence at position 0 does not count, and with no
// marker the site stays `currentSite`.
std::optional<SiteRecognition> RecogniseAddress(std::u16string_view address, int currentSite);

// The service an address is for: the recognised one, else the photo community.
int SiteOfAddress(std::u16string_view address);

// What the user is told before anything is fetched for a service without an
// adapter: "暂不支持从「百度相册」下载，目前只支持太平洋摄影部落".
std::u16string UnsupportedSiteText(int site);

}  // namespace lumora
