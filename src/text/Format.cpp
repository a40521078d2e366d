#include "text/Format.h"

#include <vector>

namespace lumora {
namespace {

std::u16string Digits(std::int64_t value, bool asUnsigned) {
    std::u16string digits;
    bool negative = false;
    std::uint64_t magnitude;
    if (asUnsigned) {
        magnitude = static_cast<std::uint32_t>(value);
    } else {
        negative = value < 0;
        magnitude = negative ? 0 - static_cast<std::uint64_t>(value) : static_cast<std::uint64_t>(value);
    }
    do {
        digits.insert(digits.begin(), static_cast<char16_t>(u'0' + magnitude % 10));
        magnitude /= 10;
    } while (magnitude > 0);
    if (negative) digits.insert(digits.begin(), u'-');
    return digits;
}

}  // namespace

std::u16string FormatText(const std::u16string& pattern, std::initializer_list<FormatArg> args) {
    std::vector<FormatArg> values(args);
    std::size_t next = 0;
    std::u16string out;
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        char16_t c = pattern[i];
        if (c != u'%' || i + 1 >= pattern.size()) {
            out += c;
            continue;
        }
        std::size_t j = i + 1;
        if (pattern[j] == u'%') {
            out += u'%';
            i = j;
            continue;
        }
        bool zeroPad = pattern[j] == u'0';
        std::size_t width = 0;
        while (j < pattern.size() && pattern[j] >= u'0' && pattern[j] <= u'9') width = width * 10 + (pattern[j++] - u'0');
        if (j >= pattern.size()) {
            out.append(pattern, i, std::u16string::npos);
            break;
        }
        char16_t kind = pattern[j];
        if (kind != u'd' && kind != u'u' && kind != u's') {
            out.append(pattern, i, j - i + 1);
            i = j;
            continue;
        }
        std::u16string piece;
        if (next < values.size()) {
            const FormatArg& arg = values[next++];
            if (const auto* number = std::get_if<std::int64_t>(&arg)) {
                piece = Digits(*number, kind == u'u');
            } else {
                piece = std::get<std::u16string>(arg);
            }
        }
        if (piece.size() < width) {
            std::size_t fill = width - piece.size();
            if (zeroPad && !piece.empty() && piece[0] == u'-') {
                piece.insert(1, fill, u'0');
            } else {
                piece.insert(0, fill, zeroPad ? u'0' : u' ');
            }
        }
        out += piece;
        i = j;
    }
    return out;
}

}  // namespace lumora
