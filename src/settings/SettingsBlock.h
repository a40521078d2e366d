// All per-site settings and the two histories of the main window, held in
// one fixed-size block that "soft.dat" stores as a raw little-endian image.
// The image is built and taken apart field by field, never by copying the
// structs, so the file is the same on every compiler and platform.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace lumora {

// The only site index this program works with; all 24 records are kept anyway.
inline constexpr std::size_t kCurrentSite = 14;
inline constexpr std::size_t kSiteRecords = 24;

// Per-site option bits (NameRules::optionFlags), switched from the menu.
enum OptionFlag : std::uint16_t {
    kOptFixPictureFormat = 0x0001,             // "修正图片格式": extensions by content
    kOptFixPictureOrder = 0x0002,              // "修正图片顺序": file times in album order
    kOptWriteNameFile = 0x0004,                // "生成图片原始名文件"
    kOptListFileOnly = 0x0008,                 // "只生成迅雷下载列表": list file, no download
    kOptOpenFolderWhenDone = 0x0010,           // "下载完成后打开保存路径"
    kOptItemMainPicturesOnly = 0x0020,         // site 11 only; excludes 0x0100
    kOptSkipDownloadedBefore = 0x0040,         // "不下载以前下载过的图片"
    kOptLargePictures = 0x0080,                // site 7 only
    kOptItemDescriptionPicturesOnly = 0x0100,  // site 11 only; excludes 0x0020
};

// One site's download parameters (8 bytes in the image).
struct DownloadParams {
    std::uint16_t minKB = 0;           // 0 = no minimum
    std::uint16_t maxKB = 0;           // 0 = no maximum
    std::uint16_t threadCount = 0;     // 1..15 once repaired
    std::uint16_t timeoutSeconds = 0;  // 10 and more once repaired

    bool operator==(const DownloadParams&) const = default;
};

inline constexpr std::size_t kNameTextUnits = 40;
// What the file-name dialog keeps of each text, leaving room for the NUL.
inline constexpr std::size_t kNameTextMaxChars = 38;
using NameText = std::array<char16_t, kNameTextUnits>;

// One site's file and folder naming rules (484 bytes in the image).
struct NameRules {
    NameText filePrefix{};
    NameText fileSuffix{};
    NameText replaceWhat{};  // "|"-separated pieces
    NameText replaceWith{};  // "|"-separated pieces
    NameText folderPrefix{};
    NameText folderSuffix{};
    std::uint16_t optionFlags = 0;    // OptionFlag bits
    std::uint8_t baseNameChoice = 0;  // 0 description, 1 number, 2 address; others act as 1
    std::uint8_t folderChoice = 0;    // 0 album name, anything else none

    bool operator==(const NameRules&) const = default;
};

inline constexpr std::size_t kHistoryEntries = 5;
inline constexpr std::size_t kHistoryUnits = 400;
using HistoryEntry = std::array<char16_t, kHistoryUnits>;

enum class HistoryKind : int { Address = 0, SaveFolder = 1 };

struct SettingsBlock {
    std::array<DownloadParams, kSiteRecords> downloadParams{};
    std::array<NameRules, kSiteRecords> nameRules{};
    std::array<HistoryEntry, kHistoryEntries> addressHistory{};     // newest first
    std::array<HistoryEntry, kHistoryEntries> saveFolderHistory{};  // newest first

    bool operator==(const SettingsBlock&) const = default;
};

// Byte layout of the image.
inline constexpr std::size_t kDownloadParamsSize = 8;
inline constexpr std::size_t kNameRulesSize = 484;
inline constexpr std::size_t kNameRulesOffset = kSiteRecords * kDownloadParamsSize;                     // 192
inline constexpr std::size_t kAddressHistoryOffset = kNameRulesOffset + kSiteRecords * kNameRulesSize;  // 11808
inline constexpr std::size_t kHistorySize = kHistoryEntries * kHistoryUnits * 2;                        // 4000
inline constexpr std::size_t kSaveFolderHistoryOffset = kAddressHistoryOffset + kHistorySize;           // 15808
inline constexpr std::size_t kSettingsBlockSize = kSaveFolderHistoryOffset + kHistorySize;              // 19808

std::vector<std::uint8_t> SerializeSettings(const SettingsBlock& block);
// Takes up to kSettingsBlockSize bytes; whatever is missing stays zero, the
// rest is ignored. Nothing is validated here.
SettingsBlock ParseSettings(std::span<const std::uint8_t> bytes);

// Text of a fixed field: up to its first NUL, or the whole field if it has none.
std::u16string FixedFieldText(std::span<const char16_t> field);
// Stores at most `maxChars` units (never the whole field, so a NUL always
// follows) and zeroes the rest of the field. The text ends at its first NUL.
void SetFixedFieldText(std::span<char16_t> field, std::u16string_view text, std::size_t maxChars);

inline std::u16string FieldText(const NameText& field) { return FixedFieldText(field); }
inline void SetFieldText(NameText& field, std::u16string_view text) {
    SetFixedFieldText(field, text, kNameTextMaxChars);
}

// Copies into `target` only what changed from `before` to `after`: whole
// fields, and single bits of the option flags, so that a change made by
// another process to the other fields (or bits) in the meantime stays.
void MergeChanges(NameRules& target, const NameRules& before, const NameRules& after);
void MergeChanges(DownloadParams& target, const DownloadParams& before, const DownloadParams& after);

// History entry `index` (0 = newest) of either kind; empty for an index out of range.
std::u16string HistoryText(const SettingsBlock& block, HistoryKind kind, std::size_t index);
void SetHistoryText(SettingsBlock& block, HistoryKind kind, std::size_t index, std::u16string_view text);

// Puts `text` at the top of history `kind` (0 address, 1 save folder), moving
// every entry down one place and dropping the fifth. Returns false, changing
// nothing, for a text of 400 or more units, an empty text, another kind, or
// a text that an entry already holds ignoring case.
bool AddToHistory(SettingsBlock& block, int kind, const std::u16string& text);

// The check of the download-parameter dialog. Each text is read as a signed
// decimal number (no digits: 0) and must lie in its field's range: threads
// 1..15, time-out 10..65535 s, minimum and maximum 0..65535 KB, and a minimum
// no larger than a maximum other than 0 (no limit). Stores the four values
// only when all pass; otherwise leaves `params` as it was and returns the
// message to show: "参数错误" and, beside it, what was wrong.
inline constexpr char16_t kParamErrorMessage[] = u"参数错误";
std::u16string ParamErrorText(std::u16string_view what);
std::optional<std::u16string> ApplyDownloadParamsInput(DownloadParams& params, const std::u16string& threadsText,
                                                       const std::u16string& timeoutText, const std::u16string& minText,
                                                       const std::u16string& maxText);

}  // namespace lumora
