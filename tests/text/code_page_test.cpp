#include "text/StringCtrl.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

using namespace lumora;
using namespace std::string_literals;

namespace {

std::u16string Decode(const std::string& bytes, unsigned codePage) {
    return BytesToWide(bytes.data(), bytes.size(), codePage);
}

}  // namespace

TEST(CodePage, GbkBytesAndRoundTrip) {
    EXPECT_EQ(WideToGbk(u"太平洋"), "\xCC\xAB\xC6\xBD\xD1\xF3");
    EXPECT_EQ(WideToGbk(u"价格 €5"),
              "\xBC\xDB\xB8\xF1 \x80"
              "5");  // euro at 0x80
    EXPECT_EQ(Decode("\x80", CP_GBK), u"€");
    const std::u16string text = u"摄影社区·相册（第2页）—丂";
    EXPECT_EQ(Decode(WideToGbk(text), CP_GBK), text);
    EXPECT_EQ(AnsiToWide(WideToGbk(text)), text);
}

TEST(CodePage, WideToGbkUnmappableBecomesQuestionMark) {
    EXPECT_EQ(WideToGbk(u"a한b"), "a?b");
    EXPECT_EQ(WideToGbk(u"x\U0001F600y"), "x?y");     // one "?" for a surrogate pair
    EXPECT_EQ(WideToGbk(u"x\xD800y\xDC00"), "x?y?");  // unpaired surrogates
    EXPECT_EQ(WideToGbk(u"ab\0cd"s), "ab");
    EXPECT_EQ(WideToGbk(u""), "");
}

TEST(CodePage, Big5AndUhc) {
    EXPECT_EQ(Decode("\xA4\xD3\xA5\xAD\xAC\x76", CP_BIG5), u"太平洋");
    EXPECT_EQ(Decode("\xA3\xE1", CP_BIG5), u"€");  // Windows extension of Big5
    EXPECT_EQ(Decode("\xC7\xD1\xB1\xB9\xBE\xEE", CP_EUCKR), u"한국어");
    EXPECT_EQ(Decode("\x8C\x63", CP_EUCKR), u"똠");  // only in the UHC extension
}

TEST(CodePage, InvalidSequencesDoNotLoseTheRest) {
    EXPECT_EQ(Decode("A\xFF"
                     "B",
                     CP_GBK),
              u"A?B");
    EXPECT_EQ(Decode("x\xA2\xE3y", CP_GBK), u"x?y");  // well-formed but unmapped pair
    EXPECT_EQ(Decode("\x81"
                     "0k",
                     CP_GBK),
              u"?0k");                            // lead byte without trail
    EXPECT_EQ(Decode("ab\xB0", CP_GBK), u"ab?");  // cut off at the end
    EXPECT_EQ(Decode("\xC7\xD1\xC7", CP_EUCKR), u"한?");
    // An unmapped UHC pair that the converter consumes whole, at the end of
    // the input and before more text.
    EXPECT_EQ(Decode("x\xA2\xE8", CP_EUCKR), u"x?");
    EXPECT_EQ(Decode("\xA2\xE8y\xA2\xE8z", CP_EUCKR), u"?y?z");
}

TEST(CodePage, ZeroBytesAndUnknownCodePages) {
    EXPECT_EQ(BytesToWide("", 0, CP_UTF8), u"");
    EXPECT_EQ(BytesToWide(nullptr, 5, CP_GBK), u"");
    EXPECT_EQ(Decode("ab\0cd"s, CP_UTF8), u"ab");
    EXPECT_EQ(Decode("\xCC\xAB\0\xC6\xBD"s, CP_GBK), u"太");
    EXPECT_EQ(Decode("abc", 1252), u"");
    EXPECT_EQ(AnsiToWide("\xCC\xAB\0\xC6\xBD"s), u"太");
}

TEST(Utf8, LosslessRoundTrip) {
    const std::u16string text = u"a\0é中\U0001F600"s;
    const std::string bytes = "a\0\xC3\xA9\xE4\xB8\xAD\xF0\x9F\x98\x80"s;
    EXPECT_EQ(WideToUtf8(text), bytes);
    EXPECT_EQ(Utf8ToWide(bytes), text);
    EXPECT_EQ(Decode(bytes.substr(2), CP_UTF8), u"é中\U0001F600");
}

TEST(Utf8, InvalidBecomesReplacementCharacter) {
    EXPECT_EQ(Utf8ToWide("a\xE4\xB8"), u"a\uFFFD");
    EXPECT_EQ(Utf8ToWide("\xE4\xB8"
                         "b"),
              u"\uFFFDb");
    EXPECT_EQ(Utf8ToWide("\xC0\xAF"), u"\uFFFD\uFFFD");                      // overlong
    EXPECT_EQ(Utf8ToWide("\xED\xA0\x80"), u"\uFFFD\uFFFD\uFFFD");            // surrogate
    EXPECT_EQ(Utf8ToWide("\xF4\x90\x80\x80"), u"\uFFFD\uFFFD\uFFFD\uFFFD");  // > U+10FFFF
    EXPECT_EQ(Decode("x\x80y", CP_UTF8), u"x\uFFFDy");
    EXPECT_EQ(WideToUtf8(u"a\xD800"
                         "b\xDC00"),
              "a\xEF\xBF\xBD"
              "b\xEF\xBF\xBD");
}

TEST(CodePage, ThreadsConvertAtOnce) {
    struct Case {
        std::u16string text;
        std::string bytes;
        unsigned codePage;
    };
    const std::vector<Case> cases = {
        {u"太平洋€", "\xCC\xAB\xC6\xBD\xD1\xF3\x80", CP_GBK},
        {u"太平洋", "\xA4\xD3\xA5\xAD\xAC\x76", CP_BIG5},
        {u"한국어", "\xC7\xD1\xB1\xB9\xBE\xEE", CP_EUCKR},
        {u"中文", "\xE4\xB8\xAD\xE6\x96\x87", CP_UTF8},
    };
    std::atomic<int> failures{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 16; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < 300; ++i) {
                const Case& c = cases[(t + i) % cases.size()];
                if (Decode(c.bytes, c.codePage) != c.text) ++failures;
                if (c.codePage == CP_GBK && WideToGbk(c.text) != c.bytes) ++failures;
            }
        });
    }
    for (auto& th : threads) th.join();
    EXPECT_EQ(failures.load(), 0);
}
