#include "download/NamePreview.h"
#include "download/PictureNaming.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <initializer_list>
#include <unordered_set>
#include <vector>

#include "base/RunStates.h"
#include "download/AlbumCollector.h"
#include "text/StringCtrl.h"

using namespace lumora;
namespace fs = std::filesystem;

namespace {

using Names = std::vector<std::u16string>;

class NamingTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "lumora-naming-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        root_ = pattern;
        context_.rules = &rules_;
        context_.albumName = u"风景";
        StartAlbum();
    }
    void TearDown() override { fs::remove_all(root_); }

    // What the download run does before each album.
    void StartAlbum(std::u16string saveFolder = {}) {
        job_.Clear();
        job_.albumFolder = saveFolder.empty() ? SaveFolder() : saveFolder;
        state_ = 1;
    }
    std::u16string SaveFolder() const { return Utf8ToWide(root_.string()) + u"/"; }

    // As the download run collects an album.
    void Add(const std::u16string& address, const std::u16string& description = u"描述") {
        AlbumCollector collector(
            job_, context_, [this](const std::u16string& text) { progress_.push_back(text); },
            appendNames_ ? [this](const std::u16string& text) { pictureNames_.push_back(text); }
                         : std::function<void(const std::u16string&)>());
        if (!collector.Add(address, description, u"H")) state_ = DOWN_ALBUM_DONE;
    }
    // Adds `count` pictures with the same description and addresses p1, p2 ...
    void AddMany(int count, const std::u16string& description = u"描述") {
        for (int i = 1; i <= count; ++i) Add(u"http://img/p" + Utf8ToWide(std::to_string(i)), description);
    }
    void SetText(NameText& field, const std::u16string& text) { SetFieldText(field, text); }
    // A new album with one picture per entry, each entry serving as both
    // address and description.
    Names NameAlbum(std::initializer_list<std::u16string> entries) {
        StartAlbum();
        for (const auto& entry : entries) Add(entry, entry);
        return job_.fileNames;
    }

    fs::path root_;
    NameRules rules_;
    NamingContext context_;
    DownloadJob job_;
    std::atomic<std::uint8_t> state_{1};
    bool appendNames_ = true;
    Names progress_;
    Names pictureNames_;
};

std::u16string Repeat(const std::u16string& piece, int count) {
    std::u16string text;
    for (int i = 0; i < count; ++i) text += piece;
    return text;
}

// Every name must stay a single, real component inside the album folder.
void ExpectContained(const DownloadJob& job) {
    const std::string folderText = WideToUtf8(job.albumFolder);
    EXPECT_EQ(folderText.find("//"), std::string::npos);
    const fs::path folder = fs::path(folderText).lexically_normal().parent_path();
    for (const auto& name : job.fileNames) {
        const std::string utf8 = WideToUtf8(name);
        EXPECT_EQ(utf8.find('/'), std::string::npos) << utf8;
        EXPECT_NE(utf8, ".");
        EXPECT_NE(utf8, "..");
        EXPECT_FALSE(utf8.empty());
        EXPECT_LE(utf8.size(), kMaxComponentBytes);
        EXPECT_EQ((folder / utf8).lexically_normal().parent_path(), folder) << utf8;
    }
}

}  // namespace

// Naming itself makes no folder, reads no marker and tells nobody: a job
// for a folder that does not exist is named all the same.
TEST(PureNamingTest, NamesWithoutTouchingTheFileSystem) {
    NameRules rules;
    rules.baseNameChoice = 1;
    rules.optionFlags = kOptSkipDownloadedBefore;
    NamingContext context;
    context.rules = &rules;
    context.albumName = std::u16string(50, u'长') + u"/x";
    context.lastFirstAddress = u"http://img/p3";
    DownloadJob job;
    job.albumFolder = u"/nonexistent-lumora-save/";
    EXPECT_EQ(AlbumFolderName(context), std::u16string(50, u'长') + u"x");
    SetUpAlbumFolder(job, context);
    EXPECT_EQ(job.albumFolder, u"/nonexistent-lumora-save/" + std::u16string(50, u'长') + u"x/");
    EXPECT_EQ(AddPictureToJob(job, context, u"http://img/p1", u"", u""), PictureAdded::Added);
    EXPECT_EQ(AddPictureToJob(job, context, u"http://img/p2", u"", u""), PictureAdded::Added);
    EXPECT_EQ(AddPictureToJob(job, context, u"http://img/p3", u"", u""), PictureAdded::AlbumDone);
    EXPECT_EQ(job.fileNames, (std::vector<std::u16string>{u"1.jpg", u"2.jpg"}));
    EXPECT_FALSE(fs::exists("/nonexistent-lumora-save"));
}

