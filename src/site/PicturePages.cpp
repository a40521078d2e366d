#include "site/PictureListReader.h"

#include "text/Format.h"
#include "text/StringCtrl.h"
#include "web/Address.h"
#include "web/Fetch.h"
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
    address_ = address;
    fetch_ = std::async(std::launch::async, [address, retries, stop = std::move(stop)] {
        FetchResult result;
        const bool fetched = FetchPicturePage(address, retries, stop, result);
        return std::make_pair(fetched, std::move(result));
    });
}

bool PicturePageAhead::Take(const std::u16string& address, bool& fetched, FetchResult& result) {
    if (!fetch_.valid() || address_ != address) return false;
    auto [ok, page] = fetch_.get();
    fetched = ok;
    result = std::move(page);
    return true;
}

PageRead ReadPictureList(SiteHost& host, const ST_PERLISTRECORD& album, const PictureSink& addPicture,
                         PicturePageAhead* ahead) {
    FetchResult result;
    bool fetched = false;
    if (!ahead || !ahead->Take(album.address, fetched, result)) {
        const SiteSession& session = host.session();
        fetched = FetchPicturePage(album.address, session.retries, session.downloadStop, result);
    }
    const PageRead read{fetched, result.error, result.httpStatus};
    if (!fetched) return read;
    const std::u16string text = GetPageText(result, TEXT_INFLATE | TEXT_UTF8 | TEXT_KEEP_ENTITIES);
    if (text.empty()) return read;
    for (const PictureEntry& entry : ParsePicturePage(text, album)) {
        addPicture(entry.address, entry.description);
        const std::uint8_t state = host.session().downloadState;
        if (state == DOWN_STOP || state == DOWN_ALBUM_DONE) return read;
    }
    return read;
}

std::vector<PictureEntry> ParsePicturePage(const std::u16string& text, const ST_PERLISTRECORD& album) {
    std::vector<PictureEntry> entries;
    StringArray blocks;
    if (SplitText(blocks, text, u"class=\"picture") == 0) return entries;
    entries.reserve(blocks.size() - 1);
    for (std::size_t j = 1; j < blocks.size(); ++j) {
        // The text keeps its entities until the value is cut out.
        std::u16string address = ExtractBetween(blocks[j], u"src=\"", u"\"", EXTRACT_CONSUME);
        DecodeHtmlEntities(address);
        ReplaceAll(address, u"_mthumb", u"");
        entries.push_back({ResolveAddress(album.address, address),
                           FormatText(u"%s (%d)", {album.title, static_cast<std::int64_t>(j)})});
    }
    return entries;
}

}  // namespace lumora
