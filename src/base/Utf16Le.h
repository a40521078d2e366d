// UTF-16LE bytes, as the marker, picture-name and INI files hold text.
#pragma once

#include <string>
#include <string_view>

namespace lumora {

// Two bytes per unit, low byte first; no byte-order mark.
std::string ToUtf16Le(const std::u16string& text);
// The units of `bytes` as they stand (a byte-order mark stays U+FEFF);
// an odd last byte is no unit and is dropped.
std::u16string FromUtf16Le(std::string_view bytes);

}  // namespace lumora
