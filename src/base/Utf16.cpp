#include "base/Utf16.h"

namespace lumora {
namespace {

// UTF-8 bytes of the character at `i`.
std::size_t CharBytes(const std::u16string& text, std::size_t i) {
    const char16_t c = text[i];
    if (c < 0x80) return 1;
    if (c < 0x800) return 2;
    return CharUnits(text, i) == 2 ? 4 : 3;
}

}  // namespace

std::size_t CharUnits(const std::u16string& text, std::size_t i) {
    return IsHighSurrogate(text[i]) && i + 1 < text.size() && IsLowSurrogate(text[i + 1]) ? 2 : 1;
}

std::size_t Utf8Length(const std::u16string& text) {
    std::size_t bytes = 0;
    for (std::size_t i = 0; i < text.size(); i += CharUnits(text, i)) bytes += CharBytes(text, i);
    return bytes;
}

std::u16string CutToUtf8Bytes(const std::u16string& text, std::size_t maxBytes) {
    std::size_t bytes = 0;
    std::size_t units = 0;
    while (units < text.size()) {
        const std::size_t size = CharBytes(text, units);
        if (bytes + size > maxBytes) break;
        bytes += size;
        units += CharUnits(text, units);
    }
    return text.substr(0, units);
}

}  // namespace lumora
