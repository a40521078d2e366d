// The progress line as a terminal shows it: rewritten in place, never wider
// than the terminal (a wrapped line cannot be rewritten).
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "cli/ProgressLine.h"
#include "text/StringCtrl.h"

namespace lumora::testing {
namespace {

using cli::CutToWidth;
using cli::DisplayWidth;
using cli::ProgressLine;

TEST(ProgressLineTest, RewritesOneLinePerAlbumWithinTheWidth) {
    EXPECT_EQ(DisplayWidth(u"春日a"), 5u);
    EXPECT_EQ(CutToWidth(u"春日花园", 5), u"春日");
    EXPECT_EQ(CutToWidth(u"a\U00020000b", 2), u"a");  // never half a surrogate pair

    std::FILE* terminal = std::tmpfile();
    ASSERT_NE(terminal, nullptr);
    {
        ProgressLine line(terminal, 30);
        line.SetStatus(u"正在获取相册列表，请稍等...");
        line.RunStarted(false, 2);
        line.AlbumStarted(1, 2, u"一个很长很长很长很长的相册标题", u"http://a/1");
        line.AlbumListed(1, 3, u"/x/");
        line.PictureSaved({1, 0, u"a", u"p", 2048, {}, {}});
        line.PictureFailed({1, 1, u"b", u"q", 0, u"HTTP error status 503", u"HTTP 错误 503"});
        EXPECT_NE(line.Text().find(u"2/3张  失败1  2 KB"), std::u16string::npos) << WideToUtf8(line.Text());
        AlbumOutcome outcome;
        outcome.listed = 3;
        outcome.saved = 2;
        outcome.failures.resize(1);
        outcome.page.fetched = true;
        line.AlbumEnded(1, outcome);
        line.AlbumStarted(2, 2, u"Second", u"http://a/2");
        line.AlbumListed(2, 1, u"/y/");
        line.PictureSkipped({2, 0, u"c", u"r", 0, {}, {}});
        EXPECT_EQ(line.Text().substr(0, 18), u"[2/2] Second  1/1张");
    }
    std::rewind(terminal);
    std::string written;
    for (int c; (c = std::fgetc(terminal)) != EOF;) written += static_cast<char>(c);
    std::fclose(terminal);

    // Lines end only where a line is finished: the list's status, each album.
    std::size_t lines = 0;
    for (std::size_t start = 0, end; (end = written.find('\n', start)) != std::string::npos; start = end + 1) {
        const std::string line = written.substr(start, end - start);
        const std::string shown = line.substr(line.rfind("\r\x1b[K") + 4);
        EXPECT_LT(DisplayWidth(Utf8ToWide(shown)), 30u) << shown;
        ++lines;
    }
    EXPECT_EQ(lines, 3u) << written;
}

}  // namespace
}  // namespace lumora::testing