// The preview runs the rules themselves: escapes, the collision number and
// the folder, and never stops at a marker it has no folder for.
TEST(PureNamingTest, ThePreviewNamesThreePicturesAsTheRulesWould) {
    NameRules rules;
    rules.baseNameChoice = 0;  // the description
    rules.optionFlags = kOptSkipDownloadedBefore;
    SetFieldText(rules.filePrefix, u"?9_");
    SetFieldText(rules.folderSuffix, u"(?3)");
    NamePreviewAlbum album;
    album.title = u"海边";
    album.position = 4;
    album.spaceName = u"某人/";
    NamePreview names = PreviewNames(rules, album);
    EXPECT_EQ(names.folder, u"某人/海边(5)/");
    EXPECT_EQ(names.files, (std::vector<std::u16string>{u"0005_日落.jpg", u"0005_日落(1).jpg", u"0005_远山.png"}));

    rules.baseNameChoice = 1;  // numbers
    rules.folderChoice = 1;    // no album folder
    SetFieldText(rules.folderSuffix, u"");
    names = PreviewNames(rules, NamePreviewAlbum{});
    EXPECT_EQ(names.folder, u"示例空间/");
    EXPECT_EQ(names.files, (std::vector<std::u16string>{u"0001_1.jpg", u"0001_2.jpg", u"0001_3.jpg"}));
}

TEST(PictureNamingHelpers, PictureExtensionsAndJobNames) {
    EXPECT_TRUE(HasPictureExtension(u"x.y.Tif"));
    EXPECT_FALSE(HasPictureExtension(u"a.jpg.txt"));
    EXPECT_FALSE(HasPictureExtension(u"jpg"));

    DownloadJob job;
    job.fileNames = {u"a.jpg", u"Ä.PNG", u"b.jpg"};
    EXPECT_EQ(FindJobName(job, u"ä.png"), 1);
    EXPECT_EQ(FindJobName(job, u"b.jpg "), -1);
}

TEST_F(NamingTest, NumberNamingCreatesFolderAndReportsProgress) {
    rules_.baseNameChoice = 1;
    AddMany(3);
    EXPECT_EQ(job_.fileNames, (Names{u"1.jpg", u"2.jpg", u"3.jpg"}));
    EXPECT_EQ(job_.albumFolder, SaveFolder() + u"风景/");
    EXPECT_TRUE(fs::is_directory(root_ / "风景"));
    EXPECT_EQ(job_.addresses[2], u"http://img/p3");
    EXPECT_EQ(job_.headerTexts, (Names{u"H", u"H", u"H"}));
    EXPECT_EQ(progress_, (Names{u"已获取到1张图片信息", u"已获取到2张图片信息", u"已获取到3张图片信息"}));
    EXPECT_TRUE(pictureNames_.empty());  // option 0x04 is off
}

TEST_F(NamingTest, EscapesInFileAndFolderNames) {
    rules_.baseNameChoice = 1;
    context_.albumPosition = 2;
    context_.extraNumber1 = 41;
    context_.extraNumber2 = 42;
    context_.pickedCount = 6;
    context_.albumCount = 7;
    context_.spaceName = u"member/";
    SetText(rules_.filePrefix, u"?9_");
    EXPECT_EQ(NameAlbum({u"a", u"b"}), (Names{u"0003_1.jpg", u"0003_2.jpg"}));

    SetText(rules_.filePrefix, u"?1_?2_?3_?4_?5_?6_?7_?8_");
    SetText(rules_.folderPrefix, u"?6_?9_?3_");
    SetText(rules_.folderSuffix, u"_?1");
    EXPECT_EQ(NameAlbum({u"a"}), (Names{u"风景_1_3_41_42_6_7_member_1.jpg"}));
    // Folder names know ?1, ?3 and ?9 only; the other "?" goes with cleaning.
    EXPECT_EQ(job_.albumFolder, SaveFolder() + u"6_0003_3_风景_风景/");
}

