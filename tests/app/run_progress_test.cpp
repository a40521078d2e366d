#include "app/RunProgress.h"

#include <gtest/gtest.h>

#include "text/StringCtrl.h"

namespace lumora {
namespace {

using namespace std::chrono_literals;

// Over the run, not the album: counts add up across albums, the time left
// is for what is listed so far, and an ended run has none left.
TEST(RunProgressTest, CountsTheWholeRunAndEstimatesWhatIsLeft) {
    RunProgress progress;
    EXPECT_EQ(RunProgressText(progress.Figures()), u"");
    progress.RunStarted(false, 2);
    progress.AlbumStarted(1, 2, u"A", u"http://a/");
    progress.AlbumListed(1, 10, u"/save/A/");
    for (std::size_t i = 0; i < 4; ++i) progress.PictureSaved({1, i, u"", u"", 1024 * 1024, {}, {}});
    progress.PictureFailed({1, 4, u"", u"", 0, {}, {}});

    RunProgressFigures figures = progress.FiguresAt(RunProgress::Clock::now() + 5s);
    EXPECT_EQ(figures.done, 5u);
    EXPECT_EQ(figures.failed, 1u);
    EXPECT_EQ(figures.bytesPerSecond / 1024, 819u);  // 4 MB in 5 s
    ASSERT_TRUE(figures.secondsLeft);
    EXPECT_EQ(*figures.secondsLeft, 5u);  // five more at the same pace
    EXPECT_EQ(RunProgressText(figures), u"第1/2个相册  图片5/10张  失败1  819 KB/s  剩余0:05");

    progress.AlbumStarted(2, 2, u"B", u"http://b/");
    progress.AlbumListed(2, 5, u"/save/B/");
    progress.PictureSkipped({2, 0, u"", u"", 0, {}, {}});
    figures = progress.Figures();
    EXPECT_EQ(figures.listed, 15u);
    EXPECT_EQ(figures.done, 6u);

    progress.RunEnded({});
    EXPECT_FALSE(progress.FiguresAt(RunProgress::Clock::now() + 5s).secondsLeft);
    progress.RunStarted(true, 1);  // a new run starts from nothing
    EXPECT_EQ(progress.Figures().done, 0u);
}

}  // namespace
}  // namespace lumora
