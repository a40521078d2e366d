// A backup that can be trusted without Lumora: the album manifest a run
// writes, and the check and repair of saved pictures, against the loopback
// site and real files.
#include <fstream>
#include <sstream>

#include "app/SavedPictureCheck.h"
#include "controller_fixture.h"
#include "download/AlbumManifest.h"
#include "web/Sha256.h"

namespace lumora::testing {
namespace {

using testsite::Response;
namespace fs = std::filesystem;

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream data;
    data << in.rdbuf();
    return data.str();
}

// What picture n of the album is: a JPEG with its end marker, of its own bytes.
std::string Picture(int n) { return "\xFF\xD8" + std::string(600 + n, static_cast<char>('a' + n)) + "\xFF\xD9"; }

class BackupCheckTest : public ControllerTest {
protected:
    // Member "m" with album "A" of `count` pictures at img.pconline.com.cn/1/<n>.jpg.
    void ServeAlbum(int count) {
        std::string page = "<html><body><ul>";
        for (int n = 1; n <= count; ++n) {
            const std::string path = "/1/" + std::to_string(n);
            page += "<li class=\"picture\"><a href=\"#\"><img src=\"//img.pconline.com.cn" + path +
                    "_mthumb.jpg\" alt=\"x\"></a></li>\n";
            site_.route(kPictureHost, path + ".jpg", Response::Text(Picture(n), "image/jpeg"));
        }
        site_.route(kCommunityHost, "/photo/list_1.html", Response::Text(page + "</ul></body></html>"));
        ServePage("m", 1, ListPage("Member", AlbumBlock("1", "A", "//img.pconline.com.cn/c.jpg"), false));
    }

    std::unique_ptr<MainController> Downloaded(bool verifySaved = false) {
        auto controller = MakeController();
        GetAlbums(*controller, u"http://dp.pconline.com.cn/m/");
        Download(*controller, verifySaved);
        return controller;
    }

    DownloadReport Download(MainController& controller, bool verifySaved = false) {
        DownloadOrder order = controller.OrderFor({0}, Utf8ToWide((home_ / "save").string()));
        order.verifySaved = verifySaved;
        controller.Download(std::move(order));
        controller.WaitForDownload();
        return controller.lastReport();
    }

    fs::path Album() const { return home_ / "save" / "Member" / "A"; }
    fs::path File(int n) const { return Album() / ("A (" + std::to_string(n) + ").jpg"); }
    std::u16string AlbumFolder() const { return Utf8ToWide(Album().string()) + u"/"; }

