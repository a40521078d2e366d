// CleanFileName on arbitrary UTF-16 text: the result is always usable as one
// file or folder name.
#include "fuzz_support.h"
#include "text/StringCtrl.h"

using namespace lumora;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::Input in(data, size);
    const std::uint8_t mode = in.Byte();
    const bool useFallback = mode & 1;
    const unsigned index = (mode & 2) ? kTimeStampFallback : mode >> 2;
    std::u16string text = in.RestAsUnits();
    CleanFileName(text, index, useFallback);

    fuzz::Check(text.find_first_of(u"\r\n\t\\/:*?<>|\a\"") == std::u16string::npos, "no forbidden character");
    fuzz::Check(text.empty() || text.find_first_not_of(u'.') != std::u16string::npos,
                "never a name of dots alone, such as \".\" or \"..\"");
    fuzz::Check(text.empty() || (text.front() != u' ' && text.back() != u' '), "no blank at either end");
    if (useFallback) fuzz::Check(!text.empty() && text.size() < 1000, "the fallback leaves a usable name");
    return 0;
}
