// The download command end to end against the loopback site: collection,
// naming, scheduling, list and marker files, options and stops.
#include <atomic>
#include <chrono>
#include <fstream>
#include <sstream>
#include <thread>

#include "controller_fixture.h"
#include "download/DownloadJob.h"
#include "text/Format.h"

namespace lumora::testing {
namespace {

using testsite::Request;
using testsite::Response;
namespace fs = std::filesystem;

std::string PictureBlock(const std::string& src) {
    return "<li class=\"picture\"><a href=\"#\"><img src=\"" + src + "\" alt=\"x\"></a></li>\n";
}

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream data;
    data << in.rdbuf();
    return data.str();
}

class DownloadRunTest : public ControllerTest {
protected:
    void SetUp() override {
        ControllerTest::SetUp();
        save_ = home_ / "save";
    }

    // A member "m" with albums named by `titles`; album k has `pictures[k]` pictures
    // at http://img.pconline.com.cn/<k>/<n>.jpg (thumbnails carry "_mthumb").
    void ServeMember(const std::vector<std::string>& titles, const std::vector<int>& pictures) {
        std::string blocks;
        for (std::size_t k = 0; k < titles.size(); ++k) {
            const std::string id = std::to_string(k + 1);
            blocks += AlbumBlock(id, titles[k], "//img.pconline.com.cn/cover" + id + ".jpg");
            std::string page = "<html><body><ul>";
            for (int n = 1; n <= pictures[k]; ++n) {
                const std::string path = "/" + id + "/" + std::to_string(n);
                page += PictureBlock("//img.pconline.com.cn" + path + "_mthumb.jpg");
                site_.route(kPictureHost, path + ".jpg", Response::Text("picture " + path, "image/jpeg"));
            }
            site_.route(kCommunityHost, "/photo/list_" + id + ".html", Response::Text(page + "</ul></body></html>"));
        }
        ServePage("m", 1, ListPage("Member", blocks, false));
    }

    std::unique_ptr<MainController> ReadyController() {
        auto controller = MakeController();
        GetAlbums(*controller, u"http://dp.pconline.com.cn/m/");
        window_.SetItemText(IDC_SAVE_PATH, Utf8ToWide(save_.string()));
        return controller;
    }

    DownloadReport Download(MainController& controller, std::vector<std::size_t> picked) {
        window_.picked = std::move(picked);
        ClickDownload(controller, window_);
        controller.WaitForDownload();
        return controller.lastReport();
    }

    void SetOption(MainController& controller, std::uint16_t bit) {
        NameRules rules = controller.CurrentNameRules();
        rules.optionFlags |= bit;
        controller.UpdateNameRules(rules);
    }

    fs::path AlbumFolder(const std::string& title) const { return save_ / "Member" / title; }

