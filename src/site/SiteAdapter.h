// One site's rules: which pages to read for a member's albums and for an
// album's pictures, and what those pages hold. An adapter fetches nothing
// and shows nothing; the app layer reads the pages and tells the window.
#pragma once

#include <string>
#include <vector>

#include "site/AlbumPages.h"
#include "site/PicturePages.h"

namespace lumora {

// The one site kind with an adapter, in the site table.
inline constexpr int kPhotoCommunitySite = 14;

class SiteAdapter {
public:
    virtual ~SiteAdapter() = default;

    // How the site's pages are turned into text (GetPageText's flags).
    virtual unsigned PageTextFlags() const = 0;
    // The member's album-list pages, from any address form a user types: a
    // template for ListPageAddress.
    virtual std::u16string ListPagesTemplate(const std::u16string& address) const = 0;
    // Album-list page `page`, counted from 1.
    virtual std::u16string ListPageAddress(const std::u16string& pagesTemplate, int page) const = 0;
    virtual AlbumPage ParseAlbumPage(std::u16string text, const std::u16string& pageAddress, bool firstPage) const = 0;
    // The page that lists an album's pictures.
    virtual std::u16string PicturePageAddress(const ST_PERLISTRECORD& album) const = 0;
    virtual std::vector<PictureEntry> ParsePicturePage(const std::u16string& text,
                                                       const ST_PERLISTRECORD& album) const = 0;
};

// The adapter of a site index of the site table; null for a site without one.
const SiteAdapter* FindSiteAdapter(int siteIndex);

}  // namespace lumora
