#include "site/AlbumPages.h"

#include "base/PathText.h"
#include "base/Utf16.h"
#include "text/Format.h"
#include "text/StringCtrl.h"
#include "web/Address.h"

namespace lumora {
namespace {

constexpr char16_t kPagePlaceholder[] = u"_dk1stp_";

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
std::u16string DeriveSpaceName(std::u16string& pageText, const std::u16string& firstPage) {
    std::u16string name = ExtractDecoded(pageText, u"】", u"_太平洋");
    if (name.empty()) name = MemberIdFrom(firstPage, u"cn/");
    CleanFileName(name, kTimeStampFallback, true);
    return name;
}

ST_PERLISTRECORD ParseAlbumBlock(std::u16string block, const std::u16string& pageAddress) {
    ST_PERLISTRECORD record;
    std::u16string address = ExtractDecoded(block, u"href=\"", u"\"");
    ReplaceAll(address, u"photo/", u"photo/list_");
    record.address = ResolveAddress(pageAddress, address);
    record.title = ExtractDecoded(block, u"title=\"", u"\"");
    record.coverAddress = ResolveAddress(pageAddress, ExtractDecoded(block, u"src=\"", u"\""));
    record.pictureCount = -1;
    record.albumFlags = 0;
    return record;
}

}  // namespace

std::u16string NormaliseAlbumAddress(const std::u16string& address) {
    if (ContainsAfterStart(address, u"_p")) {
        for (std::int64_t n = 1; n <= 99; ++n) {
            const std::u16string pageTag = FormatText(u"_p%d_", {n});
            std::u16string candidate = address;
            if (ReplaceAll(candidate, pageTag, kPagePlaceholder) > 0) return candidate;
        }
        return address;
    }
    if (ContainsAfterStart(address, u"myphoto.")) {
        std::u16string candidate = address;
        ReplaceAll(candidate, u".html", u"_dk1stp_n15.html");
        return candidate;
    }
    return FormatText(u"http://%s/%s/myphoto_dk1stp_n15.html",
                      {std::u16string(kCommunityHost), MemberIdFrom(address, u".cn/")});
}

std::u16string AlbumListPageAddress(const std::u16string& pagesTemplate, int page) {
    // The placeholder itself is never requested: page 1 carries "_p1_".
    std::u16string address = pagesTemplate;
    ReplaceAll(address, kPagePlaceholder, FormatText(u"_p%d_", {static_cast<std::int64_t>(page)}));
    return address;
}

AlbumPage ParseAlbumPage(std::u16string text, const std::u16string& pageAddress, bool firstPage) {
    AlbumPage page;
    page.hasNextPage = text.find(u">下一页</a>") != std::u16string::npos;
    if (firstPage) page.spaceName = DeriveSpaceName(text, pageAddress);
    StringArray blocks;
    if (SplitText(blocks, text, u"class=\"picbox") < 1) return page;
    // The blocks hold the page now: let go of the whole text, and hand each
    // block over instead of copying it.
    std::u16string().swap(text);
    page.albums.reserve(blocks.size() - 1);
    for (std::size_t i = 1; i < blocks.size(); ++i) {
        page.albums.push_back(ParseAlbumBlock(std::move(blocks[i]), pageAddress));
    }
    return page;
}

}  // namespace lumora
