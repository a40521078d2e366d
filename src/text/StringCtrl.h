// Small text routines shared by the web layer, the site adapter and the
// download engine. Every routine is a free function that touches only its
// arguments, so all of them are safe to call from any thread.
//
// Texts are UTF-16 (std::u16string); positions and lengths are counted in
// UTF-16 code units. Find operations see a text up to its first NUL unit.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace lumora {

using StringArray = std::vector<std::u16string>;

// Code pages the program converts from and to.
enum CodePage : unsigned {
    CP_GBK = 936,
    CP_BIG5 = 950,
    CP_EUCKR = 51949,
    CP_UTF8 = 65001,
};

// Flags of ExtractBetween.
enum ExtractFlags : unsigned {
    EXTRACT_CONSUME = 1,   // the caller's text advances past the begin marker
    EXTRACT_OPEN_END = 2,  // a missing end marker yields the rest of the text
};

// Fallback index of CleanFileName that asks for a time stamp instead of "pic%d".
inline constexpr unsigned kTimeStampFallback = 0xFFFF;

// --- Code-page conversions --------------------------------------------------

// The whole text in GBK (code page 936), cut at the first zero byte.
// Characters GBK cannot represent become "?".
std::string WideToGbk(const std::u16string& text);

// Exactly `length` bytes decoded in `codePage` (936, 950, 51949 or 65001),
// cut at the first NUL character. Empty when nothing converts.
std::u16string BytesToWide(const char* bytes, std::size_t length, unsigned codePage);

// The "ANSI conversion": GBK bytes up to the first zero byte.
std::u16string AnsiToWide(std::string_view bytes);

// Lossless UTF-8 <-> UTF-16, for file system paths, terminals and JSON.
// Invalid sequences become U+FFFD.
std::string WideToUtf8(const std::u16string& text);
std::u16string Utf8ToWide(std::string_view bytes);

// --- Entities, cutting and splitting -----------------------------------------

// Decodes &quot; &amp; &lt; &gt; &nbsp; &hellip; &#39; in this order,
// case-sensitively, then the other numeric references, decimal and
// hexadecimal; every other named entity, and a number that names no
// character (zero, a surrogate, beyond U+10FFFF), stays.
void DecodeHtmlEntities(std::u16string& text);

// Number of non-overlapping occurrences of `separator`; 0 for an empty one.
std::size_t CountOccurrences(const std::u16string& text, const std::u16string& separator);

// Fills `pieces` with count + 1 parts of `text` cut at `separator`.
void SplitByCount(const std::u16string& text, const std::u16string& separator, std::size_t count, StringArray& pieces);

// Splits `text` at every `separator`; returns the separator count. With no
// separator (or an empty one) returns 0 and leaves `pieces` empty.
std::size_t SplitText(StringArray& pieces, const std::u16string& text, const std::u16string& separator);

// The text between the first `begin` and the next `end`; see ExtractFlags.
std::u16string ExtractBetween(std::u16string& text, const std::u16string& begin, const std::u16string& end,
                              unsigned flags);

// Drops everything before the first `marker` (and the marker itself when
// `dropMarker`); returns where it was found, or -1 leaving the text alone.
std::ptrdiff_t CutBefore(std::u16string& text, const std::u16string& marker, bool dropMarker);

// Keeps only the part before the first `marker`; returns its position or -1.
std::ptrdiff_t KeepBefore(std::u16string& text, const std::u16string& marker);

// Replaces every occurrence of `what` by `with` (left to right, inserted text
// not searched again). An empty `what` replaces nothing. Returns the count.
std::size_t ReplaceAll(std::u16string& text, const std::u16string& what, const std::u16string& with);

// Parallel "|"-separated lists: piece i of `searchList` becomes piece i of
// `replaceList`. Lists with different separator counts are used whole.
void ReplaceByLists(std::u16string& text, const std::u16string& searchList, const std::u16string& replaceList);

// --- Tests and cleaning -------------------------------------------------------

// True for well-formed multi-byte UTF-8 with at least one byte >= 0x80;
// pure ASCII and empty input are false.
bool IsUtf8Text(const void* bytes, std::uint64_t length);

// Makes `text` usable as a file or folder name. With `useFallback`, an empty
// or overlong (>= 1000 units) result becomes a 14-digit local time stamp when
// `fallbackIndex` is kTimeStampFallback, else "pic<fallbackIndex>".
void CleanFileName(std::u16string& text, unsigned fallbackIndex, bool useFallback);

// Simple per-unit lower-casing (ASCII and Latin letters), for "ignoring case".
std::u16string ToLowerSimple(const std::u16string& text);

}  // namespace lumora
