// Runs that pick up where an earlier one ended: pictures saved before are
// skipped through the archive, failures are retried, an album with failures
// gets no marker, and a crash's temporary files are cleared.
#include <sys/stat.h>
#include <sys/time.h>

#include <sqlite3.h>

#include <atomic>
#include <fstream>
#include <thread>

#include "app/RunEvents.h"
#include "base/FailureText.h"
#include "download/DownloadArchive.h"
#include "reliability_support.h"
#include "settings/AppSettings.h"
#include "web/Sha256.h"

namespace lumora::testing {
namespace {

using testsite::Request;
using testsite::Response;
namespace fs = std::filesystem;

class ResumeTest : public RunTest {
protected:
    std::size_t PictureRequests(const std::vector<Picture>& pictures) const {
        std::size_t count = 0;
        for (const Picture& picture : pictures) count += site_.requestCount(picture.path);
        return count;
    }
    std::vector<Picture> Pictures(const std::string& folder, int count) {
        std::vector<Picture> pictures;
        for (int n = 1; n <= count; ++n) pictures.push_back(Good("/" + folder + "/" + std::to_string(n) + ".jpg"));
        return pictures;
    }
    // An album whose second picture is PNG bytes behind a ".jpg" address,
    // read by a controller with the format fix and `options` on.
    std::unique_ptr<MainController> ServeFixAlbum(const std::string& album, std::vector<Picture>& pictures,
                                                  std::uint16_t options) {
        pictures[1].answer =
            Response::Text(std::string("\x89PNG\r\n\x1a\n\0\0\0\0IEND\xAE\x42\x60\x82", 20), "image/png");
        ServeMember({{album, pictures}});
        auto controller = ReadyController();
        NameRules rules = controller->CurrentNameRules();
        rules.optionFlags |= kOptFixPictureFormat | options;
        controller->UpdateNameRules(rules);
        return controller;
    }
    void SetRetries(unsigned retries) {
        AppSettings settings = LoadAppSettings(home_);
        settings.retries = retries;
        ASSERT_TRUE(SaveAppSettings(home_, settings));
    }
    // The program folder's archive, or null (and a failure) when it cannot be opened.
    std::shared_ptr<DownloadArchive> OpenArchive() {
        auto opened = DownloadArchive::Open(home_ / kArchiveFileName);
        if (!opened) ADD_FAILURE() << WideToUtf8(FailureText(opened.failure()));
        return opened ? *opened : nullptr;
    }
};

TEST_F(ResumeTest, SavedPicturesAreSkippedUntilTheirFileChanges) {
    const std::vector<Picture> pictures = Pictures("r", 6);
    ServeMember({{"Resume", pictures}});
    auto controller = ReadyController();
    ASSERT_TRUE(Download(*controller, {0}).Complete());
    EXPECT_EQ(PictureRequests(pictures), 6u);

    // Everything is there: nothing is fetched, and the album counts as whole.
    site_.clearRequests();
    DownloadReport again = Download(*controller, {0});
    ASSERT_EQ(again.albums.size(), 1u);
    EXPECT_EQ(again.albums[0].skipped, 6u);
    EXPECT_EQ(again.albums[0].saved, 0u);
    EXPECT_TRUE(again.Complete());
    EXPECT_EQ(PictureRequests(pictures), 0u);

    // A deleted and a shortened file are fetched again; a file the archive
    // does not know is downloaded as before.
    fs::remove(AlbumFolder("Resume") / "Resume (2).jpg");
    fs::resize_file(AlbumFolder("Resume") / "Resume (4).jpg", 10);
    site_.clearRequests();
    again = Download(*controller, {0});
    EXPECT_EQ(again.albums[0].saved, 2u);
    EXPECT_EQ(site_.requestCount("/r/2.jpg"), 1u);
    EXPECT_EQ(site_.requestCount("/r/4.jpg"), 1u);
    EXPECT_EQ(ReadWhole(AlbumFolder("Resume") / "Resume (4).jpg"), PictureBytes("/r/4.jpg"));

    // Switched off, every picture is fetched.
    AppSettings settings = LoadAppSettings(home_);
    settings.skipSaved = false;
    ASSERT_TRUE(SaveAppSettings(home_, settings));
    site_.clearRequests();
    Download(*controller, {0});
    EXPECT_EQ(PictureRequests(pictures), 6u);
}

TEST_F(ResumeTest, AFormatFixedPictureIsKnownUnderItsNewName) {
    // PNG bytes behind a ".jpg" address: the format fix renames the file.
    std::vector<Picture> pictures = Pictures("f", 3);
    auto controller = ServeFixAlbum("Fix", pictures, kOptWriteNameFile);
    ASSERT_TRUE(Download(*controller, {0}).Complete());
    const fs::path folder = AlbumFolder("Fix");
    ASSERT_TRUE(fs::exists(folder / "Fix (2).png"));
    // The checksum made while the bytes arrived follows the renamed file.
    {
        auto archive = OpenArchive();
        const auto saved =
            archive->FindSaved(PictureAddress("/f/2.jpg"), Utf8ToWide((folder / "Fix (2).png").string()));
        ASSERT_EQ(saved.size(), 1u);
        EXPECT_EQ(saved[0].sha256, Sha256Hex(ReadWhole(folder / "Fix (2).png")));
        EXPECT_EQ(saved[0].sha256.size(), 64u);
    }

    site_.clearRequests();
    const DownloadReport again = Download(*controller, {0});
    EXPECT_EQ(again.albums[0].skipped, 3u);
    EXPECT_EQ(PictureRequests(pictures), 0u);
    // No second copy beside the renamed one.
    EXPECT_FALSE(fs::exists(folder / "Fix (2).jpg"));
    EXPECT_TRUE(fs::exists(folder / "Fix (2).png"));
    EXPECT_TRUE(fs::exists(folder / "Fix.txt"));
}

TEST_F(ResumeTest, FailuresLeaveNoMarkerAndAreRetried) {
    std::vector<Picture> pictures = Pictures("m", 4);
    auto broken = std::make_shared<std::atomic<bool>>(true);
    pictures[2].answer = Response::Status(404);
    ServeMember({{"Mark", pictures}});
    site_.route(kPictureHost, "/m/3.jpg", [broken](const Request&) {
        return *broken ? Response::Status(404) : Response::Text(PictureBytes("/m/3.jpg"), "image/jpeg");
    });
    auto controller = ReadyController();
    NameRules rules = controller->CurrentNameRules();
    rules.optionFlags |= kOptSkipDownloadedBefore;
    controller->UpdateNameRules(rules);
    const DownloadReport first = Download(*controller, {0});
    ASSERT_EQ(first.albums[0].failures.size(), 1u);
    EXPECT_FALSE(fs::exists(AlbumFolder("Mark") / "pic.lumora"));
    ASSERT_EQ(controller->LastFailures().size(), 1u);
    EXPECT_EQ(controller->LastFailures()[0].reason, u"HTTP 错误 404");

    // The site is mended: a retry fetches just that picture, under its name,
    // and the album, whole now, gets its marker.
    *broken = false;
    site_.clearRequests();
    controller->RetryFailures(controller->OrderForRetry());
    controller->WaitForDownload();
    const DownloadReport retry = controller->lastReport();
    ASSERT_EQ(retry.albums.size(), 1u);
    EXPECT_EQ(retry.albums[0].saved, 1u);
    EXPECT_TRUE(retry.Complete());
    EXPECT_EQ(PictureRequests(pictures), 1u);
    EXPECT_EQ(ReadWhole(AlbumFolder("Mark") / "Mark (3).jpg"), PictureBytes("/m/3.jpg"));
    EXPECT_EQ(FromUtf16Le(ReadWhole(AlbumFolder("Mark") / "pic.lumora")), PictureAddress("/m/1.jpg"));
    EXPECT_TRUE(controller->LastFailures().empty());
}

// A pipe or a huge file where the marker belongs is no marker: the run
// neither hangs nor reads it, and the album's completion replaces it.
TEST_F(ResumeTest, AMarkerThatIsNoMarkerIsTakenAsNone) {
    ServeMember({{"Pipe", Pictures("p", 2)}, {"Huge", Pictures("h", 2)}});
    auto controller = ReadyController();
    NameRules rules = controller->CurrentNameRules();
    rules.optionFlags |= kOptSkipDownloadedBefore;
    controller->UpdateNameRules(rules);
    fs::create_directories(AlbumFolder("Pipe"));
    fs::create_directories(AlbumFolder("Huge"));
    ASSERT_EQ(mkfifo((AlbumFolder("Pipe") / "pic.lumora").c_str(), 0600), 0);
    std::ofstream(AlbumFolder("Huge") / "pic.lumora") << std::string(1 << 20, 'x');
    ASSERT_TRUE(Download(*controller, {0, 1}).Complete());
    for (const char* album : {"Pipe", "Huge"}) {
        const fs::path marker = AlbumFolder(album) / "pic.lumora";
        EXPECT_TRUE(fs::is_regular_file(marker)) << album;
        EXPECT_LT(fs::file_size(marker), 1000u) << album;
    }
}

TEST_F(ResumeTest, TransientFailuresAreRetriedWithinTheRun) {
    SetRetries(2);
    std::vector<Picture> pictures = Pictures("t", 4);
    ServeMember({{"Flaky", pictures}});
    auto seen = std::make_shared<std::atomic<int>>(0);
    site_.route(kPictureHost, "/t/2.jpg", [seen](const Request&) {
        return (*seen)++ == 0 ? Response::Status(503) : Response::Text(PictureBytes("/t/2.jpg"), "image/jpeg");
    });
    auto controller = ReadyController();
    const DownloadReport report = Download(*controller, {0});
    EXPECT_TRUE(report.Complete());
    EXPECT_EQ(site_.requestCount("/t/2.jpg"), 2u);
    EXPECT_TRUE(fs::exists(AlbumFolder("Flaky") / "pic.lumora"));
}

TEST_F(ResumeTest, ACrashsTemporaryFilesAreRemovedAndNothingElse) {
    ServeMember({{"Tmp", Pictures("c", 2)}});
    auto controller = ReadyController();
    ASSERT_TRUE(Download(*controller, {0}).Complete());
    const fs::path folder = AlbumFolder("Tmp");
    const fs::path leftover = folder / "Tmp (1).jpg.part-0123456789ab";
    const fs::path young = folder / "Tmp (2).jpg.part-abcdef012345";
    const fs::path notOurs = folder / "holiday.part-1";
    for (const fs::path& file : {leftover, young, notOurs}) std::ofstream(file) << "x";
    // Two minutes old: no live writer keeps a file that long without writing.
    const timeval old[2] = {{time(nullptr) - 120, 0}, {time(nullptr) - 120, 0}};
    utimes(leftover.c_str(), old);
    utimes(notOurs.c_str(), old);

    Download(*controller, {0});
    EXPECT_FALSE(fs::exists(leftover));
    EXPECT_TRUE(fs::exists(young));
    EXPECT_TRUE(fs::exists(notOurs));
}

TEST_F(ResumeTest, APictureListedTwiceIsSkippedForBothItems) {
    std::vector<Picture> pictures = Pictures("d", 2);
    pictures.push_back(pictures[0]);
    ServeMember({{"Twice", pictures}});
    auto controller = ReadyController();
    ASSERT_TRUE(Download(*controller, {0}).Complete());
    site_.clearRequests();
    const DownloadReport again = Download(*controller, {0});
    EXPECT_EQ(again.albums[0].skipped, 3u);
    EXPECT_EQ(PictureRequests(pictures), 0u);
}

// A kill between a format fix's rename and its record, and a second process
// that downloaded the same picture again: one copy stays, and it counts as saved.
TEST_F(ResumeTest, AnInterruptedFormatFixLeavesOneCopy) {
    std::vector<Picture> pictures = Pictures("k", 2);
    auto controller = ServeFixAlbum("Kill", pictures, 0);
    ASSERT_TRUE(Download(*controller, {0}).Complete());
    const fs::path folder = AlbumFolder("Kill");
    const std::u16string png = Utf8ToWide((folder / "Kill (2).png").string());
    const std::u16string jpg = Utf8ToWide((folder / "Kill (2).jpg").string());
    const std::u16string address = PictureAddress("/k/2.jpg");
    auto archive = OpenArchive();
    ASSERT_TRUE(archive);

    // The file was renamed, its record still names the old file.
    ASSERT_TRUE(archive->RecordMoved(address, png, jpg));
    site_.clearRequests();
    DownloadReport again = Download(*controller, {0});
    EXPECT_EQ(again.albums[0].skipped, 2u);
    EXPECT_EQ(PictureRequests(pictures), 0u);
    EXPECT_FALSE(fs::exists(folder / "Kill (2).jpg"));
    EXPECT_EQ(archive->FindSaved(address, jpg).front().path, png);

    // Another process saved it again under the old name and recorded that.
    fs::copy_file(folder / "Kill (2).png", folder / "Kill (2).jpg");
    ASSERT_TRUE(archive->RecordSaved({address, jpg, fs::file_size(folder / "Kill (2).jpg"), 0, u"album", ""}));
    again = Download(*controller, {0});
    EXPECT_EQ(again.albums[0].skipped, 2u);
    EXPECT_FALSE(fs::exists(folder / "Kill (2).jpg"));
    EXPECT_TRUE(fs::exists(folder / "Kill (2).png"));
}

// Another process holds the archive in a write transaction.
class ArchiveLock {
public:
    explicit ArchiveLock(const fs::path& file) {
        EXPECT_EQ(sqlite3_open(file.c_str(), &db_), SQLITE_OK);
        // The run before may still be closing its own connection.
        sqlite3_busy_timeout(db_, 10000);
        EXPECT_EQ(sqlite3_exec(db_, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr), SQLITE_OK);
    }
    ~ArchiveLock() { sqlite3_close(db_); }
    void Release() { sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr); }

private:
    sqlite3* db_ = nullptr;
};

// Releases the lock once the run saved `count` pictures, before the album ends.
class ReleaseAfter : public RunListener {
public:
    ReleaseAfter(ArchiveLock& lock, std::size_t count) : lock_(lock), left_(count) {}
    void PictureSaved(const PictureEvent&) override {
        if (--left_ == 0) lock_.Release();
    }

private:
    ArchiveLock& lock_;
    std::atomic<std::size_t> left_;
};

TEST_F(ResumeTest, RecordsABusyArchiveRefusedAreWrittenLaterOrReported) {
    const std::vector<Picture> pictures = Pictures("b", 4);
    ServeMember({{"Busy", pictures}});
    auto controller = ReadyController();
    { ASSERT_TRUE(OpenArchive()); }

    // Held while the pictures arrive: the run says so, goes on, and writes
    // the records when the album ends.
    {
        ArchiveLock lock(home_ / kArchiveFileName);
        ReleaseAfter release(lock, pictures.size());
        controller->runListeners().Add(release);
        const DownloadReport report = Download(*controller, {0});
        controller->runListeners().Remove(release);
        EXPECT_TRUE(report.Complete());
        EXPECT_EQ(report.unrecorded, 0u);
    }
    bool told = false;
    for (const auto& [id, text] : window_.textLog) told = told || text == u"下载记录被另一个程序占用，本次不记录";
    EXPECT_TRUE(told);
    site_.clearRequests();
    EXPECT_EQ(Download(*controller, {0}).albums[0].skipped, 4u);
    EXPECT_EQ(PictureRequests(pictures), 0u);

    // Held for the whole run: the pictures stay, the lost records are told,
    // and the run is not complete.
    fs::remove(AlbumFolder("Busy") / "Busy (1).jpg");
    ArchiveLock lock(home_ / kArchiveFileName);
    const DownloadReport report = Download(*controller, {0});
    EXPECT_EQ(report.unrecorded, 1u);
    EXPECT_FALSE(report.Complete());
    ASSERT_FALSE(window_.messages.empty());
    EXPECT_EQ(window_.messages.back(), u"下载记录未能保存1条：下载记录被另一个程序占用");
    EXPECT_TRUE(fs::exists(AlbumFolder("Busy") / "Busy (1).jpg"));
}

TEST_F(ResumeTest, ARetryThatCannotReadTheArchiveSaysSo) {
    std::ofstream(home_ / kArchiveFileName) << std::string(4096, 'x');
    auto controller = ReadyController();
    controller->RetryFailures(controller->OrderForRetry());
    controller->WaitForDownload();
    const DownloadReport report = controller->lastReport();
    EXPECT_TRUE(report.failuresUnread);
    EXPECT_FALSE(report.Complete());
    ASSERT_FALSE(window_.messages.empty());
    EXPECT_EQ(window_.messages.back(), u"无法读取上次失败的图片：下载记录打不开");
}

TEST_F(ResumeTest, AnArchiveOfTheEarlierLayoutKeepsItsRecords) {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open((home_ / kArchiveFileName).c_str(), &db), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(db,
                           "CREATE TABLE saved(address TEXT NOT NULL, folder TEXT NOT NULL, path TEXT NOT NULL,"
                           " size INTEGER NOT NULL, saved_at INTEGER NOT NULL, album TEXT NOT NULL,"
                           " PRIMARY KEY(address, folder));"
                           "CREATE INDEX saved_album ON saved(album);"
                           "INSERT INTO saved VALUES('http://x/1.jpg', '/save/', '/save/A (1).jpg', 5, 0, 'a');",
                           nullptr, nullptr, nullptr),
              SQLITE_OK);
    sqlite3_close(db);
    auto archive = OpenArchive();
    ASSERT_TRUE(archive);
    ASSERT_EQ(archive->FindSaved(u"http://x/1.jpg", u"/save/A (1).jpg").size(), 1u);
    // One record per item now: the same address under a second name is a second record.
    EXPECT_TRUE(archive->RecordSaved({u"http://x/1.jpg", u"/save/A (3).jpg", 5, 0, u"a", ""}));
    EXPECT_EQ(archive->SavedCount(), 2u);
    archive.reset();

