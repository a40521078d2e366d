// Conversions between UTF-16 text and byte strings in the code pages the
// program meets: GBK (936), Big5 (950), UHC/EUC-KR (51949) and UTF-8 (65001).
//
// The legacy code pages go through iconv, whose GBK, CP950 and CP949 tables
// match the Windows ones closely. UTF-8 is converted by our own code: it is
// lossless and must not depend on the installed gconv modules.
//
// Malformed input never aborts a conversion. As Windows converters do,
// an invalid legacy sequence decodes to "?" and an invalid UTF-8 sequence to
// U+FFFD; the rest of the text is still converted.

#include "text/StringCtrl.h"

#include <iconv.h>

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cstring>
#include <memory>
#include <mutex>
#include <vector>

#include "base/Utf16.h"

namespace lumora {
namespace {

constexpr char16_t kReplacement = 0xFFFD;
// What Windows converters produce for a character or byte sequence the code
// page cannot represent.
constexpr char kDefaultByte = '?';

constexpr const char* kUtf16Native = std::endian::native == std::endian::little ? "UTF-16LE" : "UTF-16BE";

class Converter {
public:
    explicit Converter(iconv_t cd) : cd_(cd) {}
    ~Converter() {
        if (ok()) iconv_close(cd_);
    }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;

    bool ok() const { return cd_ != reinterpret_cast<iconv_t>(-1); }

    // Back to the initial state, in case the last use stopped halfway.
    void Reset() {
        if (ok()) iconv(cd_, nullptr, nullptr, nullptr, nullptr);
    }

    // One iconv step; returns 0 on success or the errno value that stopped it.
    int Step(const char*& in, std::size_t& inLeft, char*& out, std::size_t& outLeft) {
        char* src = const_cast<char*>(in);
        std::size_t rc = iconv(cd_, &src, &inLeft, &out, &outLeft);
        in = src;
        return rc == static_cast<std::size_t>(-1) ? errno : 0;
    }

