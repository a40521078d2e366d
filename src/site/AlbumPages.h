// The photo community's album-list pages turned into album records.
#pragma once

#include <string>
#include <vector>

#include "site/SiteHost.h"

namespace lumora {

// The community's host in first-page addresses.
inline constexpr char16_t kCommunityHost[] = u"dp.pconline.com.cn";

// The whole get-albums run, on the album-list worker.
void GetAlbumList(SiteHost& host);

// Any of the three address forms turned into the first-page template that
// carries "_dk1stp_" where the page tag goes. Stores working text in pageTag.
std::u16string NormaliseAlbumAddress(const std::u16string& address, std::u16string& pageTag);

// Reads every album-list page from the template and appends album records.
void ReadAlbumPages(SiteHost& host, const std::u16string& firstPageTemplate);

// One album-list page taken apart, without fetching anything.
struct AlbumPage {
    bool hasNextPage = false;              // carries the ">下一页</a>" link
    std::u16string spaceName;              // first page only: cleaned, never empty
    std::vector<ST_PERLISTRECORD> albums;  // in page order; empty: no album blocks
};

// Parses the text of the page at `pageAddress`, entities not yet decoded
// (each value is decoded once cut out); `firstPage` also derives the
// member's space name.
AlbumPage ParseAlbumPage(std::u16string text, const std::u16string& pageAddress, bool firstPage);

}  // namespace lumora
