// IsUtf8Text against the strict UTF-8 decoder: whatever that decoder takes
// without a replacement character and is not pure ASCII is UTF-8 text.
#include "fuzz_support.h"
#include "text/StringCtrl.h"

using namespace lumora;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const bool utf8 = IsUtf8Text(data, size);
    bool ascii = true;
    for (std::size_t i = 0; i < size; ++i) ascii = ascii && data[i] < 0x80;
    if (ascii) fuzz::Check(!utf8, "pure ASCII is not UTF-8 text");

    const std::u16string decoded = Utf8ToWide(std::string_view(reinterpret_cast<const char*>(data), size));
    if (!ascii && decoded.find(u'\uFFFD') == std::u16string::npos) {
        fuzz::Check(utf8, "well-formed UTF-8 is UTF-8 text");
    }
    return 0;
}