    // The layout before checksums (version 1) gets the column, its records an empty checksum.
    const fs::path second = home_ / "v1";
    fs::create_directories(second);
    ASSERT_EQ(sqlite3_open((second / kArchiveFileName).c_str(), &db), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(db,
                           "CREATE TABLE saved(address TEXT NOT NULL, folder TEXT NOT NULL, path TEXT NOT NULL,"
                           " size INTEGER NOT NULL, saved_at INTEGER NOT NULL, album TEXT NOT NULL,"
                           " PRIMARY KEY(address, path));"
                           "INSERT INTO saved VALUES('http://x/1.jpg', '/save/', '/save/A (1).jpg', 5, 0, 'a');"
                           "PRAGMA user_version = 1;",
                           nullptr, nullptr, nullptr),
              SQLITE_OK);
    sqlite3_close(db);
    auto upgraded = DownloadArchive::Open(second / kArchiveFileName);
    ASSERT_TRUE(upgraded);
    const auto old = (*upgraded)->FindSaved(u"http://x/1.jpg", u"/save/A (1).jpg");
    ASSERT_EQ(old.size(), 1u);
    EXPECT_EQ(old[0].sha256, "");
    const std::string sum(64, 'a');
    EXPECT_TRUE((*upgraded)->RecordSaved({u"http://x/2.jpg", u"/save/A (2).jpg", 5, 0, u"a", sum}));
    EXPECT_EQ((*upgraded)->FindSaved(u"http://x/2.jpg", u"/save/A (2).jpg").at(0).sha256, sum);
}

TEST_F(ResumeTest, TwoArchivesOnOneFileDoNotLoseRecords) {
    auto first = OpenArchive();
    auto second = OpenArchive();
    ASSERT_TRUE(first && second);
    auto record = [](DownloadArchive& archive, const std::string& tag) {
        for (int n = 0; n < 200; ++n) {
            const std::u16string address = Utf8ToWide("http://x/" + tag + std::to_string(n));
            EXPECT_TRUE(archive.RecordSaved({address, u"/save/" + address.substr(9), 1, 0, u"album", ""}));
        }
    };
    std::thread a(record, std::ref(*first), "a");
    std::thread b(record, std::ref(*second), "b");
    a.join();
    b.join();
    EXPECT_EQ(first->SavedCount(), 400u);
}

}  // namespace
}  // namespace lumora::testing
