// Reading an album's picture page through the site's adapter, for the
// download run.
#pragma once

#include <functional>
#include <future>
#include <map>
#include <memory>
#include <string>

#include "app/SiteHost.h"
#include "web/Fetch.h"

namespace lumora {

// Receives each picture entry in page order: full-size address (may be
// empty) and description "title (n)".
using PictureSink = std::function<void(const std::u16string& address, const std::u16string& description)>;

// Fetches albums' picture pages on threads of their own, so that each is
// there when its album's turn comes. Destroying it waits for the fetches.
class PicturePageAhead {
public:
    // Starts fetching `address`, unless it is on its way already.
    void Start(const std::u16string& address, std::uint8_t retries, std::shared_ptr<const StopToken> stop);
    // Moves the page started for `address` into `result` once fetched, with
    // `fetched` as the fetch returned; false when no page was started for it.
    bool Take(const std::u16string& address, bool& fetched, FetchResult& result);
    // Pages started and not taken yet.
    std::size_t pending() const { return fetches_.size(); }

private:
    std::map<std::u16string, std::future<std::pair<bool, FetchResult>>> fetches_;
};

// Reads the album's picture page (from `ahead` when it holds that page) and
// hands over its pictures; stops as soon as the download state becomes 2
// (album done) or 3 (run stopped).
PageRead ReadPictureList(SiteHost& host, const SiteAdapter& adapter, const ST_PERLISTRECORD& album,
                         const PictureSink& addPicture, PicturePageAhead* ahead = nullptr);

}  // namespace lumora
