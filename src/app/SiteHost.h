// What the page readers need from the main window: its state and a few
// operations. The controller implements it; the readers never see widgets.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "base/RunStates.h"
#include "site/AlbumRecord.h"
#include "site/SiteAdapter.h"
#include "web/Fetch.h"

namespace lumora {

class StopToken;

// Album-list pages one get-albums run reads at most.
inline constexpr int kMaxAlbumListPages = 100000;

// kMaxAlbumListPages, or a lower bound from LUMORA_MAX_LIST_PAGES (1 and
// more; anything else is ignored), so that a process can be tested at it.
int MaxAlbumListPages();

// How reading one page went: fetched (whatever it held), or why not.
struct PageRead {
    bool fetched = false;
    FetchError error = FetchError::None;
    long httpStatus = 0;
};

// "HTTP 错误 404", "连接失败", ...: why a page was not read, for people.
std::u16string DescribePageFailure(const PageRead& read);

// Main-window state that the page readers read and write.
struct SiteSession {
    AlbumList albums;
    std::u16string spaceName;      // first folder component, ends with "/" when set
    std::u16string subFolderName;  // second folder component
    std::u16string memberAddress;  // the address of the last get-albums run, trimmed
    int siteIndex = kPhotoCommunitySite;
    std::atomic<std::uint8_t> getAlbumsState{GET_IDLE};
    std::atomic<std::uint8_t> downloadState{DOWN_IDLE};
    std::atomic<std::uint8_t> ready{0};
    // Page fetches retry transient failures this many times; the stops end
    // their waits (set before each run starts, raised by its stop).
    std::uint8_t retries = 0;
    std::shared_ptr<StopToken> getAlbumsStop;
    std::shared_ptr<StopToken> downloadStop;
    // The first album-list page of the last get-albums run.
    PageRead firstListPage;
    // A template without the page placeholder asks for one page forever, and
    // a site may offer "next" without end: repeated pages end the loop, and
    // this bound, far above any real member, in any case.
    int maxListPages = MaxAlbumListPages();
    // The last run stopped at maxListPages while the site offered more.
    bool albumListCut = false;
};

class SiteHost {
public:
    virtual ~SiteHost() = default;

    virtual SiteSession& session() = 0;
    // Re-reads the extension settings file; called at the start of every run.
    virtual void LoadExtensionSettings() = 0;
    // A modal message; the calling worker waits until it is dismissed.
    virtual void ShowMessage(const std::u16string& text) = 0;
    virtual void SetMainStatus(const std::u16string& text) = 0;      // status line 1009
    virtual void SetProgressStatus(const std::u16string& text) = 0;  // status line 1006
    virtual void SetAlbumGroupCaption(const std::u16string& text) = 0;

    virtual void BeginGetAlbums() = 0;
    virtual void EndGetAlbums() = 0;
    virtual void ShowAlbum(std::size_t position) = 0;
    virtual void RefreshGrid() = 0;
    // Offers an address to the recent-address history (saved when taken).
    virtual void OfferAddressToHistory(const std::u16string& address) = 0;
};

}  // namespace lumora
