#include "text/StringCtrl.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>

using namespace lumora;

namespace {

std::u16string Clean(std::u16string text, unsigned index = 0, bool fallback = false) {
    CleanFileName(text, index, fallback);
    return text;
}

}  // namespace

TEST(CleanFileName, RemovesForbiddenAndDecodesEntities) {
    EXPECT_EQ(Clean(u"a:b*c"), u"abc");
    EXPECT_EQ(Clean(u"\\/:*?<>|\"\r\n\a ok"), u"ok");
    EXPECT_EQ(Clean(u"a\tb"), u"a_b");
    EXPECT_EQ(Clean(u"Tom &amp; Jerry &lt;1&gt; &#39;x&#39;"), u"Tom & Jerry 1 'x'");
    EXPECT_EQ(Clean(u"风景    照片"), u"风景 照片");
}

TEST(CleanFileName, DotsAndWhiteSpace) {
    EXPECT_EQ(Clean(u"..."), u"。。。");
    EXPECT_EQ(Clean(u"  .\u3000"), u"。");
    EXPECT_EQ(Clean(u"..name.jpg.."), u"name.jpg");
    EXPECT_EQ(Clean(u". name ."), u"name");  // trimmed again after the dots go
    EXPECT_EQ(Clean(u"\u00A0\u3000\uFEFF相册\u2003\r\n"), u"相册");
    EXPECT_EQ(Clean(u".?.", 3, true), u"pic3");  // not dots alone until "?" goes
}

TEST(CleanFileName, Fallbacks) {
    EXPECT_EQ(Clean(u"", 7, true), u"pic7");
    EXPECT_EQ(Clean(u" : ", 0, true), u"pic0");
    EXPECT_EQ(Clean(u"", 7, false), u"");
    EXPECT_EQ(Clean(std::u16string(999, u'x'), 7, true).size(), 999u);
    EXPECT_EQ(Clean(std::u16string(1000, u'x'), 7, true), u"pic7");
    EXPECT_EQ(Clean(std::u16string(1000, u'x'), 7, false).size(), 1000u);
}

TEST(CleanFileName, TimeStampIsLocalTime) {
    const std::time_t before = std::time(nullptr);
    const std::u16string stamp = Clean(u"", kTimeStampFallback, true);
    const std::time_t after = std::time(nullptr);
    ASSERT_EQ(stamp.size(), 14u);
    std::string digits;
    for (char16_t c : stamp) {
        ASSERT_TRUE(c >= u'0' && c <= u'9');
        digits.push_back(static_cast<char>(c));
    }
    auto field = [&](int pos, int len) { return std::atoi(digits.substr(pos, len).c_str()); };
    std::tm local{};
    local.tm_year = field(0, 4) - 1900;
    local.tm_mon = field(4, 2) - 1;
    local.tm_mday = field(6, 2);
    local.tm_hour = field(8, 2);
    local.tm_min = field(10, 2);
    local.tm_sec = field(12, 2);
    local.tm_isdst = -1;
    const std::time_t parsed = std::mktime(&local);
    EXPECT_GE(parsed, before - 1);
    EXPECT_LE(parsed, after + 1);
}
