#include "site/AlbumListReader.h"

#include <cerrno>
#include <cstdlib>
#include <functional>

#include "base/PathText.h"
#include "base/Trim.h"
#include "base/Utf16.h"
#include "text/Format.h"
#include "text/StringCtrl.h"
#include "web/Address.h"
#include "web/Fetch.h"
#include "web/PageText.h"

namespace lumora {
namespace {

constexpr std::uint32_t kPageTimeoutMs = 20000;
constexpr char16_t kPagePlaceholder[] = u"_dk1stp_";

// CleanFileName's trimming would also decode entities; an address is only
// trimmed, of ASCII white space, the ideographic and the no-break space.
std::u16string Trim(const std::u16string& text) { return std::u16string(TrimBlanks(text, u" \t\n\v\f\r\u3000\u00A0")); }

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

// Longest folder name the file system takes, in UTF-8 bytes.
void FinishFolderName(std::u16string& name) {
    // Cleaning removes every separator, so the name is one folder component;
    // a long space name from the page is cut to what one component holds.
    CleanFileName(name, 0, false);
    name = CutToUtf8Bytes(name, kMaxComponentBytes);
    if (!name.empty() && name.back() != u'/') name += u'/';
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

std::u16string NormaliseAlbumAddress(const std::u16string& address, std::u16string& pageTag) {
    if (ContainsAfterStart(address, u"_p")) {
        for (std::int64_t n = 1; n <= 99; ++n) {
            pageTag = FormatText(u"_p%d_", {n});
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
    std::u16string member = address;
    CutBefore(member, u".cn/", true);
    KeepBefore(member, u"/");
    pageTag = member;
    return FormatText(u"http://%s/%s/myphoto_dk1stp_n15.html", {std::u16string(kCommunityHost), member});
}

void ReadAlbumPages(SiteHost& host, const std::u16string& firstPageTemplate) {
    SiteSession& session = host.session();
    session.albumListCut = false;
    FetchRequest request(u"", u"", kPageTimeoutMs);
    request.extraHeaders = u"Accept-Encoding: gzip, deflate";
    request.retries = session.retries;
    request.stop = session.getAlbumsStop;
    FetchResult result;
    // A page that repeats the one before ends the loop; its hash is enough
    // to tell, and keeps a second copy of a large page out of memory.
    std::size_t previousPage = 0;
    bool morePages = true;
    int n = 1;
    for (; morePages && n <= session.maxListPages; ++n) {
        request.url = firstPageTemplate;
        session.pageTag = FormatText(u"_p%d_", {static_cast<std::int64_t>(n)});
        ReplaceAll(request.url, kPagePlaceholder, session.pageTag);
        const bool fetched = FetchPage(request, result, 0);
        if (n == 1) session.firstListPage = {fetched, result.error, result.httpStatus};
        if (!fetched) break;
        std::u16string text = GetPageText(result, TEXT_INFLATE | TEXT_UTF8 | TEXT_KEEP_ENTITIES);
        const std::size_t pageHash = std::hash<std::u16string>{}(text);
        if (text.empty() || (n > 1 && pageHash == previousPage)) break;
        previousPage = pageHash;
        AlbumPage page = ParseAlbumPage(std::move(text), request.url, n == 1);
        morePages = page.hasNextPage;
        if (n == 1) session.spaceName = std::move(page.spaceName);
        if (page.albums.empty()) break;
        for (ST_PERLISTRECORD& record : page.albums) {
            if (session.ready.load() == 1) {
                std::size_t count = session.albums.Add(std::move(record));
                host.ShowAlbum(count - 1);
            }
            if (session.getAlbumsState.load() == GET_STOP) return;
        }
    }
    // The site still offered a next page: the list is cut, and says so.
    session.albumListCut = morePages && n > session.maxListPages;
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

void GetAlbumList(SiteHost& host) {
    SiteSession& session = host.session();
    host.LoadExtensionSettings();
    session.siteIndex = kPhotoCommunitySite;
    session.spaceName.clear();
    session.subFolderName.clear();
    session.firstListPage = {};
    session.albumListCut = false;

    std::u16string address = Trim(host.AddressText());
    if (address.empty()) {
        host.ShowMessage(u"请输入相册地址（以 http:// 或 https:// 开头）");
        session.getAlbumsState = GET_IDLE;
        return;
    }
    host.BeginGetAlbums();
    if (address.find(u"http://") == std::u16string::npos && address.find(u"https://") == std::u16string::npos) {
        host.ShowMessage(u"相册地址无效：请输入以 http:// 或 https:// 开头的网址");
    } else {
        if (host.SubTypeVisible()) session.subType = host.SubTypeSelection();
        if (session.siteIndex == kPhotoCommunitySite) {
            ReadAlbumPages(host, NormaliseAlbumAddress(address, session.pageTag));
        }
    }
    FinishFolderName(session.spaceName);
    FinishFolderName(session.subFolderName);
    host.RefreshGrid();

    const auto count = static_cast<std::int64_t>(session.albums.size());
    host.SetAlbumGroupCaption(FormatText(u"相册列表(共%d个)", {count}));
    host.SetMainStatus(FormatText(u"获取相册列表完成，共%d个", {count}));
    // Nothing found: say why beside the count, so the user can act on it.
    if (count == 0 && session.firstListPage.fetched) {
        host.SetProgressStatus(u"页面中没有找到相册：地址可能有误，或网站的页面格式已改变");
    } else if (count == 0 && session.firstListPage.error != FetchError::None) {
        host.SetProgressStatus(u"无法读取相册列表：" + DescribePageFailure(session.firstListPage));
    } else if (session.albumListCut) {
        host.SetProgressStatus(FormatText(
            u"相册列表超过%d页，只读取了前%d页，其余相册没有列出",
            {static_cast<std::int64_t>(session.maxListPages), static_cast<std::int64_t>(session.maxListPages)}));
    }
    host.EndGetAlbums();
    if (count > 0) host.OfferAddressToHistory(Trim(host.AddressText()));
}

int MaxAlbumListPages() {
    const char* text = std::getenv("LUMORA_MAX_LIST_PAGES");
    if (!text || !*text) return kMaxAlbumListPages;
    char* end = nullptr;
    errno = 0;
    const long pages = std::strtol(text, &end, 10);
    if (errno != 0 || *end != '\0' || pages < 1 || pages > kMaxAlbumListPages) return kMaxAlbumListPages;
    return static_cast<int>(pages);
}

std::u16string DescribePageFailure(const PageRead& read) { return FetchErrorMessage(read.error, read.httpStatus); }

}  // namespace lumora