    SavedPictureReport Check(const std::vector<std::u16string>& folders) {
        return CheckSavedPictures(home_, folders, {});
    }
};

TEST_F(BackupCheckTest, TheManifestTellsEachPicturesEndAndARetryMendsIt) {
    ServeAlbum(4);
    site_.route(kPictureHost, "/1/2.jpg", Response::Status(404));
    site_.route(kPictureHost, "/1/3.jpg", Response::Text(std::string(3000, 'x'), "image/jpeg"));
    auto controller = MakeController();
    DownloadParams params = controller->CurrentDownloadParams();
    params.maxKB = 2;
    controller->UpdateDownloadParams(params);
    GetAlbums(*controller, u"http://dp.pconline.com.cn/m/");
    Download(*controller);

    std::optional<AlbumManifest> manifest = ParseManifest(ReadFile(Album() / kManifestFileName));
    ASSERT_TRUE(manifest);
    EXPECT_EQ(manifest->title, u"A");
    EXPECT_EQ(manifest->address, u"http://dp.pconline.com.cn/photo/list_1.html");
    EXPECT_EQ(manifest->spaceName, u"Member");
    EXPECT_EQ(manifest->memberAddress, u"http://dp.pconline.com.cn/m/");
    EXPECT_FALSE(manifest->savedAt.empty());
    ASSERT_EQ(manifest->pictures.size(), 4u);
    const ManifestPicture& first = manifest->pictures[0];
    EXPECT_EQ(first.position, 1);
    EXPECT_EQ(first.address, u"http://img.pconline.com.cn/1/1.jpg");
    EXPECT_EQ(first.description, u"A (1)");  // the page's own text for it
    EXPECT_EQ(first.file, u"A (1).jpg");
    EXPECT_EQ(first.state, ManifestState::Saved);
    EXPECT_EQ(first.size, Picture(1).size());
    EXPECT_EQ(first.sha256, Sha256Hex(ReadFile(File(1))));
    EXPECT_EQ(manifest->pictures[1].state, ManifestState::Failed);
    EXPECT_EQ(manifest->pictures[1].reason, u"HTTP 错误 404");
    EXPECT_EQ(manifest->pictures[2].state, ManifestState::Filtered);
    EXPECT_FALSE(manifest->pictures[2].reason.empty());
    EXPECT_EQ(manifest->pictures[2].file, u"A (3).jpg");
    EXPECT_EQ(manifest->pictures[3].state, ManifestState::Saved);
    EXPECT_EQ(manifest->pictures[3].position, 4);

    // The retry fetches one picture; the manifest keeps the album and the
    // picture's place and description, and says it is saved now.
    site_.route(kPictureHost, "/1/2.jpg", Response::Text(Picture(2), "image/jpeg"));
    controller->RetryFailures(controller->OrderForRetry());
    controller->WaitForDownload();
    manifest = ParseManifest(ReadFile(Album() / kManifestFileName));
    ASSERT_TRUE(manifest);
    ASSERT_EQ(manifest->pictures.size(), 4u);
    EXPECT_EQ(manifest->memberAddress, u"http://dp.pconline.com.cn/m/");
    const ManifestPicture& second = manifest->pictures[1];
    EXPECT_EQ(second.position, 2);
    EXPECT_EQ(second.description, u"A (2)");
    EXPECT_EQ(second.state, ManifestState::Saved);
    EXPECT_EQ(second.sha256, Sha256Hex(Picture(2)));
    EXPECT_EQ(manifest->pictures[2].state, ManifestState::Filtered);

    // Switched off, no album gets one.
    AppSettings settings = LoadAppSettings(home_);
    settings.writeManifest = false;
    ASSERT_TRUE(SaveAppSettings(home_, settings));
    fs::remove(Album() / kManifestFileName);
    Download(*controller);
    EXPECT_FALSE(fs::exists(Album() / kManifestFileName));
}

TEST_F(BackupCheckTest, ChecksFindAFlippedByteATruncatedAndAMissingFileAndRepairFetchesExactlyThose) {
    ServeAlbum(5);
    auto controller = Downloaded();
    ASSERT_EQ(fs::file_size(File(5)), Picture(5).size());
    EXPECT_TRUE(Check({}).Whole());
    // A copy elsewhere (a backup disk) is checked by its manifest alone.
    const fs::path copy = home_ / "backup" / "A";
    fs::create_directories(copy.parent_path());
    fs::copy(Album(), copy);

    {
        std::fstream file(File(1), std::ios::in | std::ios::out | std::ios::binary);
        file.seekp(100);
        file.put('!');
    }
    fs::resize_file(File(2), 300);
    fs::remove(File(3));
    fs::remove(copy / "A (4).jpg");
    for (const std::vector<std::u16string>& folders : {std::vector<std::u16string>{}, {AlbumFolder()}}) {
        const SavedPictureReport report = Check(folders);
        EXPECT_EQ(report.checked, 5u);
        ASSERT_EQ(report.problems.size(), 3u);
        EXPECT_EQ(report.problems[0].problem, SavedProblem::Changed);
        EXPECT_EQ(report.problems[1].problem, SavedProblem::Size);
        EXPECT_EQ(report.problems[1].sizeNow, 300u);
        EXPECT_EQ(report.problems[2].problem, SavedProblem::Missing);
        EXPECT_EQ(report.problems[2].file.path, Utf8ToWide(File(3).string()));
        EXPECT_FALSE(report.Whole());
    }
    const SavedPictureReport backup = Check({Utf8ToWide((home_ / "backup").string())});
    ASSERT_EQ(backup.problems.size(), 1u);
    EXPECT_EQ(backup.problems[0].problem, SavedProblem::Missing);
    EXPECT_EQ(backup.checked, 5u);
    const SavedPictureReport nowhere = Check({Utf8ToWide((home_ / "nowhere").string())});
    EXPECT_EQ(nowhere.missingFolders.size(), 1u);
    EXPECT_FALSE(nowhere.Whole());

    site_.clearRequests();
    const SavedPictureReport found = Check({AlbumFolder()});
    controller->RepairPictures(controller->OrderForRepair(RepairRows(found)));
    controller->WaitForDownload();
    for (int n = 1; n <= 5; ++n) {
        EXPECT_EQ(site_.requestCount("/1/" + std::to_string(n) + ".jpg"), n <= 3 ? 1u : 0u) << n;
        EXPECT_EQ(ReadFile(File(n)), Picture(n)) << n;
    }
    EXPECT_TRUE(Check({}).Whole());
    EXPECT_TRUE(Check({AlbumFolder()}).Whole());
}

TEST_F(BackupCheckTest, AnAlbumGetsItsManifestWhenTheArchiveCannotBeOpened) {
    ServeAlbum(2);
    fs::create_directories(home_ / kArchiveFileName);  // no database can be opened there
    Downloaded();
    const std::optional<AlbumManifest> manifest = ParseManifest(ReadFile(Album() / kManifestFileName));
    ASSERT_TRUE(manifest);
    ASSERT_EQ(manifest->pictures.size(), 2u);
    EXPECT_EQ(manifest->pictures[1].sha256, Sha256Hex(Picture(2)));
    // The manifest alone is enough to check the folder.
    const SavedPictureReport report = Check({AlbumFolder()});
    EXPECT_EQ(report.checked, 2u);
    EXPECT_TRUE(report.problems.empty());
}

TEST_F(BackupCheckTest, SkipSavedTakesAChangedFileOnlyWithoutVerify) {
    ServeAlbum(3);
    auto controller = Downloaded();
    {
        std::fstream file(File(2), std::ios::in | std::ios::out | std::ios::binary);
        file.seekp(10);
        file.put('!');
    }
    site_.clearRequests();
    EXPECT_EQ(Download(*controller).albums.at(0).skipped, 3u);
    EXPECT_EQ(site_.requestCount("/1/2.jpg"), 0u);
    const DownloadReport verified = Download(*controller, true);
    EXPECT_EQ(verified.albums.at(0).skipped, 2u);
    EXPECT_EQ(verified.albums.at(0).saved, 1u);
    EXPECT_EQ(site_.requestCount("/1/2.jpg"), 1u);
    EXPECT_EQ(ReadFile(File(2)), Picture(2));
}

TEST(SavedFileCheckTest, WithoutAChecksumAPageOrACutPictureIsStillFound) {
    const fs::path folder = fs::temp_directory_path() / ("lumora-saved-check-" + std::to_string(getpid()));
    fs::create_directories(folder);
    const auto write = [&](const char* name, const std::string& bytes) {
        std::ofstream(folder / name, std::ios::binary) << bytes;
        return SavedFile{Utf8ToWide((folder / name).string()), u"a", {}, {}, {}, bytes.size(), {}};
    };
    EXPECT_EQ(CheckSavedFile(write("page.jpg", "\n<html>gone</html>")).problem, SavedProblem::NotPicture);
    EXPECT_EQ(CheckSavedFile(write("cut.jpg",
                                   "\xFF\xD8\xFF\xE0\x00\x04xx\xFF\xDA\x00\x02"
                                   "abc"))
                  .problem,
              SavedProblem::NotPicture);
    EXPECT_EQ(CheckSavedFile(write("whole.jpg", Picture(1))).problem, SavedProblem::None);
    EXPECT_EQ(CheckSavedFile(write("other.gif", "GIF89a....")).problem, SavedProblem::None);
    // With a checksum, changed bytes that are no whole picture say so.
    SavedFile changed = write("changed.jpg", Picture(2).substr(0, 200) + std::string(Picture(2).size() - 200, 'z'));
    changed.sha256 = Sha256Hex(Picture(2));
    EXPECT_EQ(CheckSavedFile(changed).problem, SavedProblem::NotPicture);
    fs::remove_all(folder);
}

TEST(AlbumManifestTest, ReadsBackWhatItWritesAndRefusesOtherFiles) {
    AlbumManifest manifest{u"标题", u"http://a/1.html", u"空间", u"http://a/m/", "2026-12-10T10:00:00Z", {}};
    manifest.pictures.push_back({1, u"http://a/1.jpg", u"说明\"引号\"", u"1.jpg", ManifestState::Saved, 12, "ab", {}});
    manifest.pictures.push_back({2, u"http://a/2.jpg", u"", u"2.jpg", ManifestState::Failed, 0, {}, u"超时"});
    const std::optional<AlbumManifest> read = ParseManifest(ManifestJson(manifest));
    ASSERT_TRUE(read);
    EXPECT_EQ(read->title, manifest.title);
    EXPECT_EQ(read->savedAt, manifest.savedAt);
    ASSERT_EQ(read->pictures.size(), 2u);
    EXPECT_EQ(read->pictures[0].description, u"说明\"引号\"");
    EXPECT_EQ(read->pictures[0].size, 12u);
    EXPECT_EQ(read->pictures[1].reason, u"超时");
    EXPECT_FALSE(ParseManifest("{\"version\": 2, \"pictures\": []}"));
    EXPECT_FALSE(ParseManifest("not json"));
    EXPECT_FALSE(ParseManifest("[1, 2]"));

    // A later run's unfinished picture leaves the earlier entry; a format fix's new extension replaces it.
    AlbumManifest update;
    update.pictures.push_back({1, u"http://a/1.jpg", u"", u"1.jpg", ManifestState::Unfinished, 0, {}, {}});
    update.pictures.push_back({0, u"http://a/2.jpg", u"", u"2.png", ManifestState::Saved, 5, "cd", {}});
    const AlbumManifest merged = MergeManifest(manifest, update);
    ASSERT_EQ(merged.pictures.size(), 2u);
    EXPECT_EQ(merged.title, u"标题");
    EXPECT_EQ(merged.pictures[0].state, ManifestState::Saved);
    EXPECT_EQ(merged.pictures[0].sha256, "ab");
    EXPECT_EQ(merged.pictures[1].file, u"2.png");
    EXPECT_EQ(merged.pictures[1].position, 2);
}

}  // namespace
}  // namespace lumora::testing
