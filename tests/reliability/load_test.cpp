// Big answers: a 20 MB list page, a 20 MB picture and a member with 10,000
// albums. Memory stays within a small multiple of what the data needs, and
// every album and picture arrives.
#include <chrono>

#include "reliability_support.h"

namespace lumora::testing {
namespace {

using testsite::Response;
using namespace std::chrono_literals;

class LoadTest : public RunTest {
protected:
    void SetUp() override {
        RunTest::SetUp();
        ResetPeakMemory();
        baselineKB_ = CurrentMemoryKB();
    }

    // Reads the member's albums, which must take less than `limit`.
    std::vector<ST_PERLISTRECORD> TimedGetAlbums(MainController& controller, std::chrono::seconds limit) {
        const auto started = std::chrono::steady_clock::now();
        GetAlbums(controller, u"http://dp.pconline.com.cn/m/");
        EXPECT_LT(std::chrono::steady_clock::now() - started, limit);
        return controller.session().albums.all();
    }

    // Peak memory growth since SetUp, in MB.
    long GrowthMB() const { return (PeakMemoryKB() - baselineKB_) / 1024; }

    // The allowance for data of `dataMB`: generous, as the text layers hold
    // a page as bytes and as UTF-16 at once; sanitizers add their own share.
    static long AllowanceMB(long dataMB) { return (kSanitized ? 40 : 12) * dataMB + 64; }

    long baselineKB_ = 0;
};

std::string NumberedBlocks(int from, int to, const std::string& title = {}) {
    std::string blocks;
    for (int k = from; k <= to; ++k) {
        const std::string id = std::to_string(k);
        blocks += AlbumBlock(id, title.empty() ? "Album " + id : title, "//img.pconline.com.cn/c" + id + ".jpg");
    }
    return blocks;
}

TEST_F(LoadTest, TwentyMegabyteListPage) {
    std::string filler;
    filler.reserve(20 << 20);
    while (filler.size() < (20u << 20)) filler += "<p>太平洋摄影部落 &amp; photographs of the sea</p>\n";
    const std::string page = ListPage("Member", NumberedBlocks(1, 50) + filler + NumberedBlocks(51, 100), false);
    Response answer = Response::Text(page);
    answer.chunkSize = 256 * 1024;
    site_.route(kCommunityHost, "/m/myphoto_p1_n15.html", answer);
    filler.clear();
    filler.shrink_to_fit();

    auto controller = MakeController();
    const auto albums = TimedGetAlbums(*controller, 60s);
    ASSERT_EQ(albums.size(), 100u);
    EXPECT_EQ(albums.front().title, u"Album 1");
    EXPECT_EQ(albums.back().title, u"Album 100");
    // The test site holds the page too; it is part of the data here.
    EXPECT_LT(GrowthMB(), AllowanceMB(2 * 20)) << "peak growth in MB";
}

TEST_F(LoadTest, TwentyMegabytePicture) {
    const std::string big = PictureBytes("/big/1.jpg", 20 << 20);
    Response answer = Response::Text(big, "image/jpeg");
    answer.chunkSize = 512 * 1024;
    ServeMember({{"Big", {{"/big/1.jpg", answer}, Good("/big/2.jpg")}}});
    auto controller = ReadyController(2);
    DownloadReport report = Download(*controller, {0});
    ASSERT_EQ(report.albums.size(), 1u);
    EXPECT_TRUE(report.Complete());
    EXPECT_TRUE(ReadWhole(AlbumFolder("Big") / "Big (1).jpg") == big);
    EXPECT_LT(GrowthMB(), AllowanceMB(3 * 20)) << "peak growth in MB";
}

TEST_F(LoadTest, TenThousandAlbumsOverFiveHundredPages) {
    constexpr int kPages = 500, kPerPage = 20;
    for (int p = 1; p <= kPages; ++p) {
        ServePage("m", p, ListPage("Member", NumberedBlocks((p - 1) * kPerPage + 1, p * kPerPage), p < kPages));
    }
    auto controller = MakeController();
    const auto albums = TimedGetAlbums(*controller, 60s);
    ASSERT_EQ(albums.size(), 10000u);
    for (std::size_t i = 0; i < albums.size(); ++i) {
        ASSERT_EQ(albums[i].title, Utf8ToWide("Album " + std::to_string(i + 1)));
        ASSERT_EQ(albums[i].position, static_cast<std::int32_t>(i));
    }
    EXPECT_EQ(window_.texts[IDC_ALBUM_GROUP], u"相册列表(共10000个)");
    EXPECT_LT(GrowthMB(), AllowanceMB(20)) << "peak growth in MB";
}

// Ten thousand albums of one title all get their own numbered title, in a
// time that grows no faster than the list does.
TEST_F(LoadTest, TenThousandAlbumsOfOneTitle) {
    ServePage("m", 1, ListPage("Member", NumberedBlocks(1, 10000, "Same"), false));
    auto controller = MakeController();
    const auto albums = TimedGetAlbums(*controller, 30s);
    ASSERT_EQ(albums.size(), 10000u);
    EXPECT_EQ(albums[0].title, u"Same");
    EXPECT_EQ(albums[1].title, u"Same (1)");
    EXPECT_EQ(albums[9999].title, u"Same (9999)");
}

}  // namespace
}  // namespace lumora::testing
