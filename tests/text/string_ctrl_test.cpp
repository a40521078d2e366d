#include "text/StringCtrl.h"

#include <gtest/gtest.h>

using namespace lumora;
using namespace std::string_literals;

TEST(DecodeHtmlEntities, DecodesInTableOrderOnce) {
    std::u16string t = u"a&amp;lt;b";
    DecodeHtmlEntities(t);
    EXPECT_EQ(t, u"a<b");  // "&amp;" comes before "&lt;", so it decodes twice

    t = u"&amp;quot;";
    DecodeHtmlEntities(t);
    EXPECT_EQ(t, u"&quot;");  // "&quot;" was already done when "&amp;" made it

    t = u"&LT;&copy;&quot";
    DecodeHtmlEntities(t);
    EXPECT_EQ(t, u"&LT;&copy;&quot");

    t = u"&quot;x&quot;&nbsp;&hellip;&#39;&gt;";
    DecodeHtmlEntities(t);
    EXPECT_EQ(t, u"\"x\" \u2026'>");
}

TEST(DecodeHtmlEntities, DecodesNumericReferences) {
    std::u16string t = u"Tom&#x27;s &#40;1&#41; &#8217;&#X2026;";
    DecodeHtmlEntities(t);
    EXPECT_EQ(t, u"Tom's (1) \u2019\u2026");

    t = u"&#128512;&#x1F600;";  // above U+FFFF: a surrogate pair each
    DecodeHtmlEntities(t);
    EXPECT_EQ(t, u"\U0001F600\U0001F600");

    // Zero, surrogates, numbers beyond U+10FFFF or past any integer, and
    // references without digits or ";" stay as written.
    const std::u16string kept =
        u"&#0;&#x0;&#xD800;&#55296;&#x110000;&#1114112;&#99999999999999999999999;&#x;&#;&#40&#x4G;&#-5;";
    t = kept;
    DecodeHtmlEntities(t);
    EXPECT_EQ(t, kept);

    // After the named ones: "&amp;#40;" decodes twice, like "&amp;lt;", while
    // a decoded "&#38;" is not decoded again.
    t = u"&amp;#40;&#38;lt;&#38;#40;";
    DecodeHtmlEntities(t);
    EXPECT_EQ(t, u"(&lt;&#40;");
}

TEST(SplitText, CountsSeparatorsAndKeepsEmptyPieces) {
    StringArray pieces{u"stale"};
    EXPECT_EQ(SplitText(pieces, u"abc", u"|"), 0u);
    EXPECT_TRUE(pieces.empty());

    EXPECT_EQ(SplitText(pieces, u"A|B|C", u"|"), 2u);
    EXPECT_EQ(pieces, (StringArray{u"A", u"B", u"C"}));

    EXPECT_EQ(SplitText(pieces, u"|x", u"|"), 1u);
    EXPECT_EQ(pieces, (StringArray{u"", u"x"}));

    EXPECT_EQ(SplitText(pieces, u"<li><li>a<li>", u"<li>"), 3u);
    EXPECT_EQ(pieces, (StringArray{u"", u"", u"a", u""}));

    EXPECT_EQ(CountOccurrences(u"aaaa", u"aa"), 2u);  // non-overlapping
}

TEST(SplitText, EmptySeparatorSplitsNothing) {
    StringArray pieces{u"stale"};
    EXPECT_EQ(CountOccurrences(u"abc", u""), 0u);
    EXPECT_EQ(SplitText(pieces, u"abc", u""), 0u);
    EXPECT_TRUE(pieces.empty());
    SplitByCount(u"abc", u"", 0, pieces);
    EXPECT_EQ(pieces, (StringArray{u"abc"}));
}

TEST(ExtractBetween, ConsumeWalksFieldByField) {
    std::u16string t = u"a[b]c[d]";
    EXPECT_EQ(ExtractBetween(t, u"[", u"]", EXTRACT_CONSUME), u"b");
    EXPECT_EQ(t, u"b]c[d]");  // only the begin marker is consumed
    EXPECT_EQ(ExtractBetween(t, u"[", u"]", EXTRACT_CONSUME), u"d");
    EXPECT_EQ(t, u"d]");
    EXPECT_EQ(ExtractBetween(t, u"[", u"]", EXTRACT_CONSUME), u"");
    EXPECT_EQ(t, u"d]");  // begin absent: unchanged

    std::u16string kept = u"x<a>1</a>";
    EXPECT_EQ(ExtractBetween(kept, u"<a>", u"</a>", 0), u"1");
    EXPECT_EQ(kept, u"x<a>1</a>");
}

