// The get-albums command end to end: controller, page reader and parser
// against the loopback site playing the community through http_proxy.
#include "controller_fixture.h"

namespace lumora::testing {
namespace {

using testsite::Response;
const std::string& kHost = kCommunityHost;

class GetAlbumsTest : public ControllerTest {};

TEST_F(GetAlbumsTest, ReadsEveryPageInOrder) {
    ServePage(
        "m1", 1,
        ListPage("Lee", AlbumBlock("1", "Sea", "//img.pconline.com.cn/c1.jpg") + AlbumBlock("2", "Sea", "/c2.jpg"),
                 true));
    ServePage("m1", 2, ListPage("Lee", AlbumBlock("3", "Sea", "c3.jpg") + AlbumBlock("4", "", "c4.jpg"), false));
    auto controller = MakeController();
    GetAlbums(*controller, u"  http://dp.pconline.com.cn/m1/myphoto_p2_n15.html ");

    auto albums = controller->session().albums.all();
    ASSERT_EQ(albums.size(), 4u);
    EXPECT_EQ(albums[0].title, u"Sea");
    EXPECT_EQ(albums[1].title, u"Sea (1)");
    EXPECT_EQ(albums[2].title, u"Sea (2)");
    EXPECT_EQ(albums[3].title.size(), 14u);  // time stamp for the empty title
    EXPECT_EQ(albums[0].address, u"http://dp.pconline.com.cn/photo/list_1.html");
    EXPECT_EQ(albums[0].coverAddress, u"http://img.pconline.com.cn/c1.jpg");
    EXPECT_EQ(albums[1].coverAddress, u"http://dp.pconline.com.cn/c2.jpg");
    EXPECT_EQ(albums[0].pictureCount, -1);
    EXPECT_EQ(controller->session().spaceName, u"Lee/");
    EXPECT_EQ(window_.shown.size(), 4u);
    // Page 1 first, although the address named page 2.
    auto requests = site_.requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0].path, "/m1/myphoto_p1_n15.html");
    EXPECT_EQ(requests[0].header("Accept-Encoding"), "gzip, deflate");

    EXPECT_EQ(window_.texts[IDC_ALBUM_GROUP], u"相册列表(共4个)");
    EXPECT_EQ(window_.texts[IDC_STATUS_MAIN], u"获取相册列表完成，共4个");
    EXPECT_EQ(window_.texts[IDC_GET_ALBUMS], u"获取相册");
    EXPECT_TRUE(window_.IsEnabled(IDC_DOWNLOAD));
    EXPECT_EQ(controller->session().getAlbumsState, GET_IDLE);
}

TEST_F(GetAlbumsTest, AddressFormsReachTheSameFirstPage) {
    ServePage("m2", 1, ListPage("S", AlbumBlock("9", "One", "c.jpg"), false));
    auto controller = MakeController();
    for (const char16_t* address : {u"http://dp.pconline.com.cn/m2/", u"http://dp.pconline.com.cn/m2/myphoto.html",
                                    u"http://dp.pconline.com.cn/m2/myphoto_p1_n15.html"}) {
        site_.clearRequests();
        GetAlbums(*controller, address);
        ASSERT_EQ(site_.requests().size(), 1u) << WideToUtf8(address);
        EXPECT_EQ(site_.requests()[0].path, "/m2/myphoto_p1_n15.html");
        EXPECT_EQ(controller->session().albums.size(), 1u);
    }
}

TEST_F(GetAlbumsTest, PagingEndsOnAFailedFetchAndKeepsWhatWasFound) {
    ServePage("m3", 1, ListPage("S", AlbumBlock("1", "A", "c.jpg"), true));
    site_.route(kHost, "/m3/myphoto_p2_n15.html", Response::Status(500));
    auto controller = MakeController();
    GetAlbums(*controller, u"http://dp.pconline.com.cn/m3/");
    EXPECT_EQ(controller->session().albums.size(), 1u);
    EXPECT_EQ(window_.texts[IDC_STATUS_MAIN], u"获取相册列表完成，共1个");
}

TEST_F(GetAlbumsTest, RepeatedPageEndsTheLoop) {
    // The template has no page placeholder, so every request asks for the same page.
    site_.route(kHost, "/m4/my_photos.html", Response::Text(ListPage("S", AlbumBlock("1", "A", "c.jpg"), true)));
    auto controller = MakeController();
    GetAlbums(*controller, u"http://dp.pconline.com.cn/m4/my_photos.html");
    EXPECT_EQ(controller->session().albums.size(), 1u);
    EXPECT_EQ(site_.requestCount("/m4/my_photos.html"), 2u);
}

