// printf-style formatting of UTF-16 texts for status lines and names.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <variant>

namespace lumora {

using FormatArg = std::variant<std::int64_t, std::u16string>;

// Supports %d, %u, %0Nd / %0Nu (zero-padded), %Nd / %Nu (space-padded), %s
// and %%. Arguments are used in order; a missing argument formats as nothing.
std::u16string FormatText(const std::u16string& pattern, std::initializer_list<FormatArg> args);

}  // namespace lumora
