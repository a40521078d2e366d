// Saving pictures and cover previews to files.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>

#include "web/Fetch.h"

namespace lumora {

// A picture entry holds one address, or two separated by CR LF: the second
// is tried when the first gives no bytes.
struct PictureAddresses {
    std::u16string first;
    std::u16string second;
};
PictureAddresses SplitPictureEntry(const std::u16string& entry);

// Fetches the entry's first address into request.savePath; when the body
// comes back empty, the second address with the same request. True when a
// file was written.
bool DownloadToFile(FetchRequest& request, FetchResult& result, const std::u16string& entry);

// Fetches a cover preview into `file` (the album grid's thumbnail source),
// trying transient failures again `retries` times unless `stop` is raised.
bool DownloadPreviewImage(const std::u16string& address, const std::filesystem::path& file, std::uint8_t retries = 0,
                          std::shared_ptr<const StopToken> stop = nullptr);

}  // namespace lumora
