// UTF-16 units: surrogate pairs and how long text is in UTF-8, where file
// names are measured.
#pragma once

#include <cstddef>
#include <string>

namespace lumora {

constexpr bool IsHighSurrogate(char16_t c) { return c >= 0xD800 && c <= 0xDBFF; }
constexpr bool IsLowSurrogate(char16_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

// UTF-16 units of the character at `i`: 2 for a surrogate pair, else 1.
std::size_t CharUnits(const std::u16string& text, std::size_t i);

// UTF-8 bytes of the text; a lone surrogate is written as U+FFFD, three bytes.
std::size_t Utf8Length(const std::u16string& text);

// The longest start of `text` whose UTF-8 form takes at most `maxBytes`
// bytes, never splitting a surrogate pair: file names within the 255 bytes
// one path component may hold.
std::u16string CutToUtf8Bytes(const std::u16string& text, std::size_t maxBytes);

}  // namespace lumora
