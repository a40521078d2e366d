// The hand-edited "下载器扩展设置.ini" in the program folder: text encodings
// and picture-name rules meant for adapters of other site kinds.
#pragma once

#include <cstdint>
#include <filesystem>

namespace lumora {

inline constexpr const char* kExtensionSettingsFileName = "下载器扩展设置.ini";

// Encoding values: the same numbers as the page-text decoding flags.
enum ExtensionEncoding : std::uint8_t {
    kEncodingAnsi = 0,
    kEncodingUtf8 = 2,
    kEncodingBig5 = 8,
    kEncodingAuto = 16,
};

struct ExtensionSettings {
    std::uint8_t v2Encoding = kEncodingAnsi;  // [QQ空间] V2编码
    std::uint8_t v3Encoding = kEncodingAnsi;  // [QQ空间] V3编码
    bool nameHasPrice = false;                // [淘宝] 图片名中是否有价格
    std::uint32_t priceAdjust = 0;            // [淘宝] 价格增减, negative values modulo 2^32

    bool operator==(const ExtensionSettings&) const = default;
};

// Reads the file in `folder`; all zero when it is missing. Meant to be called
// at the start of every run, so edits take effect without a restart.
ExtensionSettings LoadExtensionSettings(const std::filesystem::path& folder);

}  // namespace lumora
