#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "base/FileReplacement.h"
#include "base/Utf16.h"

namespace lumora {
namespace {

namespace fs = std::filesystem;

// Names measure in UTF-8 bytes; a cut must never split a pair, and a lone
// surrogate costs the three bytes of the U+FFFD it is written as.
TEST(Utf16, CutsWholeCharactersWithinTheByteCount) {
    const std::u16string text =
        u"a\u00E9\u4E2D\U0001F600\xD800"
        "b";  // 1 + 2 + 3 + 4 + 3 + 1 bytes
    EXPECT_EQ(Utf8Length(text), 14u);
    EXPECT_EQ(CutToUtf8Bytes(text, 14), text);
    EXPECT_EQ(CutToUtf8Bytes(text, 9), u"a\u00E9\u4E2D");  // the pair needs 4, not 3
    EXPECT_EQ(CutToUtf8Bytes(text, 10), u"a\u00E9\u4E2D\U0001F600");
    EXPECT_EQ(CutToUtf8Bytes(text, 12), u"a\u00E9\u4E2D\U0001F600");
    EXPECT_EQ(CutToUtf8Bytes(text, 0), u"");
}

class FileReplacementTest : public testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "lumora-base-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        dir_ = pattern;
    }
    void TearDown() override { fs::remove_all(dir_); }

    // A new file beside `target`, taken over by `file`.
    void Start(FileReplacement& file, const fs::path& target) {
        const std::string temp = (dir_ / "new.tmp").string();
        const int fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        ASSERT_GE(fd, 0);
        file.Start(fd, temp, target);
    }
    std::size_t EntryCount() const {
        return static_cast<std::size_t>(std::distance(fs::directory_iterator(dir_), fs::directory_iterator()));
    }

    fs::path dir_;
};

TEST_F(FileReplacementTest, TheTargetIsTheOldFileOrTheWholeNewOneAndNoTemporaryStays) {
    const fs::path target = dir_ / "target";
    std::ofstream(target) << "old";
    {
        FileReplacement file;
        Start(file, target);
        EXPECT_TRUE(file.Write("half"));
    }  // dropped without Commit
    EXPECT_EQ(EntryCount(), 1u);
    FileReplacement file;
    Start(file, target);
    EXPECT_TRUE(file.Write("new "));
    EXPECT_TRUE(file.Write("text"));
    EXPECT_TRUE(file.Commit(true));
    EXPECT_EQ(file.error(), 0);
    std::ifstream in(target);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "new text");
    EXPECT_EQ(EntryCount(), 1u);
}

TEST_F(FileReplacementTest, AFailedRenameIsReportedAndCleanedUp) {
    // A folder that is not empty can never be replaced by a file.
    const fs::path target = dir_ / "folder";
    fs::create_directory(target);
    std::ofstream(target / "kept") << "x";
    FileReplacement file;
    Start(file, target);
    EXPECT_TRUE(file.Write("data"));
    EXPECT_FALSE(file.Commit(false));
    EXPECT_NE(file.error(), 0);
    EXPECT_TRUE(fs::exists(target / "kept"));
    EXPECT_EQ(EntryCount(), 1u);
    EXPECT_FALSE(file.Commit(false));  // once is all
}

}  // namespace
}  // namespace lumora
