#include "web/FileDownload.h"

#include "text/StringCtrl.h"

namespace lumora {
namespace {

constexpr std::uint32_t kPreviewTimeoutMs = 20000;

}  // namespace

PictureAddresses SplitPictureEntry(const std::u16string& entry) {
    std::size_t at = entry.find(u"\r\n");
    if (at == std::u16string::npos) return {entry, {}};
    return {entry.substr(0, at), entry.substr(at + 2)};
}

bool DownloadToFile(FetchRequest& request, FetchResult& result, const std::u16string& entry) {
    PictureAddresses addresses = SplitPictureEntry(entry);
    request.url = addresses.first;
    bool saved = FetchPage(request, result, FETCH_INFLATE | FETCH_CACHED);
    if (result.bodySize == 0) {
        request.url = addresses.second;
        FetchResult retry;
        bool savedRetry = FetchPage(request, retry, FETCH_INFLATE | FETCH_CACHED);
        // Without a second address the first attempt tells why nothing was saved.
        if (savedRetry || (!saved && !addresses.second.empty())) {
            result = std::move(retry);
            saved = savedRetry;
        }
    }
    return saved;
}

bool DownloadPreviewImage(const std::u16string& address, const std::filesystem::path& file, std::uint8_t retries,
                          std::shared_ptr<const StopToken> stop) {
    FetchRequest request(address, Utf8ToWide(file.string()), kPreviewTimeoutMs);
    request.retries = retries;
    request.stop = std::move(stop);
    FetchResult result;
    return FetchPage(request, result, FETCH_INFLATE | FETCH_CACHED);
}

}  // namespace lumora