TEST_F(NamingTest, DescriptionNaming) {
    EXPECT_EQ(NameAlbum({u"  sunset  ", u"sunset", u"sunset", u"SUNSET"}),  // collisions ignore case
              (Names{u"sunset.jpg", u"sunset(1).jpg", u"sunset(2).jpg", u"SUNSET(3).jpg"}));
    EXPECT_EQ(NameAlbum({u"...", u"a:b*c", u"Tom &amp; Jerry.PNG"}),
              (Names{u"。。。.jpg", u"abc.jpg", u"Tom & Jerry.PNG"}));
    // Question marks only: the album name stands in, before prefix and suffix.
    SetText(rules_.filePrefix, u"pre_");
    SetText(rules_.fileSuffix, u"_suf");
    EXPECT_EQ(NameAlbum({u"???"}), (Names{u"pre_风景_suf.jpg"}));
}

TEST_F(NamingTest, AddressNaming) {
    rules_.baseNameChoice = 2;
    NameAlbum({u"http://img/x/a.JPG", u"http://img/y/b.png", u"http://img/z/a.jpg", u"http://img/w/a.jpg"});
    Add(u"/only-leading-slash");  // no usable "/": the number serves
    Add(u"noslash.gif");
    EXPECT_EQ(job_.fileNames, (Names{u"a.JPG", u"b.png", u"a.jpg(1).jpg", u"a.jpg(2).jpg", u"5.jpg", u"6.jpg"}));

    const std::u16string stamp = NameAlbum({u"http://img/dir/"})[0];
    ASSERT_EQ(stamp.size(), 18u);
    EXPECT_EQ(stamp.substr(14), u".jpg");
    for (std::size_t i = 0; i < 14; ++i) EXPECT_TRUE(stamp[i] >= u'0' && stamp[i] <= u'9');
}

TEST_F(NamingTest, ReplacementLists) {
    SetText(rules_.replaceWhat, u"a|b");
    SetText(rules_.replaceWith, u"x|y");
    EXPECT_EQ(NameAlbum({u"abcab"}), (Names{u"xycxy.jpg"}));
    // Different bar counts: only the whole text is replaced, here from the prefix.
    rules_.baseNameChoice = 1;
    SetText(rules_.filePrefix, u"a|b_a_");
    SetText(rules_.replaceWith, u"x");
    EXPECT_EQ(NameAlbum({u"abc"}), (Names{u"x_a_1.jpg"}));
}

TEST_F(NamingTest, NoAlbumFolderSharesTheSaveFolder) {
    rules_.baseNameChoice = 1;
    rules_.folderChoice = 1;
    AddMany(2);
    EXPECT_EQ(job_.albumFolder, SaveFolder());
    StartAlbum();
    context_.albumName = u"第二";
    AddMany(1);
    EXPECT_EQ(job_.albumFolder, SaveFolder());
    EXPECT_EQ(job_.fileNames, (Names{u"1.jpg"}));  // only this album's names count
}

TEST_F(NamingTest, LongAlbumFolderLimitsNames) {
    rules_.baseNameChoice = 1;
    rules_.folderChoice = 1;
    StartAlbum(SaveFolder() + std::u16string(250, u'd') + u"/");
    AddMany(3);
    EXPECT_EQ(job_.fileNames, (Names{u".jpg", u"2(1).jpg", u"3(1).jpg"}));

    // Room for 2 units, "1" and half of the pair: the pair goes whole.
    StartAlbum(SaveFolder() + std::u16string(248 - SaveFolder().size() - 1, u'd') + u"/");
    SetText(rules_.fileSuffix, u"\U0001F600x");
    AddMany(1);
    EXPECT_EQ(job_.fileNames[0], u"1.jpg");
}

TEST_F(NamingTest, SkipDownloadedBefore) {
    rules_.baseNameChoice = 1;
    rules_.optionFlags = kOptSkipDownloadedBefore;
    fs::create_directories(root_ / "风景");
    SaveLastFirstAddress(u"http://img/p5", SaveFolder() + u"风景/");
    for (int i = 1; i <= 8 && state_ == 1; ++i) Add(u"http://img/p" + Utf8ToWide(std::to_string(i)));
    EXPECT_EQ(job_.size(), 4u);
    EXPECT_EQ(state_, DOWN_ALBUM_DONE);
    EXPECT_EQ(progress_.size(), 4u);

    // The marker names the first picture: the folder is set up, nothing is added.
    context_.albumName = u"新";
    fs::create_directories(root_ / "新");
    SaveLastFirstAddress(u"http://img/p1", SaveFolder() + u"新/");
    StartAlbum();
    Add(u"http://img/p1");
    EXPECT_EQ(job_.albumFolder, SaveFolder() + u"新/");
    EXPECT_TRUE(job_.empty());
    EXPECT_EQ(state_, DOWN_ALBUM_DONE);
    EXPECT_EQ(LoadLastFirstAddress(job_.albumFolder), u"http://img/p1");

    // No marker: a picture without an address must not end the album.
    context_.albumName = u"无标记";
    StartAlbum();
    Add(u"");
    Add(u"http://img/p2");
    EXPECT_EQ(job_.size(), 2u);
    EXPECT_EQ(state_, 1);
}

