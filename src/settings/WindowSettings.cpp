#include "settings/WindowSettings.h"

#include <charconv>

#include "settings/AppSettings.h"
#include "settings/Ini.h"
#include "settings/SettingsFile.h"
#include "text/StringCtrl.h"

namespace lumora {
namespace {

constexpr char16_t kSection[] = u"window";
constexpr char16_t kSaveFolderKey[] = u"save-folder";
constexpr char16_t kGeometryKey[] = u"geometry";
constexpr char16_t kMaximizedKey[] = u"maximized";
constexpr char16_t kColumnsKey[] = u"columns";

// Whole numbers separated by commas; nothing when one of them is not.
std::optional<std::vector<int>> ReadNumbers(const std::u16string& text) {
    std::vector<int> numbers;
    const std::string bytes = WideToUtf8(text);
    const char* at = bytes.data();
    const char* end = at + bytes.size();
    while (at < end) {
        int value = 0;
        const auto [next, error] = std::from_chars(at, end, value);
        if (error != std::errc() || (next < end && *next != ',')) return std::nullopt;
        numbers.push_back(value);
        at = next + (next < end ? 1 : 0);
    }
    return numbers;
}

std::u16string JoinNumbers(const std::vector<int>& numbers) {
    std::string text;
    for (int n : numbers) text += (text.empty() ? "" : ",") + std::to_string(n);
    return Utf8ToWide(text);
}

}  // namespace

WindowSettings LoadWindowSettings(const std::filesystem::path& folder) {
    const CIni ini(folder / kAppSettingsFileName);
    WindowSettings settings;
    settings.saveFolder = ini.ReadIniText(kSection, kSaveFolderKey);
    if (auto numbers = ReadNumbers(ini.ReadIniText(kSection, kGeometryKey)); numbers && numbers->size() == 4) {
        const std::vector<int>& n = *numbers;
        if (n[2] > 0 && n[3] > 0) settings.geometry = WindowGeometry{n[0], n[1], n[2], n[3]};
    }
    settings.maximized = ini.ReadIniText(kSection, kMaximizedKey) == u"1";
    if (auto widths = ReadNumbers(ini.ReadIniText(kSection, kColumnsKey))) {
        for (int width : *widths) {
            if (width <= 0) return settings;  // a damaged list is no list
        }
        settings.columnWidths = std::move(*widths);
    }
    return settings;
}

Result<void> SaveWindowSettings(const std::filesystem::path& folder, const WindowSettings& settings) {
    std::u16string lines;
    // Quoted, so that blanks around the folder survive the reading; a line
    // break cannot be kept in a line and is left out.
    if (settings.saveFolder.find_first_of(u"\r\n") == std::u16string::npos) {
        lines += std::u16string(kSaveFolderKey) + u"=\"" + settings.saveFolder + u"\"\n";
    }
    if (settings.geometry) {
        const WindowGeometry& g = *settings.geometry;
        lines += std::u16string(kGeometryKey) + u"=" + JoinNumbers({g.x, g.y, g.width, g.height}) + u"\n";
    }
    lines += std::u16string(kMaximizedKey) + (settings.maximized ? u"=1\n" : u"=0\n");
    if (!settings.columnWidths.empty()) {
        lines += std::u16string(kColumnsKey) + u"=" + JoinNumbers(settings.columnWidths) + u"\n";
    }
    SettingsFileLock lock(folder / kAppSettingsFileName);
    return SaveAppSettingsSection(folder, kSection, lines);
}

}  // namespace lumora