    // Whether `length` bytes convert on their own, leaving the initial state.
    bool ConvertsAlone(const char* in, std::size_t length) {
        char buffer[16];
        char* out = buffer;
        std::size_t outLeft = sizeof buffer;
        Reset();
        const bool converted = Step(in, length, out, outLeft) == 0 && length == 0;
        Reset();
        return converted;
    }

private:
    iconv_t cd_;
};

// Legacy code page description: its iconv names (first that opens wins) and
// the range of its trail bytes, so that a well-formed but unmapped double-byte
// pair becomes one default character instead of two.
struct LegacyCodePage {
    const char* names[2];
    bool (*isTrail)(unsigned char);
};

bool GbkTrail(unsigned char b) { return b >= 0x40 && b <= 0xFE && b != 0x7F; }
bool Big5Trail(unsigned char b) { return (b >= 0x40 && b <= 0x7E) || (b >= 0xA1 && b <= 0xFE); }
bool UhcTrail(unsigned char b) {
    return (b >= 0x41 && b <= 0x5A) || (b >= 0x61 && b <= 0x7A) || (b >= 0x81 && b <= 0xFE);
}

const LegacyCodePage* FindLegacy(unsigned codePage) {
    static const LegacyCodePage gbk{{"GBK", "CP936"}, GbkTrail};
    // glibc's CP950 is an alias of its BIG5 table, which carries the Windows
    // extensions (euro sign, ETEN box drawing); other iconvs may differ.
    static const LegacyCodePage big5{{"CP950", "BIG5"}, Big5Trail};
    // iconv knows no "CP51949"; UHC is a superset of EUC-KR, as on Windows.
    static const LegacyCodePage uhc{{"CP949", "UHC"}, UhcTrail};
    switch (codePage) {
    case CP_GBK: return &gbk;
    case CP_BIG5: return &big5;
    case CP_EUCKR: return &uhc;
    default: return nullptr;
    }
}

// Tries the names in order, so an iconv without the preferred name still works.
iconv_t OpenLegacy(const LegacyCodePage& cp, bool toLegacy) {
    auto cd = reinterpret_cast<iconv_t>(-1);
    for (const char* name : cp.names) {
        cd = toLegacy ? iconv_open(name, kUtf16Native) : iconv_open(kUtf16Native, name);
        if (cd != reinterpret_cast<iconv_t>(-1)) break;
    }
    return cd;
}

// glibc unloads a table module when its last descriptor closes. Download
// workers are short-lived threads whose descriptors close at thread exit, so
// one descriptor per code page and direction stays open for the whole
// process: the module is loaded once and never unloaded under a running
// conversion of another thread.
void KeepModuleLoaded(const LegacyCodePage& cp, bool toLegacy) {
    struct Pin {
        const LegacyCodePage* cp;
        bool toLegacy;
        iconv_t cd;  // deliberately never closed
    };
    static std::mutex mutex;
    static std::vector<Pin>* pinned = new std::vector<Pin>();  // outlives exiting threads
    std::lock_guard lock(mutex);
    for (const Pin& pin : *pinned) {
        if (pin.cp == &cp && pin.toLegacy == toLegacy) return;
    }
    pinned->push_back({&cp, toLegacy, OpenLegacy(cp, toLegacy)});
}

// One descriptor per thread, code page and direction. A descriptor carries
// conversion state, so two threads must never share one; opening one per
// call would cost more than most conversions, as glibc maps and unmaps the
// table modules each time.
Converter& ThreadConverter(const LegacyCodePage& cp, bool toLegacy) {
    struct Slot {
        const LegacyCodePage* cp;
        bool toLegacy;
        std::unique_ptr<Converter> conv;
    };
    thread_local std::vector<Slot> slots;
    for (Slot& slot : slots) {
        if (slot.cp == &cp && slot.toLegacy == toLegacy) {
            slot.conv->Reset();
            return *slot.conv;
        }
    }
    KeepModuleLoaded(cp, toLegacy);
    slots.push_back({&cp, toLegacy, std::make_unique<Converter>(OpenLegacy(cp, toLegacy))});
    return *slots.back().conv;
}

// Runs `conv` over the whole input into units of type Unit. Where iconv
// stops at a sequence it cannot convert, one default unit is written and
// `badLength(in, inLeft)` bytes are skipped; a sequence cut off at the end
// yields one default unit and ends the conversion.
template <typename Unit, typename BadLength>
std::basic_string<Unit> Run(Converter& conv, const char* in, std::size_t inLeft, std::size_t expectedUnits,
                            BadLength badLength) {
    constexpr Unit kDefault = static_cast<Unit>('?');
    std::basic_string<Unit> out(expectedUnits + 1, Unit{});
    std::size_t used = 0;
    const char* keptAt = nullptr;  // where a sequence was kept after an error
    while (inLeft > 0) {
        char* outPtr = reinterpret_cast<char*>(out.data() + used);
        std::size_t outLeft = (out.size() - used) * sizeof(Unit);
        const std::size_t outStart = outLeft;
        const int err = conv.Step(in, inLeft, outPtr, outLeft);
        used += (outStart - outLeft) / sizeof(Unit);
        if (err == 0) break;
        if (err == E2BIG) {
            out.resize(out.size() * 2 + 16);
            continue;
        }
        if (used == out.size()) out.resize(out.size() * 2 + 16);
        out[used++] = kDefault;
        if (err != EILSEQ || inLeft == 0) break;
        // Most tables stop in front of a sequence they cannot map, but glibc's
        // UHC table steps over some unmapped pairs before it reports them.
        // So what stands at `in` is skipped only if it does not convert on
        // its own (or stopped the conversion a second time).
        const std::size_t length = std::min(badLength(in, inLeft), inLeft);
        if (in == keptAt || !conv.ConvertsAlone(in, length)) {
            in += length;
            inLeft -= length;
            keptAt = nullptr;
        } else {
            keptAt = in;
        }
    }
    out.resize(used);
    return out;
}

std::u16string DecodeLegacy(const LegacyCodePage& cp, const char* bytes, std::size_t length) {
    Converter& conv = ThreadConverter(cp, false);
    if (!conv.ok()) return {};
    // A byte never yields more than one unit, so the first guess normally holds.
    return Run<char16_t>(conv, bytes, length, length, [&cp](const char* in, std::size_t left) {
        const auto lead = static_cast<unsigned char>(in[0]);
        const bool pair = lead >= 0x81 && lead <= 0xFE && left >= 2 && cp.isTrail(static_cast<unsigned char>(in[1]));
        return std::size_t{pair ? 2u : 1u};
    });
}

std::u16string CutAtNul(std::u16string text) {
    const auto nul = text.find(u'\0');
    if (nul != std::u16string::npos) text.resize(nul);
    return text;
}

}  // namespace

std::string WideToGbk(const std::u16string& text) {
    std::string out;
    Converter& conv = ThreadConverter(*FindLegacy(CP_GBK), true);
    if (!conv.ok()) {
        // Without a GBK table only ASCII survives; everything else is unmappable.
        for (char16_t c : text) {
            if (c == 0) break;
            out.push_back(c < 0x80 ? static_cast<char>(c) : kDefaultByte);
        }
        return out;
    }
    // Two bytes per unit is GBK's widest form; unmappable units shrink to "?".
    // One "?" per character: a surrogate pair counts as one.
    out = Run<char>(conv, reinterpret_cast<const char*>(text.data()), text.size() * sizeof(char16_t), text.size() * 2,
                    [](const char* in, std::size_t left) {
                        char16_t unit[2] = {};
                        std::memcpy(unit, in, std::min(left, sizeof unit));
                        const bool pair = left >= sizeof unit && IsHighSurrogate(unit[0]) && IsLowSurrogate(unit[1]);
                        return (pair ? 2 : 1) * sizeof(char16_t);
                    });
    const auto zero = out.find('\0');
    if (zero != std::string::npos) out.resize(zero);
    return out;
}

std::u16string BytesToWide(const char* bytes, std::size_t length, unsigned codePage) {
    if (bytes == nullptr || length == 0) return {};
    if (codePage == CP_UTF8) return CutAtNul(Utf8ToWide(std::string_view(bytes, length)));
    const LegacyCodePage* cp = FindLegacy(codePage);
    if (cp == nullptr) return {};
    return CutAtNul(DecodeLegacy(*cp, bytes, length));
}

std::u16string AnsiToWide(std::string_view bytes) {
    const auto zero = bytes.find('\0');
    if (zero != std::string_view::npos) bytes = bytes.substr(0, zero);
    return BytesToWide(bytes.data(), bytes.size(), CP_GBK);
}

std::string WideToUtf8(const std::u16string& text) {
    std::string out;
    out.reserve(text.size() + text.size() / 2);
    auto put = [&out](unsigned v) { out.push_back(static_cast<char>(v)); };
    for (std::size_t i = 0; i < text.size(); ++i) {
        char32_t cp = text[i];
        if (IsHighSurrogate(text[i]) && i + 1 < text.size() && IsLowSurrogate(text[i + 1])) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        } else if (IsHighSurrogate(text[i]) || IsLowSurrogate(text[i])) {
            cp = kReplacement;
        }
        if (cp < 0x80) {
            put(cp);
        } else if (cp < 0x800) {
            put(0xC0 | (cp >> 6));
            put(0x80 | (cp & 0x3F));
        } else if (cp < 0x10000) {
            put(0xE0 | (cp >> 12));
            put(0x80 | ((cp >> 6) & 0x3F));
            put(0x80 | (cp & 0x3F));
        } else {
            put(0xF0 | (cp >> 18));
            put(0x80 | ((cp >> 12) & 0x3F));
            put(0x80 | ((cp >> 6) & 0x3F));
            put(0x80 | (cp & 0x3F));
        }
    }
    return out;
}

