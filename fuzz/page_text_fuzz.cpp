// GetPageText over every flag combination, for bodies that are plain, gzip
// or damaged, with and without the GBK charset header and markers.
#include "fuzz_support.h"
#include "testsite/TestSite.h"
#include "web/PageText.h"

using namespace lumora;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::Input in(data, size);
    const std::uint8_t shape = in.Byte();
    FetchResult result;
    result.compressed = shape & 1;
    result.rawHeaders = (shape & 2) ? u"HTTP/1.1 200 OK\r\nContent-Type: text/html; charset=GBK\r\n\r\n"
                                    : u"HTTP/1.1 200 OK\r\nContent-Type: text/html\r\n\r\n";
    if (shape & 4) result.beginMarker = in.Bytes(in.Byte() % 8);
    if (shape & 8) result.endMarker = in.Bytes(in.Byte() % 8);
    result.body = in.Rest();
    // A real stream reaches the decoders with inflated bytes; cut one short too.
    if (shape & 16) result.body = testsite::GzipCompress(result.body);
    if (shape & 32) result.body.resize(result.body.size() / 2);

    for (unsigned flags = 0; flags < 64; ++flags) {
        const std::u16string text = GetPageText(result, flags);
        fuzz::Check(text.find(u'\0') == std::u16string::npos, "page text stops at the first NUL");
    }
    return 0;
}
