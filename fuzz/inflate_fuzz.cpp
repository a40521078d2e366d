// InflateData on arbitrary bytes, and on real gzip and zlib streams of
// arbitrary data, whole and cut short.
#include "fuzz_support.h"
#include "testsite/TestSite.h"
#include "web/PageText.h"

using namespace lumora;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    std::string output;
    InflateData(bytes.data(), bytes.size(), output);
    // A limit holds whatever the stream would inflate to.
    const std::size_t limit = size % 4096;
    output.clear();
    InflateData(bytes.data(), bytes.size(), output, limit);
    fuzz::Check(output.size() <= limit, "inflation stops at its limit");

    for (const std::string& stream : {testsite::GzipCompress(bytes), testsite::ZlibCompress(bytes)}) {
        output.clear();
        fuzz::Check(InflateData(stream.data(), stream.size(), output), "a whole stream inflates");
        fuzz::Check(output == bytes, "a whole stream gives its data back");

        const std::string cut = stream.substr(0, stream.size() - 1 - size % (stream.size() - 1));
        output = "kept";
        fuzz::Check(!InflateData(cut.data(), cut.size(), output), "a cut stream is reported");
        fuzz::Check(output.starts_with("kept") && bytes.starts_with(output.substr(4)),
                    "a cut stream appends a prefix of its data");
    }
    return 0;
}
