// What the site rules in force find on a member's first album-list page and
// on the first album's page, rule by rule: when the site changed its markup,
// this names the marker that no longer matches.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace lumora {

class StopToken;

struct SiteCheckReport {
    std::vector<std::u16string> lines;  // "相册块标记 class=\"picbox\"：找到0处", ...
    std::u16string verdict;             // one line
    std::size_t albums = 0;             // found on the first list page
    std::size_t pictures = 0;           // found on the first album's page
    bool Passed() const { return albums > 0 && pictures > 0; }
};

// Reads the pages (with `retries` after passing failures) and reports.
SiteCheckReport CheckSite(const std::u16string& address, std::uint8_t retries,
                          std::shared_ptr<const StopToken> stop = nullptr);

}  // namespace lumora
