#include "settings/ExtensionSettings.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>

#include "settings/Ini.h"

namespace lumora {
namespace {

// First word the value begins with, exact case, in this order; else ANSI.
std::uint8_t EncodingOf(const std::u16string& value) {
    static constexpr std::pair<std::u16string_view, ExtensionEncoding> kWords[] = {
        {u"UTF8", kEncodingUtf8}, {u"ANSI", kEncodingAnsi}, {u"AUTO", kEncodingAuto}, {u"BIG5", kEncodingBig5}};
    for (const auto& [word, encoding] : kWords)
        if (value.starts_with(word)) return encoding;
    return kEncodingAnsi;
}

// Like strtoul in base 10: blanks, one sign, digits up to the first other
// character; a minus negates modulo 2^32, a value too large for 32 bits
// gives the largest one.
std::uint32_t ReadUnsigned32(std::u16string_view text) {
    std::size_t i = 0;
    while (i < text.size() && (text[i] == u' ' || (text[i] >= u'\t' && text[i] <= u'\r'))) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == u'+' || text[i] == u'-')) negative = text[i++] == u'-';
    std::uint64_t value = 0;
    for (; i < text.size() && text[i] >= u'0' && text[i] <= u'9'; ++i) {
        value = value * 10 + (text[i] - u'0');
        if (value > UINT32_MAX) return UINT32_MAX;
    }
    const auto result = static_cast<std::uint32_t>(value);
    return negative ? 0u - result : result;
}

}  // namespace

ExtensionSettings LoadExtensionSettings(const std::filesystem::path& folder) {
    ExtensionSettings settings;
    const std::filesystem::path file = folder / kExtensionSettingsFileName;
    std::error_code error;
    if (!std::filesystem::exists(file, error)) return settings;
    const CIni ini(file);
    settings.v2Encoding = EncodingOf(ini.ReadIniText(u"QQ空间", u"V2编码", u"ANSI"));
    settings.v3Encoding = EncodingOf(ini.ReadIniText(u"QQ空间", u"V3编码", u"ANSI"));
    settings.nameHasPrice = ini.ReadIniText(u"淘宝", u"图片名中是否有价格", u"无").starts_with(u"有");
    const std::u16string price = ini.ReadIniText(u"淘宝", u"价格增减");
    settings.priceAdjust = ReadUnsigned32(std::u16string_view(price).substr(0, 64));
    return settings;
}

}  // namespace lumora
