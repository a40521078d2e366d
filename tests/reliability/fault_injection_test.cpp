// Whole download runs against a site that misbehaves: stalls, broken
// connections, lying lengths, error statuses, redirect loops and a disk that
// fills up. A picture either arrives whole or leaves no file, and its failure
// is reported with the reason.
#include <chrono>

#include "reliability_support.h"

namespace lumora::testing {
namespace {

using testsite::Response;
using namespace std::chrono_literals;
namespace fs = std::filesystem;

class FaultInjectionTest : public RunTest {};

Response Shaped(const std::string& path, std::size_t bytes = 4000) {
    return Response::Text(PictureBytes(path, bytes), "image/jpeg");
}

TEST_F(FaultInjectionTest, BrokenTransfersLeaveNoFileAndReportWhy) {
    struct Case {
        std::string path;
        Response answer;
        FetchError error;
        long status = 0;
    };
    std::vector<Case> cases;
    auto add = [&](const std::string& path, Response answer, FetchError error, long status = 0) {
        cases.push_back({path, std::move(answer), error, status});
    };
    {
        Response r = Shaped("/f/headers-never.jpg");
        r.delayBeforeHeaders = 1h;  // the step time-out ends it
        add("/f/headers-never.jpg", r, FetchError::Timeout);
    }
    {
        Response r = Shaped("/f/stall-mid-body.jpg");
        r.stallAfterBytes = 1000;
        r.stallFor = 1h;  // the read time-out ends it
        add("/f/stall-mid-body.jpg", r, FetchError::Timeout);
    }
    {
        Response r = Shaped("/f/reset.jpg");
        r.dropAfterBytes = 1500;
        add("/f/reset.jpg", r, FetchError::Connect);
    }
    {
        Response r = Shaped("/f/gzip-cut.jpg", 20000).Header("Content-Encoding", "gzip");
        r.encoding = testsite::BodyEncoding::Gzip;
        r.dropAfterBytes = 30;  // past the gzip header, well before the end
        add("/f/gzip-cut.jpg", r, FetchError::Connect);
    }
    {
        Response r = Shaped("/f/length-too-long.jpg");
        r.announcedLength = 8000;
        add("/f/length-too-long.jpg", r, FetchError::Incomplete);
    }
    for (int status : {403, 404, 429, 500}) {
        const std::string path = "/f/status-" + std::to_string(status) + ".jpg";
        add(path, Response::Status(status, "<html>error page</html>"), FetchError::HttpStatus, status);
    }
    add("/f/redirect-loop.jpg", Response::Redirect("/f/redirect-loop.jpg"), FetchError::Redirects);
    add("/f/redirect-to-404.jpg", Response::Redirect("/f/gone.jpg"), FetchError::HttpStatus, 404);

    std::vector<Picture> pictures = {Good("/f/first.jpg")};
    for (const Case& c : cases) pictures.push_back({c.path, c.answer});
    {
        // Slower than the read time-out in all, but never silent that long.
        Response steady = Shaped("/f/steady.jpg", 6000);
        steady.chunkSize = 600;
        steady.chunkDelay = 400ms;
        pictures.push_back({"/f/steady.jpg", steady});
    }
    pictures.push_back(Good("/f/last.jpg"));
    ServeMember({{"Faults", pictures}});

    auto controller = ReadyController(15, 1);
    const auto started = std::chrono::steady_clock::now();
    DownloadReport report = Download(*controller, {0});
    EXPECT_LT(std::chrono::steady_clock::now() - started, 60s);

    ASSERT_EQ(report.albums.size(), 1u);
    const AlbumOutcome& album = report.albums[0];
    EXPECT_EQ(album.listed, pictures.size());
    EXPECT_EQ(album.saved, 3u);
    EXPECT_FALSE(report.Complete());
    const auto failures = FailuresByAddress(report);
    EXPECT_EQ(failures.size(), cases.size());
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        auto it = failures.find(PictureAddress(c.path));
        ASSERT_NE(it, failures.end());
        EXPECT_EQ(it->second.error, c.error) << DescribeFetchError(it->second.error);
        if (c.error == FetchError::HttpStatus) {
            EXPECT_EQ(it->second.httpStatus, c.status);
        }
        EXPECT_FALSE(fs::exists(WideToUtf8(it->second.savePath)));
    }
    for (const char* path : {"/f/first.jpg", "/f/last.jpg"}) {
        EXPECT_EQ(failures.count(PictureAddress(path)), 0u) << path;
    }
    // Only whole pictures are on disk, and no temporary file stayed behind.
    EXPECT_EQ(ReadWhole(AlbumFolder("Faults") / "Faults (1).jpg"), PictureBytes("/f/first.jpg"));
    EXPECT_EQ(ReadWhole(AlbumFolder("Faults") / ("Faults (" + std::to_string(pictures.size() - 1) + ").jpg")),
              PictureBytes("/f/steady.jpg", 6000));
    EXPECT_EQ(ReadWhole(AlbumFolder("Faults") / ("Faults (" + std::to_string(pictures.size()) + ").jpg")),
              PictureBytes("/f/last.jpg"));
    EXPECT_TRUE(PartFiles(save_).empty());
}

// A length shorter than the body ends the message where the length says;
// the JPEG then lacks its end marker and is no picture. What a client must
// not do either is take the bytes left over for the next answer on the
// same connection.
TEST_F(FaultInjectionTest, ShortLengthDoesNotSpillIntoTheNextPicture) {
    Response lying = Shaped("/s/2.jpg");
    lying.announcedLength = 1000;
    ServeMember({{"Short", {Good("/s/1.jpg"), {"/s/2.jpg", lying}, Good("/s/3.jpg"), Good("/s/4.jpg")}}});
    auto controller = ReadyController(1, 5);
    DownloadReport report = Download(*controller, {0});
    ASSERT_EQ(report.albums.size(), 1u);
    const auto failures = FailuresByAddress(report);
    ASSERT_EQ(failures.size(), 1u);
    EXPECT_EQ(failures.at(PictureAddress("/s/2.jpg")).error, FetchError::CutPicture);
    EXPECT_FALSE(fs::exists(AlbumFolder("Short") / "Short (2).jpg"));
    for (int n : {1, 3, 4}) {
        const std::string path = "/s/" + std::to_string(n) + ".jpg";
        EXPECT_EQ(ReadWhole(AlbumFolder("Short") / ("Short (" + std::to_string(n) + ").jpg")), PictureBytes(path))
            << path;
    }
}

// Pages that break: a list page whose gzip stream is cut short still gives
// the albums that inflated; a picture page that cannot be read yields no
// entries and the run goes on with the next album.
TEST_F(FaultInjectionTest, DamagedPagesKeepWhatCanBeRead) {
    std::string blocks;
    for (int k = 1; k <= 40; ++k) blocks += AlbumBlock(std::to_string(k), "Album " + std::to_string(k), "c.jpg");
    const std::string page = ListPage("Member", blocks, false);
    std::string gzip = testsite::GzipCompress(page);
    gzip.resize(gzip.size() * 2 / 3);
    Response cut = Response::Text("").Header("Content-Encoding", "gzip");
    cut.body = gzip;  // sent as it is: already compressed, and cut
    site_.route(kCommunityHost, "/m/myphoto_p1_n15.html", cut);
    auto controller = MakeController();
    GetAlbums(*controller, u"http://dp.pconline.com.cn/m/");
    const std::size_t found = controller->session().albums.size();
    EXPECT_GT(found, 5u);
    EXPECT_LT(found, 40u);
    EXPECT_EQ(window_.texts[IDC_STATUS_MAIN],
              FormatText(u"获取相册列表完成，共%d个", {static_cast<std::int64_t>(found)}));

    site_.route(kCommunityHost, "/photo/list_1.html", Response::Status(500));
    Response dropped =
        Response::Text("<html>" + PictureBlock("//" + kPictureHost + "/x/1.jpg") + std::string(5000, ' '));
    dropped.dropAfterBytes = 200;
    site_.route(kCommunityHost, "/photo/list_2.html", dropped);
    std::string third = "<html>" + PictureBlock("//" + kPictureHost + "/x/3.jpg");
    site_.route(kCommunityHost, "/photo/list_3.html", Response::Text(third));
    site_.route(kPictureHost, "/x/3.jpg", Response::Text(PictureBytes("/x/3.jpg"), "image/jpeg"));
    window_.SetItemText(IDC_SAVE_PATH, Utf8ToWide(save_.string()));
    DownloadReport report = Download(*controller, {0, 1, 2});
    EXPECT_FALSE(report.stopped);
    EXPECT_EQ(report.totalListed, 1u);
    EXPECT_EQ(ReadWhole(AlbumFolder("Album 3") / "Album 3 (1).jpg"), PictureBytes("/x/3.jpg"));
}

// RLIMIT_FSIZE stands in for a full disk: pictures too big for it fail to
// save, leave nothing behind and are reported; smaller ones still arrive.
TEST_F(FaultInjectionTest, FullDiskFailsOnlyThePicturesThatDoNotFit) {
    ServeMember({{"Disk",
                  {Good("/d/1.jpg", 8000), Good("/d/2.jpg", 200000), Good("/d/3.jpg", 8000), Good("/d/4.jpg", 300000),
                   Good("/d/5.jpg", 8000)}}});
    auto controller = ReadyController(2);
    DownloadReport report;
    {
        FileSizeLimit limit(64 * 1024);
        report = Download(*controller, {0});
    }
    ASSERT_EQ(report.albums.size(), 1u);
    EXPECT_EQ(report.albums[0].saved, 3u);
    const auto failures = FailuresByAddress(report);
    ASSERT_EQ(failures.size(), 2u);
    for (const char* path : {"/d/2.jpg", "/d/4.jpg"}) {
        ASSERT_EQ(failures.count(PictureAddress(path)), 1u) << path;
        EXPECT_EQ(failures.at(PictureAddress(path)).error, FetchError::WriteFile);
    }
    for (int n : {1, 3, 5}) {
        const std::string path = "/d/" + std::to_string(n) + ".jpg";
        EXPECT_EQ(ReadWhole(AlbumFolder("Disk") / ("Disk (" + std::to_string(n) + ").jpg")), PictureBytes(path, 8000));
    }
    EXPECT_FALSE(fs::exists(AlbumFolder("Disk") / "Disk (2).jpg"));
    EXPECT_TRUE(PartFiles(save_).empty());
    // An album with failures gets no marker: skipping what was downloaded
    // before must not make its failures permanent.
    EXPECT_FALSE(fs::exists(AlbumFolder("Disk") / "pic.lumora"));
}

}  // namespace
}  // namespace lumora::testing
