// Cutting blanks off both ends of a text. Each caller names its own blanks:
// the settings files know only spaces and tabs, text typed into the window
// also the ideographic space.
#pragma once

#include <string_view>

namespace lumora {

// Spaces and tabs: what hand-edited settings files put around values.
inline constexpr std::u16string_view kSpaceAndTab = u" \t";

// `text` without the characters of `blanks` at either end.
std::u16string_view TrimBlanks(std::u16string_view text, std::u16string_view blanks);

}  // namespace lumora
