// The photo community's album-list pages: their addresses, and each page
// taken apart into album records, without fetching.
#pragma once

#include <string>
#include <vector>

#include "site/AlbumRecord.h"
#include "site/SiteRules.h"

namespace lumora {

// The community's host in first-page addresses.
inline constexpr char16_t kCommunityHost[] = u"dp.pconline.com.cn";

// Any of the three address forms turned into the first-page template that
// carries "_dk1stp_" where the page tag goes.
std::u16string NormaliseAlbumAddress(const std::u16string& address, const SiteRules& rules = BuiltInRules());

// The address of album-list page `page` (1-based) of a template.
std::u16string AlbumListPageAddress(const std::u16string& pagesTemplate, int page,
                                    const SiteRules& rules = BuiltInRules());

// One album-list page taken apart, without fetching anything.
struct AlbumPage {
    bool hasNextPage = false;              // carries the ">下一页</a>" link
    std::u16string spaceName;              // first page only: cleaned, never empty
    std::vector<ST_PERLISTRECORD> albums;  // in page order; empty: no album blocks
};

// Parses the text of the page at `pageAddress`, entities not yet decoded
// (each value is decoded once cut out); `firstPage` also derives the
// member's space name.
AlbumPage ParseAlbumPage(std::u16string text, const std::u16string& pageAddress, bool firstPage,
                         const SiteRules& rules = BuiltInRules());

}  // namespace lumora
