#include "settings/Ini.h"

#include <algorithm>
#include <vector>

#include "base/Trim.h"
#include "base/Utf16Le.h"
#include "settings/SettingsFile.h"
#include "text/StringCtrl.h"

namespace lumora {
namespace {

// Hand-edited settings are small; the rest of a larger file is not read.
constexpr std::size_t kMaxIniBytes = 1024 * 1024;

std::u16string DecodeIniBytes(const std::string& bytes) {
    if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF &&
        static_cast<unsigned char>(bytes[1]) == 0xFE) {
        return FromUtf16Le(std::string_view(bytes).substr(2));
    }
    if (bytes.starts_with("\xEF\xBB\xBF")) return Utf8ToWide(std::string_view(bytes).substr(3));
    // Pure ASCII reads the same either way; other text that is not UTF-8 is
    // taken as the first platform's ANSI code page.
    const bool ascii = std::all_of(bytes.begin(), bytes.end(), [](char c) { return (c & 0x80) == 0; });
    if (ascii || IsUtf8Text(bytes.data(), bytes.size())) return Utf8ToWide(bytes);
    return AnsiToWide(bytes);
}

bool SameName(std::u16string_view a, std::u16string_view b) {
    return ToLowerSimple(std::u16string(a)) == ToLowerSimple(std::u16string(b));
}

}  // namespace

std::u16string ReadIniFile(const std::filesystem::path& file) {
    const FileContents bytes = ReadRegularFile(file, kMaxIniBytes);
    return bytes && *bytes ? DecodeIniBytes(**bytes) : std::u16string();
}

std::u16string ReplaceIniSection(std::u16string_view text, std::u16string_view section, std::u16string_view lines) {
    std::u16string kept;
    bool inSection = false;
    for (std::size_t pos = 0; pos < text.size();) {
        std::size_t end = text.find(u'\n', pos);
        end = end == std::u16string_view::npos ? text.size() : end + 1;
        const std::u16string_view line = text.substr(pos, end - pos);
        pos = end;
        const std::u16string_view trimmed = TrimBlanks(line, u" \t\r\n");
        if (!trimmed.empty() && trimmed[0] == u'[') {
            const std::u16string_view name = trimmed.substr(1, trimmed.find(u']') - 1);
            inSection = SameName(TrimBlanks(name, kSpaceAndTab), section);
        }
        if (!inSection) kept += line;
    }
    if (!kept.empty() && kept.back() != u'\n') kept += u'\n';
    kept += u'[';
    kept += section;
    kept += u"]\n";
    kept += lines;
    return kept;
}

std::u16string CIni::ReadIniText(std::u16string_view section, std::u16string_view key,
                                 std::u16string_view defaultValue) const {
    const std::u16string fallback(defaultValue);
    if (section.empty() || key.empty()) return fallback;
    // Only a regular file is read, without blocking: a folder or a pipe under
    // the name is no INI file.
    const std::u16string text = ReadIniFile(file_);
    if (text.empty()) return fallback;

    bool inSection = false;
    for (std::size_t pos = 0; pos < text.size();) {
        std::size_t end = text.find_first_of(u"\r\n", pos);
        if (end == std::u16string::npos) end = text.size();
        const std::u16string_view line = TrimBlanks(std::u16string_view(text).substr(pos, end - pos), kSpaceAndTab);
        pos = end + 1;
        if (line.empty() || line[0] == u';' || line[0] == u'#') continue;
        if (line[0] == u'[') {
            const std::u16string_view name = line.substr(1, line.find(u']') - 1);
            inSection = SameName(TrimBlanks(name, kSpaceAndTab), section);
            continue;
        }
        const std::size_t equals = line.find(u'=');
        if (!inSection || equals == std::u16string_view::npos ||
            !SameName(TrimBlanks(line.substr(0, equals), kSpaceAndTab), key))
            continue;
        std::u16string_view value = TrimBlanks(line.substr(equals + 1), kSpaceAndTab);
        if (value.size() >= 2 && (value[0] == u'"' || value[0] == u'\'') && value.back() == value[0])
            value = value.substr(1, value.size() - 2);
        return std::u16string(value);
    }
    return fallback;
}

}  // namespace lumora
