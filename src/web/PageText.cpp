#include "web/PageText.h"

#include <zlib.h>

#include <cstring>

#include "text/StringCtrl.h"

namespace lumora {
namespace {

constexpr int kAutoHeaderWindowBits = 15 + 32;  // 32 KB window, gzip or zlib header
constexpr std::size_t kInflateStep = 8192;

// Removes up to the last begin marker and from the first end marker on.
void CutAtMarkers(std::string& bytes, const std::string& begin, const std::string& end) {
    if (!begin.empty()) {
        std::size_t at;
        while ((at = bytes.find(begin)) != std::string::npos) bytes.erase(0, at + begin.size());
    }
    if (!end.empty()) {
        std::size_t at = bytes.find(end);
        if (at != std::string::npos) bytes.erase(at);
    }
}

}  // namespace

bool InflateData(const char* bytes, std::size_t length, std::string& output, std::size_t maxOutput) {
    z_stream stream;
    std::memset(&stream, 0, sizeof stream);
    if (inflateInit2(&stream, kAutoHeaderWindowBits) != Z_OK) return false;
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(bytes));
    bool ended = false;
    char buffer[kInflateStep];
    std::size_t remaining = length;
    while (true) {
        // zlib counts input in 32-bit units; feed huge bodies piece by piece.
        if (stream.avail_in == 0 && remaining > 0) {
            stream.avail_in = static_cast<uInt>(std::min<std::size_t>(remaining, 1u << 30));
            remaining -= stream.avail_in;
        }
        stream.next_out = reinterpret_cast<Bytef*>(buffer);
        stream.avail_out = kInflateStep;
        int status = inflate(&stream, Z_NO_FLUSH);
        const std::size_t produced = kInflateStep - stream.avail_out;
        if (output.size() + produced > maxOutput) {
            output.append(buffer, maxOutput - std::min(maxOutput, output.size()));
            break;
        }
        output.append(buffer, produced);
        if (status == Z_STREAM_END) {
            ended = true;
            break;
        }
        if (status != Z_OK) break;  // damaged, or cut short (Z_BUF_ERROR)
    }
    inflateEnd(&stream);
    return ended;
}

std::u16string GetPageText(const FetchResult& result, unsigned flags) {
    std::string bytes;
    if ((flags & TEXT_INFLATE) && result.compressed) {
        InflateData(result.body.data(), result.body.size(), bytes);  // a partial page is still used
    } else {
        bytes = result.body;
    }
    // Uncompressed bodies were already cut while streaming.
    if (result.compressed) CutAtMarkers(bytes, result.beginMarker, result.endMarker);

    std::u16string text;
    if (result.rawHeaders.find(u"charset=GBK") != std::u16string::npos) {
        text = AnsiToWide(bytes);
    } else if (flags & TEXT_UTF8) {
        text = BytesToWide(bytes.data(), bytes.size(), CP_UTF8);
    } else if (flags & TEXT_EUCKR) {
        text = BytesToWide(bytes.data(), bytes.size(), CP_EUCKR);
    } else if (flags & TEXT_BIG5) {
        text = BytesToWide(bytes.data(), bytes.size(), CP_BIG5);
    } else if ((flags & TEXT_AUTO) && IsUtf8Text(bytes.data(), bytes.size())) {
        text = BytesToWide(bytes.data(), bytes.size(), CP_UTF8);
    } else {
        text = AnsiToWide(bytes);
    }
    if (!(flags & TEXT_KEEP_ENTITIES)) DecodeHtmlEntities(text);
    return text;
}

}  // namespace lumora