// Each maximal ill-formed subsequence becomes one U+FFFD (the Unicode
// recommendation), so overlong forms, surrogates and values past U+10FFFF are
// rejected and a bad byte never swallows the valid text after it.
std::u16string Utf8ToWide(std::string_view bytes) {
    std::u16string out;
    out.reserve(bytes.size());
    const auto* s = reinterpret_cast<const unsigned char*>(bytes.data());
    const std::size_t n = bytes.size();
    std::size_t i = 0;
    while (i < n) {
        const unsigned char b = s[i];
        if (b < 0x80) {
            out.push_back(b);
            ++i;
            continue;
        }
        int need;
        unsigned char lo = 0x80, hi = 0xBF;
        char32_t cp;
        if (b >= 0xC2 && b <= 0xDF) {
            need = 1, cp = b & 0x1F;
        } else if (b >= 0xE0 && b <= 0xEF) {
            need = 2, cp = b & 0x0F;
            if (b == 0xE0) lo = 0xA0;
            if (b == 0xED) hi = 0x9F;
        } else if (b >= 0xF0 && b <= 0xF4) {
            need = 3, cp = b & 0x07;
            if (b == 0xF0) lo = 0x90;
            if (b == 0xF4) hi = 0x8F;
        } else {
            out.push_back(kReplacement);
            ++i;
            continue;
        }
        std::size_t j = i + 1;
        for (; need > 0 && j < n && s[j] >= lo && s[j] <= hi; --need, ++j) {
            cp = (cp << 6) | (s[j] & 0x3F);
            lo = 0x80, hi = 0xBF;
        }
        i = j;
        if (need > 0) {
            out.push_back(kReplacement);
        } else if (cp >= 0x10000) {
            out.push_back(static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(cp));
        }
    }
    return out;
}

}  // namespace lumora
