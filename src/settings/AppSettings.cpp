#include "settings/AppSettings.h"

#include <string>

#include "base/Trim.h"
#include "settings/Ini.h"
#include "settings/SettingsFile.h"
#include "text/StringCtrl.h"

namespace lumora {
namespace {

constexpr char16_t kSection[] = u"download";
constexpr char16_t kRetriesKey[] = u"retries";
constexpr char16_t kSkipSavedKey[] = u"skip-saved";
constexpr char16_t kSkipDeletedKey[] = u"skip-deleted";
constexpr char16_t kManifestKey[] = u"manifest";
constexpr char16_t kLimitRateKey[] = u"limit-rate";
constexpr char16_t kRequestDelayKey[] = u"request-delay";

// A whole decimal number, or -1.
long ReadNumber(const std::u16string& text) {
    if (text.empty() || text.size() > 6) return -1;
    long value = 0;
    for (char16_t c : text) {
        if (c < u'0' || c > u'9') return -1;
        value = value * 10 + (c - u'0');
    }
    return value;
}

// A whole number 0..max as typed, blanks around it allowed.
std::optional<unsigned> ParseUpTo(const std::u16string& text, unsigned max) {
    const std::u16string_view number = TrimBlanks(text, kSpaceAndTab);
    if (number.empty()) return std::nullopt;
    const long value = ReadNumber(std::u16string(number));
    if (value < 0 || value > static_cast<long>(max)) return std::nullopt;
    return static_cast<unsigned>(value);
}

// The key's number when it is one of 0..max, else `fallback`.
unsigned ReadUpTo(const CIni& ini, const char16_t* key, unsigned max, unsigned fallback) {
    const long value = ReadNumber(ini.ReadIniText(kSection, key));
    return value >= 0 && value <= static_cast<long>(max) ? static_cast<unsigned>(value) : fallback;
}

}  // namespace

std::optional<unsigned> ParseRetries(const std::u16string& text) { return ParseUpTo(text, kMaxRetries); }
std::optional<unsigned> ParseLimitRate(const std::u16string& text) { return ParseUpTo(text, kMaxLimitRateKB); }
std::optional<unsigned> ParseRequestDelay(const std::u16string& text) { return ParseUpTo(text, kMaxRequestDelayMs); }

AppSettings LoadAppSettings(const std::filesystem::path& folder) {
    const CIni ini(folder / kAppSettingsFileName);
    AppSettings settings;
    settings.retries = ReadUpTo(ini, kRetriesKey, kMaxRetries, settings.retries);
    settings.limitRateKB = ReadUpTo(ini, kLimitRateKey, kMaxLimitRateKB, 0);
    settings.requestDelayMs = ReadUpTo(ini, kRequestDelayKey, kMaxRequestDelayMs, 0);
    const long skip = ReadNumber(ini.ReadIniText(kSection, kSkipSavedKey));
    if (skip == 0 || skip == 1) settings.skipSaved = skip == 1;
    const long deleted = ReadNumber(ini.ReadIniText(kSection, kSkipDeletedKey));
    if (deleted == 0 || deleted == 1) settings.skipDeleted = deleted == 1;
    const long manifest = ReadNumber(ini.ReadIniText(kSection, kManifestKey));
    if (manifest == 0 || manifest == 1) settings.writeManifest = manifest == 1;
    return settings;
}

Result<void> SaveAppSettings(const std::filesystem::path& folder, const AppSettings& settings) {
    std::string lines = "retries=" + std::to_string(settings.retries) + "\n";
    lines += std::string("skip-saved=") + (settings.skipSaved ? "1" : "0") + "\n";
    lines += std::string("skip-deleted=") + (settings.skipDeleted ? "1" : "0") + "\n";
    lines += std::string("manifest=") + (settings.writeManifest ? "1" : "0") + "\n";
    lines += "limit-rate=" + std::to_string(settings.limitRateKB) + "\n";
    lines += "request-delay=" + std::to_string(settings.requestDelayMs) + "\n";
    return SaveAppSettingsSection(folder, kSection, Utf8ToWide(lines));
}

Result<void> SaveAppSettingsSection(const std::filesystem::path& folder, std::u16string_view section,
                                    std::u16string_view lines) {
    const std::filesystem::path file = folder / kAppSettingsFileName;
    std::u16string text = ReadIniFile(file);
    if (text.empty()) text = u"; Lumora's settings beside soft.dat\n";
    return WriteSettingsFile(file, WideToUtf8(ReplaceIniSection(text, section, lines)));
}

Result<void> ChangeAppSettings(const std::filesystem::path& folder, const std::function<void(AppSettings&)>& change) {
    const std::filesystem::path file = folder / kAppSettingsFileName;
    SettingsFileLock lock(file);
    // An unreadable file is left alone: its other settings would be lost.
    if (const FileContents read = ReadRegularFile(file, 0); !read) return read.failure();
    AppSettings settings = LoadAppSettings(folder);
    change(settings);
    return SaveAppSettings(folder, settings);
}

}  // namespace lumora