    fs::path save_;
};

TEST_F(DownloadRunTest, DescriptionNamesAndThumbnailsTurnedIntoPictures) {
    ServeMember({"Sea"}, {3});
    auto controller = ReadyController();
    DownloadReport report = Download(*controller, {0});
    ASSERT_EQ(report.albums.size(), 1u);
    EXPECT_EQ(report.albums[0].listed, 3u);
    EXPECT_EQ(report.albums[0].saved, 3u);
    EXPECT_TRUE(report.Complete());
    for (int n = 1; n <= 3; ++n) {
        fs::path file = AlbumFolder("Sea") / ("Sea (" + std::to_string(n) + ").jpg");
        EXPECT_EQ(ReadFile(file), "picture /1/" + std::to_string(n)) << file;
    }
    EXPECT_EQ(site_.requestCount("/1/1_mthumb.jpg"), 0u);
    // The marker holds the first address, as UTF-16LE without BOM.
    EXPECT_EQ(FromUtf16Le(ReadFile(AlbumFolder("Sea") / "pic.lumora")), u"http://img.pconline.com.cn/1/1.jpg");
    EXPECT_EQ(window_.texts[IDC_STATUS_MAIN], u"下载完毕");
    EXPECT_EQ(window_.texts[IDC_DOWNLOAD], u"下载");
    ASSERT_EQ(window_.finished.size(), 1u);
    EXPECT_EQ(window_.finished[0].second, 3u);
}

TEST_F(DownloadRunTest, ProgressAndStatusTexts) {
    ServeMember({"A"}, {3});
    auto controller = ReadyController();
    NameRules rules = controller->CurrentNameRules();
    rules.baseNameChoice = 1;  // number naming
    controller->UpdateNameRules(rules);
    DownloadParams params = controller->CurrentDownloadParams();
    params.threadCount = 5;  // more workers than pictures
    controller->UpdateDownloadParams(params);
    Download(*controller, {0});
    for (const char* name : {"1.jpg", "2.jpg", "3.jpg"}) EXPECT_TRUE(fs::exists(AlbumFolder("A") / name)) << name;

    std::vector<std::u16string> progress;
    for (const auto& [id, text] : window_.textLog) {
        if (id == IDC_STATUS_PROGRESS) progress.push_back(text);
        if (id == IDC_STATUS_MAIN && text.starts_with(u"正在下载第")) {
            EXPECT_EQ(text, u"正在下载第1/1个图集");
        }
    }
    auto has = [&](const std::u16string& text) {
        return std::find(progress.begin(), progress.end(), text) != progress.end();
    };
    EXPECT_TRUE(has(u"......"));
    EXPECT_TRUE(has(u"已获取到3张图片信息"));
    EXPECT_TRUE(has(u"已开始下载图片"));
    EXPECT_TRUE(has(u"已下载3/3......"));
}

TEST_F(DownloadRunTest, OneWorkerKeepsIndexOrder) {
    ServeMember({"A"}, {6});
    auto controller = ReadyController();
    DownloadParams params = controller->CurrentDownloadParams();
    params.threadCount = 1;
    controller->UpdateDownloadParams(params);
    Download(*controller, {0});
    std::vector<std::string> order;
    for (const auto& request : site_.requests()) {
        if (request.host == kPictureHost) order.push_back(request.path);
    }
    EXPECT_EQ(order,
              (std::vector<std::string>{"/1/1.jpg", "/1/2.jpg", "/1/3.jpg", "/1/4.jpg", "/1/5.jpg", "/1/6.jpg"}));
}

TEST_F(DownloadRunTest, TheSizeWindowFiltersAndFailuresKeepTheirReason) {
    ServeMember({"A"}, {3});
    site_.route(kPictureHost, "/1/2.jpg", Response::Status(404));
    site_.route(kPictureHost, "/1/3.jpg", Response::Text(std::string(3000, 'x'), "image/jpeg"));
    auto controller = ReadyController();
    DownloadParams params = controller->CurrentDownloadParams();
    params.maxKB = 2;
    controller->UpdateDownloadParams(params);
    DownloadReport report = Download(*controller, {0});
    ASSERT_EQ(report.albums.size(), 1u);
    EXPECT_EQ(report.albums[0].saved, 1u);
    EXPECT_EQ(report.albums[0].filtered, 1u);
    ASSERT_EQ(report.albums[0].failures.size(), 1u);
    EXPECT_EQ(report.albums[0].failures[0].error, FetchError::HttpStatus);
    EXPECT_EQ(FailureMessage(report.albums[0].failures[0]), u"HTTP 错误 404");
    EXPECT_FALSE(report.Complete());
    EXPECT_FALSE(fs::exists(AlbumFolder("A") / "A (2).jpg"));
    EXPECT_FALSE(fs::exists(AlbumFolder("A") / "A (3).jpg"));

    // A filtered picture is no failure: with the 404 mended the album is
    // whole, gets its marker, and the same window does not fetch it again.
    site_.route(kPictureHost, "/1/2.jpg", Response::Text("two", "image/jpeg"));
    site_.clearRequests();
    report = Download(*controller, {0});
    EXPECT_TRUE(report.Complete());
    EXPECT_EQ(report.albums[0].filtered, 1u);
    EXPECT_TRUE(report.albums[0].failures.empty());
    EXPECT_TRUE(fs::exists(AlbumFolder("A") / "pic.lumora"));
    EXPECT_EQ(site_.requestCount("/1/3.jpg"), 0u);
    EXPECT_EQ(controller->LastFailures().size(), 0u);

    // Another window is another question.
    params.maxKB = 0;
    controller->UpdateDownloadParams(params);
    report = Download(*controller, {0});
    EXPECT_EQ(report.albums[0].saved, 1u);
    EXPECT_EQ(report.albums[0].filtered, 0u);
    EXPECT_EQ(fs::file_size(AlbumFolder("A") / "A (3).jpg"), 3000u);
}

TEST_F(DownloadRunTest, ListFileOnlyWritesGbkListsAndDownloadsNothing) {
    ServeMember({"海边", "山"}, {2, 1});
    auto controller = ReadyController();
    SetOption(*controller, kOptListFileOnly);
    DownloadReport report = Download(*controller, {0, 1});
    EXPECT_TRUE(report.Complete());
    EXPECT_EQ(ReadFile(AlbumFolder("海边") / "海边.lst"),
              "http://img.pconline.com.cn/1/1.jpg\r\nhttp://img.pconline.com.cn/1/2.jpg\r\n");
    EXPECT_TRUE(fs::exists(AlbumFolder("山") / "山.lst"));
    for (const auto& request : site_.requests()) EXPECT_NE(request.host, kPictureHost);
    EXPECT_FALSE(fs::exists(AlbumFolder("海边") / "pic.lumora"));
}

TEST_F(DownloadRunTest, SkipSeenStopsAtThePreviousFirstPicture) {
    ServeMember({"A"}, {3});
    auto controller = ReadyController();
    SetOption(*controller, kOptSkipDownloadedBefore);
    Download(*controller, {0});
    site_.clearRequests();
    DownloadReport again = Download(*controller, {0});
    ASSERT_EQ(again.albums.size(), 1u);
    EXPECT_EQ(again.albums[0].listed, 0u);
    for (const auto& request : site_.requests()) EXPECT_NE(request.host, kPictureHost);
    EXPECT_EQ(FromUtf16Le(ReadFile(AlbumFolder("A") / "pic.lumora")), u"http://img.pconline.com.cn/1/1.jpg");
}

TEST_F(DownloadRunTest, StopDuringAnAlbumEndsTheRun) {
    ServeMember({"A", "B"}, {4, 2});
    for (int n = 1; n <= 4; ++n) {
        Response slow = Response::Text("slow", "image/jpeg");
        slow.delayBeforeHeaders = std::chrono::milliseconds(300);
        site_.route(kPictureHost, "/1/" + std::to_string(n) + ".jpg", slow);
    }
    auto controller = ReadyController();
    DownloadParams params = controller->CurrentDownloadParams();
    params.threadCount = 1;
    controller->UpdateDownloadParams(params);
    window_.picked = {0, 1};
    ClickDownload(*controller, window_);
    while (window_.GetItemText(IDC_STATUS_PROGRESS) != u"已开始下载图片")
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    ClickDownload(*controller, window_);  // stop
    controller->WaitForDownload();
    DownloadReport report = controller->lastReport();
    EXPECT_TRUE(report.stopped);
    EXPECT_FALSE(fs::exists(AlbumFolder("A") / "pic.lumora"));
    EXPECT_EQ(site_.requestCount("/photo/list_2.html"), 0u);
    EXPECT_EQ(window_.texts[IDC_STATUS_MAIN], u"下载完毕");
    EXPECT_EQ(controller->session().downloadState, DOWN_IDLE);
}

// The next album's page is read while the current album's last pictures are
// still arriving, and each page only once; the albums still go in order.
TEST_F(DownloadRunTest, NextAlbumPageIsReadWhileTheLastPicturesFinish) {
    ServeMember({"A", "B", "C"}, {3, 2, 1});
    std::atomic<bool> pageTwoSeen = false;
    std::atomic<bool> pageTwoSeenInTime = false;
    site_.route(kPictureHost, "/1/1.jpg", [&](const Request&) {
        // Held until album B's page is asked for: only a read ahead can do that.
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (!pageTwoSeen && std::chrono::steady_clock::now() < until) {
            pageTwoSeen = site_.requestCount("/photo/list_2.html") > 0;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        pageTwoSeenInTime = pageTwoSeen.load();
        return Response::Text("picture /1/1", "image/jpeg");
    });
    auto controller = ReadyController();
    DownloadParams params = controller->CurrentDownloadParams();
    params.threadCount = 2;
    controller->UpdateDownloadParams(params);
    const DownloadReport report = Download(*controller, {0, 1, 2});

    EXPECT_TRUE(pageTwoSeenInTime);
    for (const char* page : {"/photo/list_1.html", "/photo/list_2.html", "/photo/list_3.html"}) {
        EXPECT_EQ(site_.requestCount(page), 1u) << page;
    }
    ASSERT_EQ(report.albums.size(), 3u);
    std::size_t saved = 0;
    for (const AlbumOutcome& album : report.albums) saved += album.saved;
    EXPECT_EQ(saved, 6u);
    std::vector<std::u16string> mainTexts;
    for (const auto& [id, text] : window_.textLog) {
        if (id == IDC_STATUS_MAIN && text.starts_with(u"正在下载第")) mainTexts.push_back(text);
    }
    EXPECT_EQ(mainTexts,
              (std::vector<std::u16string>{u"正在下载第1/3个图集", u"正在下载第2/3个图集", u"正在下载第3/3个图集"}));
}

TEST_F(DownloadRunTest, SaveFolderChecksAndEmptyPicks) {
    ServeMember({"A"}, {1});
    auto controller = ReadyController();
    window_.SetItemText(IDC_SAVE_PATH, u"  ");
    DownloadReport report = Download(*controller, {0});
    EXPECT_TRUE(report.rejectedSavePath);
    EXPECT_EQ(window_.messages.back(), u"请先设置保存路径");
    EXPECT_EQ(controller->session().downloadState, DOWN_IDLE);

    std::ofstream(home_ / "plainfile") << "x";
    window_.SetItemText(IDC_SAVE_PATH, Utf8ToWide((home_ / "plainfile" / "sub").string()));
    report = Download(*controller, {0});
    EXPECT_TRUE(report.rejectedSavePath);
    EXPECT_EQ(window_.messages.back(), u"请检测设置的保存路径是否有误（同名的文件已存在）");
    EXPECT_EQ(window_.messages[window_.messages.size() - 2], Utf8ToWide((home_ / "plainfile").string()));

    window_.SetItemText(IDC_SAVE_PATH, Utf8ToWide(save_.string()));
    report = Download(*controller, {});
    EXPECT_TRUE(report.nothingPicked);
    EXPECT_EQ(window_.texts[IDC_STATUS_MAIN], u"下载完毕");
}

TEST_F(DownloadRunTest, OpenFolderWhenDone) {
    ServeMember({"A", "B"}, {1, 1});
    auto controller = ReadyController();
    SetOption(*controller, kOptOpenFolderWhenDone);
    Download(*controller, {0, 1});
    ASSERT_EQ(window_.opened.size(), 1u);
    EXPECT_EQ(window_.opened[0], Utf8ToWide((AlbumFolder("B")).string()) + u"/");
}

// The command line hands the controller an order; the window's button
// makes one from the grid's picks and the save folder box: the same run.
TEST_F(DownloadRunTest, AnOrderAndTheWindowsPicksGiveTheSameRun) {
    const std::string longTitle = std::string(90, 'L') + " end";
    ServeMember({longTitle, std::string(90, 'L') + " other", "B"}, {2, 1, 1});
    auto controller = ReadyController();
    const DownloadReport byWindow = Download(*controller, {0, 2});

    fs::remove_all(save_);
    // Trimmed as typed text is; the window's picks play no part in an order.
    window_.picked = {1};
    controller->Download(controller->OrderFor({0, 2}, u"  " + Utf8ToWide(save_.string())));
    controller->WaitForDownload();
    const DownloadReport byOrder = controller->lastReport();

    ASSERT_EQ(byOrder.albums.size(), 2u);
    ASSERT_EQ(byWindow.albums.size(), 2u);
    for (std::size_t k = 0; k < 2; ++k) {
        EXPECT_EQ(byOrder.albums[k].folder, byWindow.albums[k].folder);
        EXPECT_EQ(byOrder.albums[k].saved, byWindow.albums[k].saved);
    }
    // The long title was cut once, in the album list, for both.
    EXPECT_EQ(byOrder.albums[0].title, Utf8ToWide(std::string(80, 'L')));
    EXPECT_TRUE(fs::exists(AlbumFolder(std::string(80, 'L')) / (std::string(80, 'L') + " (2).jpg")));
}

}  // namespace
}  // namespace lumora::testing