TEST_F(NamingTest, PictureNameCallbackGetsTheRawDescription) {
    rules_.optionFlags = kOptWriteNameFile;
    Add(u"http://img/1", u"a:b*c (1)");
    Add(u"http://img/2", u"...");
    EXPECT_EQ(pictureNames_, (Names{u"a:b*c (1)", u"..."}));
    appendNames_ = false;
    Add(u"http://img/3", u"x");  // an empty callback is skipped
    EXPECT_EQ(job_.size(), 3u);
}

TEST_F(NamingTest, LongChineseNamesFitTheComponentLimit) {
    context_.albumName = Repeat(u"长", 120);  // 360 bytes of UTF-8
    const std::u16string description = Repeat(u"描述", 60) + u"\U0001F600.png";
    AddMany(12, description);

    const std::string folder = fs::path(WideToUtf8(job_.albumFolder)).parent_path().filename().string();
    EXPECT_EQ(folder, WideToUtf8(Repeat(u"长", 85)));  // 255 bytes, whole characters
    EXPECT_TRUE(fs::is_directory(WideToUtf8(job_.albumFolder)));

    std::unordered_set<std::u16string> seen;
    for (const auto& name : job_.fileNames) {
        EXPECT_TRUE(seen.insert(ToLowerSimple(name)).second) << WideToUtf8(name);
        EXPECT_EQ(Utf8ToWide(WideToUtf8(name)), name);  // no split character
    }
    EXPECT_EQ(job_.fileNames[0].substr(job_.fileNames[0].size() - 4), u".png");
    EXPECT_EQ(job_.fileNames[11].substr(job_.fileNames[11].size() - 8), u"(11).png");
    ExpectContained(job_);
}

TEST_F(NamingTest, HostileNamesStayInsideTheAlbumFolder) {
    context_.albumName = u"..";
    for (const std::u16string description : {u"..", u".", u"../../x", u"..\\..\\x", u" /etc/passwd", u"a/../../b",
                                             u"&quot;..&quot;", u"\t..", u"?/..", u"..."}) {
        Add(u"http://img/1", description);
    }
    EXPECT_EQ(job_.albumFolder, SaveFolder() + u"。。/");
    EXPECT_EQ(job_.fileNames[0], u"。。.jpg");
    EXPECT_EQ(job_.fileNames[2], u"x.jpg");
    EXPECT_EQ(job_.fileNames[4], u"etcpasswd.jpg");
    ExpectContained(job_);

    // Address naming, prefixes and folder affixes go through the same cleaning;
    // a folder name that cleans to nothing adds no folder level.
    StartAlbum();
    rules_.baseNameChoice = 2;
    SetText(rules_.filePrefix, u"../");
    SetText(rules_.folderSuffix, u"/../");
    SetText(rules_.replaceWhat, u"x");
    SetText(rules_.replaceWith, u"/..");
    Add(u"http://img/..");
    Add(u"http://img/x");
    Add(u"http://img/a?name=../../etc");
    EXPECT_EQ(job_.albumFolder, SaveFolder());
    ExpectContained(job_);
}

TEST_F(NamingTest, AbsoluteDescriptionIsTheWholePath) {
    const std::u16string own = SaveFolder() + u"own/pic.png";
    Add(u"http://img/1", own);
    Add(u"http://img/2", own);
    EXPECT_EQ(job_.fileNames, (Names{own, own + u"(1).png"}));
    EXPECT_EQ(job_.SavePath(0), own);
}

TEST_F(NamingTest, LargeAlbumOfEqualNamesNamesQuickly) {
    const auto start = std::chrono::steady_clock::now();
    AddMany(2000, u"sunset");
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_LT(seconds, 1.0);
    EXPECT_EQ(job_.fileNames[1999], u"sunset(1999).jpg");
    std::unordered_set<std::u16string> seen(job_.fileNames.begin(), job_.fileNames.end());
    EXPECT_EQ(seen.size(), 2000u);
}
