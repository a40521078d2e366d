#include "base/Trim.h"

namespace lumora {

std::u16string_view TrimBlanks(std::u16string_view text, std::u16string_view blanks) {
    const std::size_t begin = text.find_first_not_of(blanks);
    if (begin == std::u16string_view::npos) return {};
    return text.substr(begin, text.find_last_not_of(blanks) - begin + 1);
}

}  // namespace lumora
