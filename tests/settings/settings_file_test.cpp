#include <cstdlib>
#include <optional>

#include "settings/SettingsFile.h"
#include "settings_test_support.h"

namespace lumora {
namespace {

namespace fs = std::filesystem;

class SettingsFileTest : public testing::ScratchFolderTest {
protected:
    std::vector<std::uint8_t> FileImage() const {
        const std::string bytes = ReadBytes("soft.dat");
        return {bytes.begin(), bytes.end()};
    }
    std::size_t EntryCount() const {
        return static_cast<std::size_t>(std::distance(fs::directory_iterator(dir_), fs::directory_iterator()));
    }
};

TEST_F(SettingsFileTest, MissingFileGivesNewInstallDefaultsAndIsWrittenAtOnce) {
    const SettingsBlock block = LoadSettings(dir_);
    for (const DownloadParams& p : block.downloadParams) EXPECT_EQ(p, (DownloadParams{0, 0, 5, 30}));
    EXPECT_EQ(block.nameRules[7].optionFlags, kOptLargePictures);
    EXPECT_EQ(block.nameRules[8].baseNameChoice, 1);
    EXPECT_EQ(block.nameRules[11].optionFlags, kOptFixPictureOrder);
    EXPECT_EQ(block.nameRules[16].optionFlags, kOptFixPictureOrder);
    EXPECT_EQ(block.nameRules[kCurrentSite], NameRules{});
    EXPECT_EQ(FileImage(), SerializeSettings(block));
    EXPECT_EQ(EntryCount(), 1u);  // no temporary file left beside it
}

TEST_F(SettingsFileTest, ShortFileKeepsItsBytesAndIsRewrittenWhole) {
    SettingsBlock source;
    for (std::uint16_t i = 0; i < kSiteRecords; ++i)
        source.downloadParams[i] = {static_cast<std::uint16_t>(i + 1), static_cast<std::uint16_t>(i + 700),
                                    static_cast<std::uint16_t>(i % 15 + 1), static_cast<std::uint16_t>(i + 10)};
    const std::vector<std::uint8_t> full = SerializeSettings(source);
    WriteBytes("soft.dat", std::string(full.begin(), full.begin() + 100));

    const SettingsBlock block = LoadSettings(dir_);
    const std::vector<std::uint8_t> image = FileImage();
    ASSERT_EQ(image.size(), 19808u);
    EXPECT_TRUE(std::equal(image.begin(), image.begin() + 100, full.begin()));
    // Record 12 got only its sizes from the file; the zeros after them were repaired.
    EXPECT_EQ(block.downloadParams[12], (DownloadParams{13, 712, 5, 30}));
    EXPECT_TRUE(std::all_of(image.begin() + 192, image.end(), [](std::uint8_t b) { return b == 0; }));
}

TEST_F(SettingsFileTest, OutOfRangeParamsAreRepairedAndWrittenBack) {
    SettingsBlock stored;
    for (DownloadParams& p : stored.downloadParams) p = {1, 2, 15, 10};
    stored.downloadParams[kCurrentSite] = {100, 50, 0, 5};
    stored.downloadParams[3] = {0, 0, 16, 9};
    ASSERT_TRUE(SaveSettings(dir_, stored));

    const SettingsBlock block = LoadSettings(dir_);
    EXPECT_EQ(block.downloadParams[kCurrentSite], (DownloadParams{100, 50, 5, 30}));
    EXPECT_EQ(block.downloadParams[3], (DownloadParams{0, 0, 5, 30}));
    EXPECT_EQ(block.downloadParams[4], (DownloadParams{1, 2, 15, 10}));
    EXPECT_EQ(FileImage(), SerializeSettings(block));
}

TEST_F(SettingsFileTest, BytesBeyondTheBlockAreIgnored) {
    SettingsBlock stored = DefaultSettings();
    SetHistoryText(stored, HistoryKind::SaveFolder, 2, u"/home/u/图片/");
    const std::vector<std::uint8_t> image = SerializeSettings(stored);
    std::string bytes(image.begin(), image.end());
    bytes.resize(1 << 20, '\x7F');
    WriteBytes("soft.dat", bytes);

    EXPECT_EQ(LoadSettings(dir_), stored);
    EXPECT_EQ(fs::file_size(dir_ / "soft.dat"), 19808u);
}

TEST_F(SettingsFileTest, SaveFailsQuietlyWithoutAFolder) {
    EXPECT_FALSE(SaveSettings(dir_ / "missing", SettingsBlock{}));
    EXPECT_FALSE(fs::exists(dir_ / "missing"));
}

TEST_F(SettingsFileTest, ALinkedFileStaysLinkedAndABrokenLinkIsLeftAlone) {
    fs::create_directories(dir_ / "dotfiles");
    fs::create_symlink(dir_ / "dotfiles" / "soft.dat", dir_ / "soft.dat");
    EXPECT_EQ(LoadSettings(dir_), DefaultSettings());
    EXPECT_FALSE(fs::exists(dir_ / "dotfiles" / "soft.dat"));

    WriteBytes("dotfiles/soft.dat", "");
    SettingsBlock block = DefaultSettings();
    block.downloadParams[0] = {1, 2, 3, 40};
    ASSERT_TRUE(SaveSettings(dir_, block));
    EXPECT_TRUE(fs::is_symlink(dir_ / "soft.dat"));
    EXPECT_EQ(LoadSettings(dir_), block);
}

// Sets environment variables for one test and restores them after.
class ScopedEnv {
public:
    void Set(const char* name, const char* value) {
        const char* old = std::getenv(name);
        saved_.emplace_back(name, old ? std::optional<std::string>(old) : std::nullopt);
        value ? ::setenv(name, value, 1) : ::unsetenv(name);
    }
    ~ScopedEnv() {
        for (auto it = saved_.rbegin(); it != saved_.rend(); ++it)
            it->second ? ::setenv(it->first.c_str(), it->second->c_str(), 1) : ::unsetenv(it->first.c_str());
    }

private:
    std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
};

TEST_F(SettingsFileTest, ProgramFolderFollowsLumoraHomeThenXdgConfigHome) {
    ScopedEnv env;
    env.Set("HOME", dir_.c_str());
    env.Set("LUMORA_HOME", nullptr);
    env.Set("XDG_CONFIG_HOME", "relative/ignored");
    EXPECT_EQ(ProgramFolder(), dir_ / ".config" / "lumora" / "");
    EXPECT_TRUE(fs::is_directory(dir_ / ".config" / "lumora"));
    env.Set("XDG_CONFIG_HOME", (dir_ / "cfg").c_str());
    EXPECT_EQ(ProgramFolder(), dir_ / "cfg" / "lumora" / "");
    env.Set("LUMORA_HOME", (dir_ / "test home").c_str());
    EXPECT_EQ(ProgramFolder(), dir_ / "test home" / "");
    EXPECT_TRUE(fs::is_directory(dir_ / "test home"));
}

TEST_F(SettingsFileTest, DefaultSaveFolderUsesTheXdgDocumentsFolder) {
    ScopedEnv env;
    env.Set("HOME", dir_.c_str());
    env.Set("XDG_CONFIG_HOME", (dir_ / "cfg").c_str());
    EXPECT_EQ(DefaultSaveFolder(), dir_ / "Documents" / "Lumora" / "");
    fs::create_directories(dir_ / "cfg");
    WriteBytes("cfg/user-dirs.dirs", "# from xdg-user-dirs-update\nXDG_DOCUMENTS_DIR=\"$HOME/文档\"\n");
    EXPECT_EQ(DefaultSaveFolder(), dir_ / "文档" / "Lumora" / "");
    WriteBytes("cfg/user-dirs.dirs", "XDG_DOCUMENTS_DIR=\"/srv/docs\"\n");
    EXPECT_EQ(DefaultSaveFolder(), fs::path("/srv/docs/Lumora/"));
    EXPECT_FALSE(fs::exists(dir_ / "Documents"));
}

}  // namespace
}  // namespace lumora
