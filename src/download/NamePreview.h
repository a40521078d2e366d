// What the naming rules make of an album before anything is downloaded: the
// album's folder and the names of three sample pictures, two of which share
// a description and an address so that the collision numbering shows.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "settings/SettingsBlock.h"

namespace lumora {

// The album the preview names; a built-in example when the list has none.
struct NamePreviewAlbum {
    std::u16string title = u"春日花园";
    std::int32_t position = 0;    // 0-based, in the album list
    std::int32_t albumCount = 1;  // albums in the list
    std::u16string spaceName = u"示例空间/";
};

struct NamePreview {
    std::u16string folder;  // below the save folder, ends with "/"
    std::vector<std::u16string> files;
};

NamePreview PreviewNames(const NameRules& rules, const NamePreviewAlbum& album);

}  // namespace lumora
