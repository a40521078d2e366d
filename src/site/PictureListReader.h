// An album's picture page turned into picture entries.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "site/SiteHost.h"

namespace lumora {

// Receives each picture entry in page order: full-size address (may be
// empty) and description "title (n)".
using PictureSink = std::function<void(const std::u16string& address, const std::u16string& description)>;

// Reads the album's picture page and hands over its pictures; stops as soon
// as the download state becomes 2 (album done) or 3 (run stopped).
void ReadPictureList(SiteHost& host, const ST_PERLISTRECORD& album, const PictureSink& addPicture);

struct PictureEntry {
    std::u16string address;  // full-size picture, resolved; may be empty
    std::u16string description;
};

// The picture entries of an album page's text, in page order, without fetching.
std::vector<PictureEntry> ParsePicturePage(const std::u16string& text, const ST_PERLISTRECORD& album);

}  // namespace lumora
