// Entity decoding, marker-based cutting and splitting, list replacement and
// file-name cleaning. The code-page conversions live in CodePage.cpp.
//
// Every find here sees the searched text only up to its first NUL unit, the
// way the page parsers have always treated page text; replacements and the
// parts that are kept or dropped use the whole text.

#include "text/StringCtrl.h"

#include <algorithm>
#include <ctime>

namespace lumora {
namespace {

using View = std::u16string_view;

// The part of `text` that finds see: up to its first NUL unit.
View Visible(View text) { return text.substr(0, text.find(u'\0')); }

// Position of the first `what` in `text` before its first NUL unit, or -1.
// An empty `what` is found at 0.
std::ptrdiff_t Find(View text, View what) {
    const auto pos = Visible(text).find(what);
    return pos == View::npos ? -1 : static_cast<std::ptrdiff_t>(pos);
}

// White space for trimming names. Fixed here rather than taken from the
// process locale, so names come out the same everywhere: ASCII white space,
// NEL, no-break space, the Unicode space separators (U+1680, U+2000-U+200A,
// U+202F, U+205F, the ideographic space U+3000), the line and paragraph
// separators, and the byte-order mark that editors leave at the start of
// pasted text.
bool IsSpace(char16_t c) {
    return c == u' ' || (c >= 0x09 && c <= 0x0D) || c == 0x85 || c == 0xA0 || c == 0x1680 ||
           (c >= 0x2000 && c <= 0x200A) || c == 0x2028 || c == 0x2029 || c == 0x202F || c == 0x205F || c == 0x3000 ||
           c == 0xFEFF;
}

void Trim(std::u16string& text) {
    std::size_t end = text.size();
    while (end > 0 && IsSpace(text[end - 1])) --end;
    std::size_t begin = 0;
    while (begin < end && IsSpace(text[begin])) ++begin;
    text = text.substr(begin, end - begin);
}

std::u16string LocalTimeStamp() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
#ifdef _WIN32
    localtime_s(&local, &now);
#else
    localtime_r(&now, &local);
#endif
    char buffer[32];
    const std::size_t n = std::strftime(buffer, sizeof buffer, "%Y%m%d%H%M%S", &local);
    return std::u16string(buffer, buffer + n);
}

std::u16string Ascii(const std::string& s) { return std::u16string(s.begin(), s.end()); }

void ReplaceDotsOnly(std::u16string& text) {
    if (!text.empty() && text.find_first_not_of(u'.') == std::u16string::npos) {
        text.assign(text.size(), u'\u3002');
    }
}

// The code point of a numeric reference whose digits start at `at`
// (after "&#" or "&#x"), and where its ";" stands; 0 when there is no
// usable one: no digits, no ";", zero, a surrogate or beyond U+10FFFF.
char32_t ReferencedCodePoint(View text, std::size_t at, bool hex, std::size_t& semicolon) {
    char32_t value = 0;
    std::size_t i = at;
    for (; i < text.size(); ++i) {
        const char16_t c = text[i];
        unsigned digit;
        if (c >= u'0' && c <= u'9') {
            digit = c - u'0';
        } else if (hex && c >= u'a' && c <= u'f') {
            digit = c - u'a' + 10;
        } else if (hex && c >= u'A' && c <= u'F') {
            digit = c - u'A' + 10;
        } else {
            break;
        }
        value = value * (hex ? 16 : 10) + digit;
        if (value > 0x10FFFF) return 0;  // before it can overflow
    }
    if (i == at || i >= text.size() || text[i] != u';') return 0;
    if (value == 0 || (value >= 0xD800 && value <= 0xDFFF)) return 0;
    semicolon = i;
    return value;
}

// "&#40;", "&#x27;", "&#X1F600;" as their characters (a pair of surrogates
// above U+FFFF). What names no character stays as written.
void DecodeNumericReferences(std::u16string& text) {
    std::size_t at = text.find(u"&#");
    if (at == std::u16string::npos) return;
    std::u16string out;
    out.reserve(text.size());
    std::size_t from = 0;
    for (; at != std::u16string::npos; at = text.find(u"&#", at)) {
        std::size_t digits = at + 2;
        const bool hex = digits < text.size() && (text[digits] == u'x' || text[digits] == u'X');
        if (hex) ++digits;
        std::size_t semicolon = 0;
        const char32_t code = ReferencedCodePoint(text, digits, hex, semicolon);
        if (code == 0) {
            at += 2;
            continue;
        }
        out.append(text, from, at - from);
        if (code > 0xFFFF) {
            out.push_back(static_cast<char16_t>(0xD800 + ((code - 0x10000) >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + ((code - 0x10000) & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(code));
        }
        from = at = semicolon + 1;
    }
    out.append(text, from);
    text = std::move(out);
}

}  // namespace

void DecodeHtmlEntities(std::u16string& text) {
    // The order matters: "&amp;" comes second, so "&amp;lt;" ends as "<"
    // while "&amp;quot;" ends as "&quot;". Pages and stored names rely on it.
    static const struct {
        const char16_t* entity;
        const char16_t* replacement;
    } kEntities[] = {
        {u"&quot;", u"\""}, {u"&amp;", u"&"},         {u"&lt;", u"<"},  {u"&gt;", u">"},
        {u"&nbsp;", u" "},  {u"&hellip;", u"\u2026"}, {u"&#39;", u"'"},
    };
    for (const auto& e : kEntities) ReplaceAll(text, e.entity, e.replacement);
    DecodeNumericReferences(text);
}

// Both walk the text once: the NUL that ends what finds see is looked up
// once, not again for every piece, so a page of many blocks splits in time
// proportional to its length.
std::size_t CountOccurrences(const std::u16string& text, const std::u16string& separator) {
    if (separator.empty()) return 0;
    const View visible = Visible(text);
    std::size_t count = 0;
    for (std::size_t from = 0; (from = visible.find(separator, from)) != View::npos; ++count) {
        from += separator.size();
    }
    return count;
}

void SplitByCount(const std::u16string& text, const std::u16string& separator, std::size_t count, StringArray& pieces) {
    pieces.clear();
    const View whole = text;
    const View visible = Visible(whole);
    std::size_t start = 0;
    for (std::size_t i = 0; i <= count; ++i) {
        const std::size_t pos = separator.empty() ? View::npos : visible.find(separator, start);
        if (pos == View::npos) {
            pieces.emplace_back(whole.substr(start));
            continue;
        }
        pieces.emplace_back(whole.substr(start, pos - start));
        start = pos + separator.size();
    }
}

std::size_t SplitText(StringArray& pieces, const std::u16string& text, const std::u16string& separator) {
    pieces.clear();
    const std::size_t count = CountOccurrences(text, separator);
    if (count > 0) SplitByCount(text, separator, count, pieces);
    return count;
}

std::u16string ExtractBetween(std::u16string& text, const std::u16string& begin, const std::u16string& end,
                              unsigned flags) {
    std::u16string result;
    const std::ptrdiff_t at = Find(text, begin);
    if (at < 0) return result;  // the caller's text stays as it is
    View rest = View(text).substr(static_cast<std::size_t>(at) + begin.size());
    if (flags & EXTRACT_OPEN_END) result = rest;
    const std::ptrdiff_t stop = Find(rest, end);
    if (stop >= 0) result = rest.substr(0, static_cast<std::size_t>(stop));
    // Only the begin marker is consumed, so the next field's search starts
    // inside this field's value.
    if (flags & EXTRACT_CONSUME) text = std::u16string(rest);
    return result;
}

std::ptrdiff_t CutBefore(std::u16string& text, const std::u16string& marker, bool dropMarker) {
    const std::ptrdiff_t pos = Find(text, marker);
    if (pos >= 0) text.erase(0, static_cast<std::size_t>(pos) + (dropMarker ? marker.size() : 0));
    return pos;
}

std::ptrdiff_t KeepBefore(std::u16string& text, const std::u16string& marker) {
    const std::ptrdiff_t pos = Find(text, marker);
    if (pos >= 0) text.resize(static_cast<std::size_t>(pos));
    return pos;
}

std::size_t ReplaceAll(std::u16string& text, const std::u16string& what, const std::u16string& with) {
    if (what.empty()) return 0;
    std::size_t pos = text.find(what);
    if (pos == std::u16string::npos) return 0;
    std::u16string out;
    out.reserve(text.size());
    std::size_t from = 0, count = 0;
    for (; pos != std::u16string::npos; pos = text.find(what, from), ++count) {
        out.append(text, from, pos - from).append(with);
        from = pos + what.size();
    }
    out.append(text, from);
    text = std::move(out);
    return count;
}

void ReplaceByLists(std::u16string& text, const std::u16string& searchList, const std::u16string& replaceList) {
    const std::u16string sep = u"|";
    const std::size_t count = CountOccurrences(searchList, sep);
    if (count != CountOccurrences(replaceList, sep)) {
        // Lists that do not pair up are taken literally, bars included.
        ReplaceAll(text, searchList, replaceList);
        return;
    }
    StringArray search, replace;
    SplitByCount(searchList, sep, count, search);
    SplitByCount(replaceList, sep, count, replace);
    // Each pair works on the result of the one before, so replacements chain.
    for (std::size_t i = 0; i <= count; ++i) ReplaceAll(text, search[i], replace[i]);
}

bool IsUtf8Text(const void* bytes, std::uint64_t length) {
    const auto* p = static_cast<const unsigned char*>(bytes);
    unsigned expected = 0;
    bool allAscii = true;
    for (std::uint64_t i = 0; i < length; ++i) {
        const unsigned char b = p[i];
        if (b >= 0x80) allAscii = false;
        if (expected > 0) {
            if (b < 0x80 || b > 0xBF) return false;
            --expected;
        } else if (b >= 0xFC && b <= 0xFD) {
            expected = 5;
        } else if (b >= 0xF8) {  // 0xF8-0xFB, and also 0xFE and 0xFF
            expected = 4;
        } else if (b >= 0xF0) {
            expected = 3;
        } else if (b >= 0xE0) {
            expected = 2;
        } else if (b >= 0xC0) {
            expected = 1;
        } else if (b >= 0x80) {
            return false;  // a continuation byte with nothing to continue
        }
    }
    return expected == 0 && !allAscii;
}

void CleanFileName(std::u16string& text, unsigned fallbackIndex, bool useFallback) {
    DecodeHtmlEntities(text);
    while (ReplaceAll(text, u"  ", u" ") > 0) {
    }
    Trim(text);

    // A name of dots alone would vanish below (and "." or ".." name no new
    // file), so it is kept readable with ideographic full stops.
    ReplaceDotsOnly(text);

    static const std::u16string kForbidden = u"\r\n\\/:*?<>|\a\"";
    std::u16string kept;
    kept.reserve(text.size());
    for (char16_t c : text) {
        if (c == u'\t') {
            kept.push_back(u'_');
        } else if (kForbidden.find(c) == std::u16string::npos) {
            kept.push_back(c);
        }
    }
    text = std::move(kept);

    const auto last = text.find_last_not_of(u'.');
    text.resize(last == std::u16string::npos ? 0 : last + 1);
    text.erase(0, std::min(text.find_first_not_of(u'.'), text.size()));
    Trim(text);
    // Blanks between dots (". .. .") hide dots from the first test until the
    // outer ones are gone; the result must never be "." or "..".
    ReplaceDotsOnly(text);

    if (useFallback && (text.empty() || text.size() >= 1000)) {
        text = fallbackIndex == kTimeStampFallback ? LocalTimeStamp() : u"pic" + Ascii(std::to_string(fallbackIndex));
    }
}

std::u16string ToLowerSimple(const std::u16string& text) {
    std::u16string out(text);
    for (char16_t& c : out) {
        if ((c >= u'A' && c <= u'Z') || (c >= 0xC0 && c <= 0xDE && c != 0xD7) ||
            (c >= 0x391 && c <= 0x3AB && c != 0x3A2) || (c >= 0x410 && c <= 0x42F) || (c >= 0xFF21 && c <= 0xFF3A)) {
            c += 0x20;  // ASCII, Latin-1, Greek, Cyrillic and full-width Latin
        } else if (c >= 0x400 && c <= 0x40F) {
            c += 0x50;
        } else if (c == 0x130) {
            c = u'i';
        } else if (c == 0x178) {
            c = 0xFF;
        } else if ((c >= 0x100 && c <= 0x137) || (c >= 0x14A && c <= 0x177)) {
            c |= 1;  // Latin Extended-A pairs upper case on even units...
        } else if ((c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E)) {
            c += c & 1;  // ...and on odd units in these two runs
        } else if (c == 0x386) {
            c = 0x3AC;
        } else if (c >= 0x388 && c <= 0x38A) {
            c += 0x25;
        } else if (c == 0x38C) {
            c = 0x3CC;
        } else if (c == 0x38E || c == 0x38F) {
            c += 0x3F;
        }
    }
    return out;
}

}  // namespace lumora
