#include "settings/WindowSettings.h"

#include <algorithm>
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

// The list windows, each under "<name>-geometry" and "<name>-columns".
struct ListWindowKeys {
    ListWindowState WindowSettings::*state;
    const char16_t* geometry;
    const char16_t* columns;
};
constexpr ListWindowKeys kListWindows[] = {
    {&WindowSettings::failures, u"failures-geometry", u"failures-columns"},
    {&WindowSettings::queue, u"queue-geometry", u"queue-columns"},
    {&WindowSettings::follows, u"follows-geometry", u"follows-columns"},
};

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

std::optional<WindowGeometry> ReadGeometry(const std::u16string& text) {
    const auto n = ReadNumbers(text);
    if (!n || n->size() != 4 || (*n)[2] <= 0 || (*n)[3] <= 0) return std::nullopt;
    return WindowGeometry{(*n)[0], (*n)[1], (*n)[2], (*n)[3]};
}

// A damaged list (a width that is no width) is no list.
std::vector<int> ReadWidths(const std::u16string& text) {
    auto widths = ReadNumbers(text);
    if (!widths || std::any_of(widths->begin(), widths->end(), [](int width) { return width <= 0; })) return {};
    return std::move(*widths);
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
    settings.geometry = ReadGeometry(ini.ReadIniText(kSection, kGeometryKey));
    settings.maximized = ini.ReadIniText(kSection, kMaximizedKey) == u"1";
    settings.columnWidths = ReadWidths(ini.ReadIniText(kSection, kColumnsKey));
    for (const ListWindowKeys& keys : kListWindows) {
        ListWindowState& state = settings.*keys.state;
        state.geometry = ReadGeometry(ini.ReadIniText(kSection, keys.geometry));
        state.columnWidths = ReadWidths(ini.ReadIniText(kSection, keys.columns));
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
    const auto addGeometry = [&lines](const char16_t* key, const std::optional<WindowGeometry>& geometry) {
        if (!geometry) return;
        const WindowGeometry& g = *geometry;
        lines += std::u16string(key) + u"=" + JoinNumbers({g.x, g.y, g.width, g.height}) + u"\n";
    };
    const auto addWidths = [&lines](const char16_t* key, const std::vector<int>& widths) {
        if (!widths.empty()) lines += std::u16string(key) + u"=" + JoinNumbers(widths) + u"\n";
    };
    addGeometry(kGeometryKey, settings.geometry);
    lines += std::u16string(kMaximizedKey) + (settings.maximized ? u"=1\n" : u"=0\n");
    addWidths(kColumnsKey, settings.columnWidths);
    for (const ListWindowKeys& keys : kListWindows) {
        addGeometry(keys.geometry, (settings.*keys.state).geometry);
        addWidths(keys.columns, (settings.*keys.state).columnWidths);
    }
    SettingsFileLock lock(folder / kAppSettingsFileName);
    return SaveAppSettingsSection(folder, kSection, lines);
}

}  // namespace lumora