TEST(ExtractBetween, MissingEndMarker) {
    std::u16string t = u"id=42&name=sea";
    EXPECT_EQ(ExtractBetween(t, u"name=", u";", EXTRACT_CONSUME), u"");
    EXPECT_EQ(t, u"sea");  // still advanced past the begin marker

    t = u"title=Sea;";
    EXPECT_EQ(ExtractBetween(t, u"title=", u"\"", EXTRACT_OPEN_END), u"Sea;");
    EXPECT_EQ(ExtractBetween(t, u"title=", u";", EXTRACT_OPEN_END), u"Sea");
    EXPECT_EQ(ExtractBetween(t, u"title=", u"#", EXTRACT_OPEN_END | EXTRACT_CONSUME), u"Sea;");
    EXPECT_EQ(t, u"Sea;");
}

TEST(CutAndKeep, CutBeforeAndKeepBefore) {
    std::u16string t = u"Content-Length: 512";
    EXPECT_EQ(CutBefore(t, u"Content-Length:", true), 0);
    EXPECT_EQ(t, u" 512");

    t = u"HTTP/1.1 200\r\nContent-Length: 9";
    EXPECT_EQ(CutBefore(t, u"Content-Length:", false), 14);
    EXPECT_EQ(t, u"Content-Length: 9");
    EXPECT_EQ(CutBefore(t, u"Server:", true), -1);
    EXPECT_EQ(t, u"Content-Length: 9");

    EXPECT_EQ(KeepBefore(t, u": "), 14);
    EXPECT_EQ(t, u"Content-Length");
    EXPECT_EQ(KeepBefore(t, u"\r\n"), -1);
    EXPECT_EQ(t, u"Content-Length");
}

TEST(Find, StopsAtFirstNulButReplaceSeesEverything) {
    std::u16string t = u"ab\0[x]"s;
    EXPECT_EQ(ExtractBetween(t, u"[", u"]", EXTRACT_CONSUME), u"");
    EXPECT_EQ(t, u"ab\0[x]"s);
    EXPECT_EQ(CutBefore(t, u"x", true), -1);
    EXPECT_EQ(CountOccurrences(u"a|b\0|c"s, u"|"), 1u);

    // The end marker is looked for only up to the NUL of the rest.
    std::u16string u = u"[a\0]"s;
    EXPECT_EQ(ExtractBetween(u, u"[", u"]", EXTRACT_OPEN_END), u"a\0]"s);

    EXPECT_EQ(ReplaceAll(t, u"x", u"y"), 1u);
    EXPECT_EQ(t, u"ab\0[y]"s);
}

TEST(ReplaceAll, NonOverlappingAndNotRescanned) {
    std::u16string t = u"aaa";
    EXPECT_EQ(ReplaceAll(t, u"aa", u"b"), 1u);
    EXPECT_EQ(t, u"ba");
    t = u"ab";
    EXPECT_EQ(ReplaceAll(t, u"a", u"aa"), 1u);
    EXPECT_EQ(t, u"aab");
    EXPECT_EQ(ReplaceAll(t, u"", u"x"), 0u);
    EXPECT_EQ(t, u"aab");
}

TEST(ReplaceByLists, PairsChainAndMismatchedListsAreLiteral) {
    std::u16string t = u"ab";
    ReplaceByLists(t, u"a|b", u"b|c");
    EXPECT_EQ(t, u"cc");

    t = u"a|b and a";
    ReplaceByLists(t, u"a|b", u"1");
    EXPECT_EQ(t, u"1 and a");

    t = u"abc";
    ReplaceByLists(t, u"|b|c", u"X||Y");  // empty search skipped, empty replacement deletes
    EXPECT_EQ(t, u"aY");
}

TEST(IsUtf8Text, ByteRules) {
    auto check = [](std::string s) { return IsUtf8Text(s.data(), s.size()); };
    EXPECT_FALSE(check(""));
    EXPECT_FALSE(check("abc"));  // ASCII alone is not "UTF-8 text"
    EXPECT_TRUE(check("\xC3\xA9"));
    EXPECT_TRUE(check("caf\xC3\xA9!"));
    EXPECT_FALSE(check("\xC3"));  // cut off
    EXPECT_TRUE(check("\xE4\xB8\xAD"));
    EXPECT_FALSE(
        check("\xE4\xB8"
              "a"));
    EXPECT_TRUE(check("\xF0\x9F\x98\x80"));
    EXPECT_FALSE(check("\xB0\xA1"));          // GBK
    EXPECT_FALSE(check("\xC4\xE3\xBA\xC3"));  // GBK "你好"
    EXPECT_FALSE(check("\x80"));
    EXPECT_TRUE(check("\xFE\x80\x80\x80\x80"));  // the old long forms still count
}

TEST(ToLowerSimple, LowersLettersOnly) {
    EXPECT_EQ(ToLowerSimple(u"ABC xyz 123 ÀÉÞ×"), u"abc xyz 123 àéþ×");
    EXPECT_EQ(ToLowerSimple(u"ĀĹŁŸŽİ"), u"āĺłÿži");
    EXPECT_EQ(ToLowerSimple(u"ΆΣΩ ЁЖЯ ＡＺ 中文"), u"άσω ёжя ａｚ 中文");
}
