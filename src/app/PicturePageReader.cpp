#include "app/PicturePageReader.h"

#include "web/PageText.h"

namespace lumora {
namespace {

constexpr std::uint32_t kPageTimeoutMs = 20000;

bool FetchPicturePage(const std::u16string& address, std::uint8_t retries, std::shared_ptr<const StopToken> stop,
                      FetchResult& result) {
    FetchRequest request(address, u"", kPageTimeoutMs);
    request.extraHeaders = u"Accept-Encoding: gzip, deflate";
    request.retries = retries;
    request.stop = std::move(stop);
    return FetchPage(request, result, 0);
}

}  // namespace

void PicturePageAhead::Start(const std::u16string& address, std::uint8_t retries,
                             std::shared_ptr<const StopToken> stop) {
    if (fetches_.contains(address)) return;
    fetches_.emplace(address, std::async(std::launch::async, [address, retries, stop = std::move(stop)] {
                         FetchResult result;
                         const bool fetched = FetchPicturePage(address, retries, stop, result);
                         return std::make_pair(fetched, std::move(result));
                     }));
}

bool PicturePageAhead::Take(const std::u16string& address, bool& fetched, FetchResult& result) {
    const auto found = fetches_.find(address);
    if (found == fetches_.end()) return false;
    auto [ok, page] = found->second.get();
    fetches_.erase(found);
    fetched = ok;
    result = std::move(page);
    return true;
}

PageRead ReadPictureList(SiteHost& host, const SiteAdapter& adapter, const ST_PERLISTRECORD& album,
                         const PictureSink& addPicture, PicturePageAhead* ahead) {
    const std::u16string address = adapter.PicturePageAddress(album);
    FetchResult result;
    bool fetched = false;
    if (!ahead || !ahead->Take(address, fetched, result)) {
        const SiteSession& session = host.session();
        fetched = FetchPicturePage(address, session.retries, session.downloadStop, result);
    }
    const PageRead read{fetched, result.error, result.httpStatus};
    if (!fetched) return read;
    const std::u16string text = GetPageText(result, adapter.PageTextFlags());
    if (text.empty()) return read;
    for (const PictureEntry& entry : adapter.ParsePicturePage(text, album)) {
        addPicture(entry.address, entry.description);
        const std::uint8_t state = host.session().downloadState;
        if (state == DOWN_STOP || state == DOWN_ALBUM_DONE) return read;
    }
    return read;
}

}  // namespace lumora
