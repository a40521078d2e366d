// Extension fixing, time stamps and the picture-name file, on real folders.
#include <sys/stat.h>

#include <optional>

#include "download/PostProcessing.h"
#include "settings/settings_test_support.h"
#include "text/StringCtrl.h"

namespace lumora {
namespace {

namespace fs = std::filesystem;

const std::string kPng = "\x89PNG\r\n\x1a\n";
const std::string kJpeg = "\xFF\xD8\xFF\xE0";

class PostProcessTest : public testing::ScratchFolderTest {
protected:
    void SetUp() override {
        ScratchFolderTest::SetUp();
        job_.albumFolder = Utf8ToWide(dir_.string()) + u"/";
    }
    void AddItem(const std::string& name, const std::optional<std::string>& bytes) {
        job_.addresses.push_back(u"http://img.example/" + Utf8ToWide(name));
        job_.fileNames.push_back(Utf8ToWide(name));
        job_.headerTexts.emplace_back();
        if (bytes) WriteBytes(name, *bytes);
    }
    struct stat Stat(const std::string& name) const {
        struct stat info {};
        EXPECT_EQ(stat((dir_ / name).c_str(), &info), 0) << name;
        return info;
    }

    DownloadJob job_;
};

TEST_F(PostProcessTest, ExtensionFollowsTheFirstBytes) {
    AddItem("12.jpg", kPng);
    AddItem("13.JPG", kJpeg);
    AddItem("14.jpg", "GIF89a");
    AddItem("15.jpg", "BM");  // shorter than the 7 bytes read
    AddItem("16.jpg", "<html><body>404</body></html>");
    AddItem("17.jpg", std::nullopt);  // a failed download
    FixPictureFormats(job_);

    EXPECT_EQ(job_.fileNames, (StringArray{u"12.png", u"13.jpg", u"14.gif", u"15.bmp", u"16.jpg", u"17.jpg"}));
    EXPECT_EQ(ReadBytes("12.png"), kPng);
    EXPECT_EQ(ReadBytes("15.bmp"), "BM");
    EXPECT_FALSE(fs::exists(dir_ / "12.jpg"));
    EXPECT_FALSE(fs::exists(dir_ / "13.JPG"));
    EXPECT_TRUE(fs::exists(dir_ / "16.jpg"));
}

TEST_F(PostProcessTest, HeaderTableIsTestedInItsOrder) {
    const std::pair<const char*, std::u16string> cases[] = {
        {"\0\0\x02\0\0", u".tga"},   {"\0\0\x10\0\0", u".tga"}, {"\0\0\x02\0\x01", u".cur"},
        {"\0\0\x01\0\x01", u".ico"}, {"II*\0\0", u".tiff"},     {"MM\0*\0", u".tiff"},
        {"BMMM\0", u".bmp"},         {"\0\0\x03\0\0", u""},     {"GIX\0\0", u""},
    };
    for (const auto& [head, extension] : cases)
        EXPECT_EQ(ExtensionForHeader(reinterpret_cast<const unsigned char*>(head)), extension);
}

TEST_F(PostProcessTest, TakenNameIsNeverReplaced) {
    AddItem("a.jpg", kPng);
    AddItem("a.png", "other picture");
    FixPictureFormats(job_);
    EXPECT_EQ(job_.fileNames, (StringArray{u"a.jpg", u"a.png"}));
    EXPECT_EQ(ReadBytes("a.jpg"), kPng);
    EXPECT_EQ(ReadBytes("a.png"), "other picture");

    // The fallback for file systems without RENAME_NOREPLACE refuses as well.
    const std::string from = (dir_ / "a.jpg").string(), to = (dir_ / "a.png").string();
    EXPECT_FALSE(MoveByLinking(from, to));
    EXPECT_EQ(ReadBytes("a.png"), "other picture");
    EXPECT_TRUE(MoveByLinking(from, (dir_ / "b.png").string()));
    EXPECT_FALSE(fs::exists(from));
}

TEST_F(PostProcessTest, OnlyTheFileNameCarriesTheExtension) {
    fs::create_directories(dir_ / "v1.2");
    AddItem("x.jpg", std::nullopt);
    job_.fileNames[0] = Utf8ToWide((dir_ / "v1.2/shot").string());  // absolute, without extension
    WriteBytes("v1.2/shot", kPng);
    FixPictureFormats(job_);
    EXPECT_EQ(job_.fileNames[0], Utf8ToWide((dir_ / "v1.2/shot.png").string()));
    EXPECT_EQ(ReadBytes("v1.2/shot.png"), kPng);
}

TEST_F(PostProcessTest, OrderStampsOneMinuteApartNewestFirst) {
    for (const char* name : {"1.jpg", "2.jpg", "3.jpg", "4.jpg"}) AddItem(name, kJpeg);
    fs::remove(dir_ / "2.jpg");
    const std::time_t before = std::time(nullptr);
    FixPictureOrder(job_);
    const std::time_t after = std::time(nullptr);

    const struct stat first = Stat("1.jpg");
    EXPECT_GE(first.st_mtim.tv_sec, before);
    EXPECT_LE(first.st_mtim.tv_sec, after);
    // A missing item still takes its minute.
    EXPECT_EQ(Stat("3.jpg").st_mtim.tv_sec, first.st_mtim.tv_sec - 120);
    EXPECT_EQ(Stat("4.jpg").st_mtim.tv_sec, first.st_mtim.tv_sec - 180);
    EXPECT_EQ(Stat("4.jpg").st_atim.tv_sec, first.st_mtim.tv_sec - 180);
}

class PictureNameFileTest : public PostProcessTest {
protected:
    // What the naming code does per picture: append the item, then the line.
    void AddPicture(const std::u16string& description) {
        AddItem(std::to_string(job_.size() + 1) + ".jpg", std::nullopt);
        append_(description);
    }
    static std::string Utf16File(const std::u16string& text) { return "\xFF\xFE" + ToUtf16Le(text); }

