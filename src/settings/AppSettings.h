// "lumora.ini" in the program folder: the settings that the fixed-size
// "soft.dat" block has no room for. Shared by the desktop program and the
// command line; a missing file or key gives the default.
#pragma once

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "base/Result.h"

namespace lumora {

inline constexpr const char* kAppSettingsFileName = "lumora.ini";

// Retries of a transient failure that a user may ask for, and the default.
inline constexpr unsigned kMaxRetries = 10;
inline constexpr unsigned kDefaultRetries = 3;
inline constexpr char16_t kRetriesField[] = u"失败重试次数(0~10)";

// One bandwidth limit for all transfers together, in KB (x 1024 bytes) a
// second, and the least pause between two requests to one host; 0: none.
inline constexpr unsigned kMaxLimitRateKB = 999999;
inline constexpr unsigned kMaxRequestDelayMs = 60000;
// The fields' names; their labels add "：".
inline constexpr char16_t kLimitRateField[] = u"限速(KB/s，0为不限)";
inline constexpr char16_t kRequestDelayField[] = u"请求间隔(毫秒)";

// The skip-saved switch as menu and command line name it. It reads the
// archive picture by picture, which "不下载以前下载过的图片" (the album
// folder's marker) does not: the two tips say how they differ.
inline constexpr char16_t kSkipSavedText[] = u"跳过下载记录中已保存的图片";
inline constexpr char16_t kSkipSavedTip[] = u"逐张查下载记录：记录中已保存、文件仍在原处的图片不再下载，其余照常下载";
inline constexpr char16_t kSkipDownloadedBeforeTip[] =
    u"按相册文件夹中的标记（pic.lumora）：读到上次完整下载时的第一张图片就停止，只下载在它之前新增的图片";

// A picture the archive recorded as saved and whose file is gone was deleted
// by the user: a queue run or a sync does not fetch it again.
inline constexpr char16_t kSkipDeletedText[] = u"不再下载已删除的图片";

// Each album folder gets "album.json", the album's own record (AlbumManifest.h).
inline constexpr char16_t kWriteManifestText[] = u"生成相册清单";

struct AppSettings {
    unsigned retries = kDefaultRetries;  // 0..kMaxRetries
    bool skipSaved = true;               // kSkipSavedText
    bool skipDeleted = false;            // kSkipDeletedText
    bool writeManifest = true;           // kWriteManifestText
    unsigned limitRateKB = 0;            // 0..kMaxLimitRateKB
    unsigned requestDelayMs = 0;         // 0..kMaxRequestDelayMs

    bool operator==(const AppSettings&) const = default;
};

// The retry count as the user typed it (blanks around it allowed): a whole
// number 0..kMaxRetries, or nothing, which the caller answers with "参数错误"
// and the field's name, kRetriesField.
std::optional<unsigned> ParseRetries(const std::u16string& text);
// The same for the limit (kLimitRateField) and the pause (kRequestDelayField).
std::optional<unsigned> ParseLimitRate(const std::u16string& text);
std::optional<unsigned> ParseRequestDelay(const std::u16string& text);

AppSettings LoadAppSettings(const std::filesystem::path& folder);
// Writes the download section anew (atomically); the file's other sections stay.
Result<void> SaveAppSettings(const std::filesystem::path& folder, const AppSettings& settings);
// Replaces one section of "lumora.ini" with `lines` (UTF-8 on the disk),
// keeping the rest of the file. The caller holds the file's lock when others
// may write it at the same time.
Result<void> SaveAppSettingsSection(const std::filesystem::path& folder, std::u16string_view section,
                                    std::u16string_view lines);
// Applies `change` to the settings as the file holds them now and saves
// them, under the file's lock, so that no process reverts another's change.
Result<void> ChangeAppSettings(const std::filesystem::path& folder, const std::function<void(AppSettings&)>& change);

}  // namespace lumora