// A member whose pages never end: every page is new and offers the next one.
void ServeEndlessPages(testsite::TestSite& site, int lastPage = 0) {
    site.fallback([lastPage](const testsite::Request& request) {
        const std::string page = request.path.substr(request.path.find("_p") + 2);
        const int n = std::stoi(page);
        return Response::Text(ListPage("S", AlbumBlock(page, "T" + std::to_string(n), "c.jpg"), n != lastPage));
    });
}

TEST_F(GetAlbumsTest, TheSafetyBoundOnPagesIsReportedNotSilent) {
    ServeEndlessPages(site_);
    auto controller = MakeController();
    EXPECT_EQ(controller->session().maxListPages, 100000);
    controller->session().maxListPages = 5;
    GetAlbums(*controller, u"http://dp.pconline.com.cn/e1/");
    EXPECT_EQ(controller->session().albums.size(), 5u);
    EXPECT_EQ(site_.requests().size(), 5u);
    EXPECT_TRUE(controller->session().albumListCut);
    // The totals stay as they are; the cut is said beside them.
    EXPECT_EQ(window_.texts[IDC_STATUS_MAIN], u"获取相册列表完成，共5个");
    EXPECT_EQ(window_.texts[IDC_STATUS_PROGRESS], u"相册列表超过5页，只读取了前5页，其余相册没有列出");

    // A list that ends by itself within the bound is whole; the flag is reset.
    site_.clearRequests();
    ServeEndlessPages(site_, 5);
    GetAlbums(*controller, u"http://dp.pconline.com.cn/e1/");
    EXPECT_EQ(controller->session().albums.size(), 5u);
    EXPECT_FALSE(controller->session().albumListCut);
}

TEST_F(GetAlbumsTest, MoreThanAThousandPagesAreAllRead) {
    ServeEndlessPages(site_, 1200);
    auto controller = MakeController();
    GetAlbums(*controller, u"http://dp.pconline.com.cn/e2/");
    ASSERT_EQ(controller->session().albums.size(), 1200u);
    EXPECT_EQ(controller->session().albums.at(1199)->title, u"T1200");
    EXPECT_FALSE(controller->session().albumListCut);
    EXPECT_EQ(window_.texts[IDC_STATUS_MAIN], u"获取相册列表完成，共1200个");
}

TEST_F(GetAlbumsTest, EntitiesInTitlesAndAddressesAreDecodedAfterTheyAreCutOut) {
    ServePage("m10", 1,
              ListPage("A&amp;B",
                       AlbumBlock("1.html?x=1&amp;y=2&amp;z", "say &quot;hi&quot; now", "c.jpg?a=1&amp;b=2") +
                           AlbumBlock("2", "Tom&#x27;s &#40;2024&#41;", "c.jpg"),
                       false));
    for (const std::string id : {"1", "2"}) {
        site_.route(kHost, "/photo/list_" + id + ".html",
                    Response::Text("<li class=\"picture\"><img src=\"//img.pconline.com.cn/" + id +
                                   "/p_mthumb.jpg?k=1&amp;v=2\">"));
        site_.route("img.pconline.com.cn", "/" + id + "/p.jpg", Response::Text("JPEG", "image/jpeg"));
    }
    auto controller = MakeController();
    GetAlbums(*controller, u"http://dp.pconline.com.cn/m10/");
    auto albums = controller->session().albums.all();
    ASSERT_EQ(albums.size(), 2u);
    EXPECT_EQ(albums[0].title, u"say hi now");  // the quotes are dropped as file-name characters
    EXPECT_EQ(albums[1].title, u"Tom's (2024)");
    EXPECT_EQ(albums[0].address, u"http://dp.pconline.com.cn/photo/list_1.html?x=1&y=2&z.html");
    EXPECT_EQ(albums[0].coverAddress, u"http://dp.pconline.com.cn/m10/c.jpg?a=1&b=2");
    EXPECT_EQ(controller->session().spaceName, u"A&B/");

    // The folders and files carry the whole titles.
    const std::filesystem::path save = home_ / "save";
    window_.SetItemText(IDC_SAVE_PATH, Utf8ToWide(save.string()));
    window_.picked = {0, 1};
    ClickDownload(*controller, window_);
    controller->WaitForDownload();
    EXPECT_TRUE(std::filesystem::exists(save / "A&B" / "say hi now" / "say hi now (1).jpg"));
    EXPECT_TRUE(std::filesystem::exists(save / "A&B" / "Tom's (2024)" / "Tom's (2024) (1).jpg"));
    EXPECT_EQ(site_.requests().back().query, "k=1&v=2");
}

