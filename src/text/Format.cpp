#include "text/Format.h"

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

// The flags and width of one conversion, "%05d" giving zeroPad and 5.
struct Conversion {
    bool zeroPad = false;
    std::size_t width = 0;
    std::size_t letter = 0;  // index of the conversion letter in the pattern
};

bool IsDigit(char16_t c) { return c >= u'0' && c <= u'9'; }

bool IsConversionLetter(char16_t c) { return c == u'd' || c == u'u' || c == u's'; }

// Reads what follows the '%' at `percent`; false when the pattern ends before a letter.
bool ReadConversion(const std::u16string& pattern, std::size_t percent, Conversion& conversion) {
    std::size_t j = percent + 1;
    conversion.zeroPad = pattern[j] == u'0';
    while (j < pattern.size() && IsDigit(pattern[j])) conversion.width = conversion.width * 10 + (pattern[j++] - u'0');
    conversion.letter = j;
    return j < pattern.size();
}

// A number under %s prints as %d would, a text under %d as it is: callers
// mix them up and the text should still read.
std::u16string ArgumentText(const FormatArg& arg, char16_t letter) {
    if (const auto* number = std::get_if<std::int64_t>(&arg)) return Digits(*number, letter == u'u');
    return std::get<std::u16string>(arg);
}

// Zeros go after a minus sign, as printf puts them.
void PadToWidth(std::u16string& piece, const Conversion& conversion) {
    if (piece.size() >= conversion.width) return;
    const std::size_t fill = conversion.width - piece.size();
    if (conversion.zeroPad && !piece.empty() && piece[0] == u'-') {
        piece.insert(1, fill, u'0');
    } else {
        piece.insert(0, fill, conversion.zeroPad ? u'0' : u' ');
    }
}

}  // namespace

std::u16string FormatText(const std::u16string& pattern, std::initializer_list<FormatArg> args) {
    const FormatArg* nextArg = args.begin();
    std::u16string out;
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        if (pattern[i] != u'%' || i + 1 >= pattern.size()) {
            out += pattern[i];
            continue;
        }
        if (pattern[i + 1] == u'%') {
            out += u'%';
            ++i;
            continue;
        }
        Conversion conversion;
        if (!ReadConversion(pattern, i, conversion)) {
            out.append(pattern, i, std::u16string::npos);
            break;
        }
        const char16_t letter = pattern[conversion.letter];
        if (IsConversionLetter(letter)) {
            // A missing argument still takes its width.
            std::u16string piece = nextArg != args.end() ? ArgumentText(*nextArg++, letter) : std::u16string();
            PadToWidth(piece, conversion);
            out += piece;
        } else {
            // Not ours to read: left in the text as written.
            out.append(pattern, i, conversion.letter - i + 1);
        }
        i = conversion.letter;
    }
    return out;
}

}  // namespace lumora
