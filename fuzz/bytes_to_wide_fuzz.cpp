// BytesToWide for each code page the program passes, and one it does not.
#include "fuzz_support.h"
#include "text/StringCtrl.h"

using namespace lumora;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto* bytes = reinterpret_cast<const char*>(data);
    static const unsigned kCodePages[] = {CP_GBK, CP_BIG5, CP_EUCKR, CP_UTF8, 1252};
    for (unsigned codePage : kCodePages) {
        const std::u16string text = BytesToWide(bytes, size, codePage);
        fuzz::Check(text.find(u'\0') == std::u16string::npos, "text stops at the first NUL");
        if (codePage == 1252u) fuzz::Check(text.empty(), "an unknown code page converts nothing");
        if (codePage == CP_UTF8) {
            fuzz::Check(Utf8ToWide(WideToUtf8(text)) == text, "decoded UTF-8 survives a round trip");
        }
        // The way back must cope with whatever came out.
        const std::string gbk = WideToGbk(text);
        fuzz::Check(gbk.find('\0') == std::string::npos, "GBK bytes stop at the first zero");
    }
    return 0;
}
