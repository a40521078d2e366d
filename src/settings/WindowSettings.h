// The desktop window's state in "lumora.ini" (section [window]): the save
// folder as last typed or chosen, the window's place and size, the album
// table's column widths, the list windows' places, sizes and columns. Kept at once when they change (the folder) or when
// the window closes (the rest), restored at the next start.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "base/Result.h"

namespace lumora {

struct WindowGeometry {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
    bool operator==(const WindowGeometry&) const = default;
};

// A list window's place and size and its table's column widths.
struct ListWindowState {
    std::optional<WindowGeometry> geometry;
    std::vector<int> columnWidths;
    bool operator==(const ListWindowState&) const = default;
};

struct WindowSettings {
    std::u16string saveFolder;               // empty: none kept
    std::optional<WindowGeometry> geometry;  // the normal (not maximised) place and size
    bool maximized = false;
    std::vector<int> columnWidths;  // of the album table in list mode, in pixels
    ListWindowState failures;       // "失败的图片"
    ListWindowState queue;          // "下载队列"
    ListWindowState follows;        // "关注的空间"

    bool operator==(const WindowSettings&) const = default;
};

WindowSettings LoadWindowSettings(const std::filesystem::path& folder);
// Writes the window section under the file's lock; the other sections stay.
Result<void> SaveWindowSettings(const std::filesystem::path& folder, const WindowSettings& settings);

}  // namespace lumora