TEST_F(GetAlbumsTest, StopAfterABlockKeepsTheAlbumsFound) {
    std::string blocks;
    for (int i = 0; i < 10; ++i) blocks += AlbumBlock(std::to_string(i), "T" + std::to_string(i), "c.jpg");
    ServePage("m5", 1, ListPage("S", blocks, true));
    auto controller = MakeController();
    window_.onShowAlbum = [&](std::size_t position) {
        if (position == 2) ClickGetAlbums(*controller, window_);  // second click: stop
    };
    GetAlbums(*controller, u"http://dp.pconline.com.cn/m5/");
    EXPECT_EQ(controller->session().albums.size(), 3u);
    EXPECT_EQ(site_.requests().size(), 1u);
    EXPECT_EQ(window_.texts[IDC_STATUS_MAIN], u"获取相册列表完成，共3个（已终止）");
    EXPECT_EQ(controller->session().getAlbumsState, GET_IDLE);
}

TEST_F(GetAlbumsTest, SpaceNameFallsBackToTheMemberId) {
    site_.route(kHost, "/m6/myphoto_p1_n15.html",
                Response::Text("<title>no markers</title>" + AlbumBlock("1", "A", "c.jpg")));
    auto controller = MakeController();
    GetAlbums(*controller, u"http://dp.pconline.com.cn/m6/");
    EXPECT_EQ(controller->session().spaceName, u"m6/");
    EXPECT_EQ(controller->session().albums.size(), 1u);
}

TEST_F(GetAlbumsTest, GbkPagesAreReadWithTheirCharset) {
    std::string page = WideToGbk(Utf8ToWide(ListPage("李", AlbumBlock("1", "海边 &amp; 山", "c.jpg"), false)));
    site_.route(kHost, "/m7/myphoto_p1_n15.html", Response::Text(page, "text/html; charset=GBK"));
    auto controller = MakeController();
    GetAlbums(*controller, u"http://dp.pconline.com.cn/m7/");
    ASSERT_EQ(controller->session().albums.size(), 1u);
    EXPECT_EQ(controller->session().albums.at(0)->title, u"海边 & 山");
    EXPECT_EQ(controller->session().spaceName, u"李/");
}

TEST_F(GetAlbumsTest, NoAlbumsLeavesDownloadDisabled) {
    site_.route(kHost, "/m8/myphoto_p1_n15.html", Response::Status(404));
    auto controller = MakeController();
    GetAlbums(*controller, u"http://dp.pconline.com.cn/m8/");
    EXPECT_EQ(controller->session().albums.size(), 0u);
    EXPECT_EQ(controller->session().spaceName, u"");
    EXPECT_EQ(window_.texts[IDC_ALBUM_GROUP], u"相册列表(共0个)");
    EXPECT_EQ(window_.texts[IDC_STATUS_MAIN], u"获取相册列表完成，共0个");
    EXPECT_FALSE(window_.IsEnabled(IDC_DOWNLOAD));
    EXPECT_TRUE(window_.historyAdded.empty());
}

TEST_F(GetAlbumsTest, BadAddresses) {
    auto controller = MakeController();
    GetAlbums(*controller, u"   ");
    ASSERT_EQ(window_.messages.size(), 1u);
    EXPECT_EQ(window_.texts[IDC_STATUS_MAIN], u"");  // ended before the run began
    EXPECT_EQ(controller->session().getAlbumsState, GET_IDLE);

    GetAlbums(*controller, u"dp.pconline.com.cn/m1/");
    EXPECT_EQ(window_.messages.size(), 2u);
    EXPECT_EQ(window_.texts[IDC_STATUS_MAIN], u"获取相册列表完成，共0个");
    EXPECT_TRUE(site_.requests().empty());
}

TEST_F(GetAlbumsTest, NotReadyDoesNothing) {
    MainController controller(window_.view, home_);
    window_.SetItemText(IDC_ADDRESS, u"http://dp.pconline.com.cn/m1/");
    ClickGetAlbums(controller, window_);
    controller.WaitForGetAlbums();
    EXPECT_TRUE(site_.requests().empty());
    EXPECT_EQ(controller.session().getAlbumsState, GET_IDLE);
}

TEST_F(GetAlbumsTest, FoundAlbumsPutTheAddressIntoTheHistory) {
    ServePage("m9", 1, ListPage("S", AlbumBlock("1", "A", "c.jpg"), false));
    ServePage("M9", 1, ListPage("S", AlbumBlock("1", "A", "c.jpg"), false));
    {
        auto controller = MakeController();
        GetAlbums(*controller, u"http://dp.pconline.com.cn/m9/");
        GetAlbums(*controller, u"HTTP://dp.pconline.com.cn/M9/");  // same address ignoring case
        ASSERT_EQ(window_.historyAdded.size(), 1u);
        EXPECT_EQ(window_.historyAdded[0].second, u"http://dp.pconline.com.cn/m9/");
    }
    // Saved at once: a new controller (a restart) sees it.
    MainController restarted(window_.view, home_);
    EXPECT_EQ(HistoryText(restarted.settings(), HistoryKind::Address, 0), u"http://dp.pconline.com.cn/m9/");
}

}  // namespace
}  // namespace lumora::testing
