// An album's picture page turned into picture entries, without fetching.
#pragma once

#include <string>
#include <vector>

#include "site/AlbumRecord.h"
#include "site/SiteRules.h"

namespace lumora {

struct PictureEntry {
    std::u16string address;  // full-size picture, resolved; may be empty
    std::u16string description;
};

// The picture entries of an album page's text (entities not yet decoded),
// in page order: full-size address and description "title (n)".
std::vector<PictureEntry> ParsePicturePage(const std::u16string& text, const ST_PERLISTRECORD& album,
                                           const SiteRules& rules = BuiltInRules());

}  // namespace lumora
