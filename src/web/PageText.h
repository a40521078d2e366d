// Turns a fetched page into the text the site parsers search.
#pragma once

#include <cstddef>
#include <string>

#include "web/Fetch.h"

namespace lumora {

// Text flags; the character-set bits are tried in the order listed.
enum TextFlags : unsigned {
    TEXT_INFLATE = 1,  // inflate the body when the result is marked compressed
    TEXT_UTF8 = 2,
    TEXT_EUCKR = 4,
    TEXT_BIG5 = 8,
    TEXT_AUTO = 16,  // UTF-8 when the bytes are UTF-8 text, else GBK
    // Leave entities as they are: a parser that cuts attribute values out
    // decodes each value itself, so a decoded quote cannot end a value early.
    TEXT_KEEP_ENTITIES = 32,
};

// Inflates a gzip- or zlib-wrapped stream, appending to `output`; true when
// the end of the stream was reached. What inflated before an error stays.
// Inflation stops (false) once `output` would pass `maxOutput` bytes, so a
// small stream that inflates to gigabytes cannot exhaust memory.
bool InflateData(const char* bytes, std::size_t length, std::string& output, std::size_t maxOutput = kMaxPageBytes);

// Inflates (per flags), cuts at the result's markers when compressed,
// decodes with the charset the headers or flags pick, and decodes entities
// (unless TEXT_KEEP_ENTITIES).
// "charset=GBK" in the headers always wins.
std::u16string GetPageText(const FetchResult& result, unsigned flags);

}  // namespace lumora