    PictureNameFile names_;
    std::function<void(const std::u16string&)> append_ = names_.Appender();
};

TEST_F(PictureNameFileTest, OneLinePerPictureAndAFreshFileOnTheNextDownload) {
    const std::u16string saveFolder = job_.albumFolder;
    names_.Start(job_, u"日落");
    job_.albumFolder += u"album/";  // named with the first picture
    fs::create_directory(dir_ / "album");
    AddPicture(u"日落 (1)");
    AddPicture(u"日落 (2)");
    EXPECT_EQ(ReadBytes("album/日落.txt"), Utf16File(u"日落 (1)\r\n日落 (2)\r\n"));  // on disk at once
    AddPicture(u"日落 (3)");
    EXPECT_EQ(ReadBytes("album/日落.txt"), Utf16File(u"日落 (1)\r\n日落 (2)\r\n日落 (3)\r\n"));

    // An album that yields no picture leaves the earlier file alone...
    job_.Clear();
    job_.albumFolder = saveFolder + u"album/";
    names_.Start(job_, u"日落");
    EXPECT_EQ(fs::file_size(dir_ / "album/日落.txt"), 2u + 3 * 2 * 8);
    // ...its first picture starts it afresh.
    AddPicture(u"line\r\nbreak");
    EXPECT_EQ(ReadBytes("album/日落.txt"), Utf16File(u"line  break\r\n"));
}

TEST_F(PictureNameFileTest, PlantedLinksAndSlashesStayOutside) {
    WriteBytes("outside.txt", "keep");
    fs::create_symlink(dir_ / "outside.txt", dir_ / "a.txt");
    names_.Start(job_, u"a");
    AddPicture(u"first");
    EXPECT_EQ(ReadBytes("outside.txt"), "keep");
    fs::remove(dir_ / "a.txt");
    fs::create_symlink(dir_ / "outside.txt", dir_ / "a.txt");  // planted mid-album
    AddPicture(u"second");
    EXPECT_EQ(ReadBytes("outside.txt"), "keep");

    job_.Clear();
    names_.Start(job_, u"../x/y");
    AddPicture(u"third");
    EXPECT_EQ(names_.Path(), job_.albumFolder + u"..xy.txt");
    EXPECT_EQ(ReadBytes("..xy.txt"), Utf16File(u"third\r\n"));
}

}  // namespace
}  // namespace lumora
