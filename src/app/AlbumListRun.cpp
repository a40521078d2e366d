#include "app/AlbumListRun.h"

#include <cerrno>
#include <cstdlib>
#include <functional>

#include "base/PathText.h"
#include "base/Trim.h"
#include "base/Utf16.h"
#include "text/Format.h"
#include "text/StringCtrl.h"
#include "web/Fetch.h"
#include "web/PageText.h"

namespace lumora {
namespace {

constexpr std::uint32_t kPageTimeoutMs = 20000;

// CleanFileName's trimming would also decode entities; an address is only
// trimmed, of ASCII white space, the ideographic and the no-break space.
std::u16string Trim(const std::u16string& text) { return std::u16string(TrimBlanks(text, u" \t\n\v\f\r\u3000\u00A0")); }

// Longest folder name the file system takes, in UTF-8 bytes.
void FinishFolderName(std::u16string& name) {
    // Cleaning removes every separator, so the name is one folder component;
    // a long space name from the page is cut to what one component holds.
    CleanFileName(name, 0, false);
    name = CutToUtf8Bytes(name, kMaxComponentBytes);
    if (!name.empty() && name.back() != u'/') name += u'/';
}

}  // namespace

void ReadAlbumPages(SiteHost& host, const SiteAdapter& adapter, const std::u16string& pagesTemplate) {
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
        request.url = adapter.ListPageAddress(pagesTemplate, n);
        const bool fetched = FetchPage(request, result, 0);
        if (n == 1) session.firstListPage = {fetched, result.error, result.httpStatus};
        if (!fetched) break;
        std::u16string text = GetPageText(result, adapter.PageTextFlags());
        const std::size_t pageHash = std::hash<std::u16string>{}(text);
        if (text.empty() || (n > 1 && pageHash == previousPage)) break;
        previousPage = pageHash;
        AlbumPage page = adapter.ParseAlbumPage(std::move(text), request.url, n == 1);
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

void GetAlbumList(SiteHost& host, const AlbumQuery& query) {
    SiteSession& session = host.session();
    host.LoadExtensionSettings();
    session.siteIndex = kPhotoCommunitySite;
    session.spaceName.clear();
    session.subFolderName.clear();
    session.firstListPage = {};
    session.albumListCut = false;

    const std::u16string address = Trim(query.address);
    session.memberAddress = address;
    if (address.empty()) {
        host.ShowMessage(u"请输入相册地址（以 http:// 或 https:// 开头）");
        session.getAlbumsState = GET_IDLE;
        return;
    }
    host.BeginGetAlbums();
    if (address.find(u"http://") == std::u16string::npos && address.find(u"https://") == std::u16string::npos) {
        host.ShowMessage(u"相册地址无效：请输入以 http:// 或 https:// 开头的网址");
    } else if (const SiteAdapter* adapter = FindSiteAdapter(session.siteIndex)) {
        ReadAlbumPages(host, *adapter, adapter->ListPagesTemplate(address));
    }
    FinishFolderName(session.spaceName);
    FinishFolderName(session.subFolderName);
    host.RefreshGrid();

    const auto count = static_cast<std::int64_t>(session.albums.size());
    host.SetAlbumGroupCaption(FormatText(u"相册列表(共%d个)", {count}));
    // A stopped run's count is not the member's: said beside it.
    const bool stopped = session.getAlbumsState == GET_STOP;
    host.SetMainStatus(FormatText(u"获取相册列表完成，共%d个", {count}) + (stopped ? u"（已终止）" : u""));
    // Nothing found: say why beside the count, so the user can act on it.
    if (std::u16string reason = EmptyListReason(session, address); !reason.empty()) {
        host.SetProgressStatus(reason);
    } else if (session.albumListCut) {
        host.SetProgressStatus(FormatText(
            u"相册列表超过%d页，只读取了前%d页，其余相册没有列出",
            {static_cast<std::int64_t>(session.maxListPages), static_cast<std::int64_t>(session.maxListPages)}));
    }
    host.EndGetAlbums();
    if (count > 0) host.OfferAddressToHistory(address);
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

std::u16string EmptyListReason(const SiteSession& session, const std::u16string& address) {
    if (session.albums.size() > 0) return {};
    if (session.firstListPage.fetched) {
        std::u16string reason = u"页面中没有找到相册：地址可能有误，或网站的页面格式已改变";
        if (!address.empty()) reason += u"；运行 lumora-cli check " + address + u" 查看详情";
        return reason;
    }
    if (session.firstListPage.error != FetchError::None) {
        return u"无法读取相册列表：" + DescribePageFailure(session.firstListPage);
    }
    return {};
}

std::u16string DescribePageFailure(const PageRead& read) { return FetchErrorMessage(read.error, read.httpStatus); }

}  // namespace lumora
