#include "site/SiteAdapter.h"

#include "web/PageText.h"

namespace lumora {
namespace {

// The photo community: UTF-8 pages (GBK when the headers say so), values
// decoded after they are cut out. Everything else it knows of the pages is
// the rules in force.
class PhotoCommunityAdapter : public SiteAdapter {
public:
    unsigned PageTextFlags() const override { return TEXT_INFLATE | TEXT_UTF8 | TEXT_KEEP_ENTITIES; }
    std::u16string ListPagesTemplate(const std::u16string& address) const override {
        return NormaliseAlbumAddress(address, *RulesInForce());
    }
    std::u16string ListPageAddress(const std::u16string& pagesTemplate, int page) const override {
        return AlbumListPageAddress(pagesTemplate, page, *RulesInForce());
    }
    AlbumPage ParseAlbumPage(std::u16string text, const std::u16string& pageAddress, bool firstPage) const override {
        return lumora::ParseAlbumPage(std::move(text), pageAddress, firstPage, *RulesInForce());
    }
    std::u16string PicturePageAddress(const ST_PERLISTRECORD& album) const override { return album.address; }
    std::vector<PictureEntry> ParsePicturePage(const std::u16string& text,
                                               const ST_PERLISTRECORD& album) const override {
        return lumora::ParsePicturePage(text, album, *RulesInForce());
    }
};

}  // namespace

const SiteAdapter* FindSiteAdapter(int siteIndex) {
    static const PhotoCommunityAdapter kPhotoCommunity;
    return siteIndex == kPhotoCommunitySite ? &kPhotoCommunity : nullptr;
}

}  // namespace lumora
