#include "site/AlbumPages.h"

#include "base/PathText.h"
#include "base/Utf16.h"
#include "text/Format.h"
#include "text/StringCtrl.h"
#include "web/Address.h"

namespace lumora {
namespace {

// Found at a position above 0 only.
bool ContainsAfterStart(const std::u16string& text, const std::u16string& marker) {
    std::size_t at = text.find(marker);
    return at != std::u16string::npos && at > 0;
}

// The text between ".cn/"-like `marker` and the next "/".
std::u16string MemberIdFrom(const std::u16string& address, const std::u16string& marker) {
    std::u16string id = address;
    CutBefore(id, marker, true);
    KeepBefore(id, u"/");
    return id;
}

// The page text keeps its entities while it is cut apart, so that a quote
// written as "&quot;" cannot end a value; each value is decoded on its own.
std::u16string ExtractDecoded(std::u16string& text, const std::u16string& begin, const std::u16string& end) {
    std::u16string value = ExtractBetween(text, begin, end, EXTRACT_CONSUME);
    DecodeHtmlEntities(value);
    return value;
}

// Space name from page 1: between "】" and "_太平洋"; the page text is left
// just after the first "】" so album blocks are searched in the rest.
std::u16string DeriveSpaceName(std::u16string& pageText, const std::u16string& firstPage, const SiteRules& rules) {
    std::u16string name = ExtractDecoded(pageText, rules.spaceNameBegin, rules.spaceNameEnd);
    if (name.empty()) name = MemberIdFrom(firstPage, rules.spaceNameMember);
    CleanFileName(name, kTimeStampFallback, true);
    return name;
}

ST_PERLISTRECORD ParseAlbumBlock(std::u16string block, const std::u16string& pageAddress, const SiteRules& rules) {
    ST_PERLISTRECORD record;
    std::u16string address = ExtractDecoded(block, rules.albumAddressBegin, rules.albumAddressEnd);
    if (!rules.albumAddressFrom.empty()) ReplaceAll(address, rules.albumAddressFrom, rules.albumAddressTo);
    record.address = ResolveAddress(pageAddress, address);
    record.title = ExtractDecoded(block, rules.albumTitleBegin, rules.albumTitleEnd);
    record.coverAddress =
        ResolveAddress(pageAddress, ExtractDecoded(block, rules.albumCoverBegin, rules.albumCoverEnd));
    record.pictureCount = -1;
    record.albumFlags = 0;
    return record;
}

}  // namespace

std::u16string NormaliseAlbumAddress(const std::u16string& address, const SiteRules& rules) {
    // The page tag's fixed start ("_p" of "_p%d_") says an address names a list page.
    const std::u16string tagStart = rules.pageTag.substr(0, rules.pageTag.find(u'%'));
    if (!tagStart.empty() && ContainsAfterStart(address, tagStart)) {
        for (std::int64_t n = 1; n <= 99; ++n) {
            const std::u16string pageTag = FormatText(rules.pageTag, {n});
            std::u16string candidate = address;
            if (ReplaceAll(candidate, pageTag, rules.placeholder) > 0) return candidate;
        }
        return address;
    }
    if (ContainsAfterStart(address, rules.listingMarker)) {
        std::u16string candidate = address;
        ReplaceAll(candidate, rules.listingFrom, rules.listingTo);
        return candidate;
    }
    return FormatText(rules.listTemplate, {rules.host, MemberIdFrom(address, rules.memberMarker)});
}

std::u16string AlbumListPageAddress(const std::u16string& pagesTemplate, int page, const SiteRules& rules) {
    // The placeholder itself is never requested: page 1 carries "_p1_".
    std::u16string address = pagesTemplate;
    ReplaceAll(address, rules.placeholder, FormatText(rules.pageTag, {static_cast<std::int64_t>(page)}));
    return address;
}

AlbumPage ParseAlbumPage(std::u16string text, const std::u16string& pageAddress, bool firstPage,
                         const SiteRules& rules) {
    AlbumPage page;
    page.hasNextPage = text.find(rules.nextPage) != std::u16string::npos;
    if (firstPage) page.spaceName = DeriveSpaceName(text, pageAddress, rules);
    StringArray blocks;
    if (SplitText(blocks, text, rules.albumBlock) < 1) return page;
    // The blocks hold the page now: let go of the whole text, and hand each
    // block over instead of copying it.
    std::u16string().swap(text);
    page.albums.reserve(blocks.size() - 1);
    for (std::size_t i = 1; i < blocks.size(); ++i) {
        page.albums.push_back(ParseAlbumBlock(std::move(blocks[i]), pageAddress, rules));
    }
    return page;
}

}  // namespace lumora
