// "soft.dat" damaged in every way a crash, a disk or a hand can damage it:
// the program starts with repaired download parameters, rewrites a whole
// file, and a download run with whatever naming rules the bytes gave stays
// inside the save folder.
#include <random>

#include "reliability_support.h"
#include "settings/SettingsFile.h"

namespace lumora::testing {
namespace {

namespace fs = std::filesystem;

class DamagedSettingsTest : public RunTest {
protected:
    void WriteSettingsFile(const std::string& bytes) {
        std::ofstream(home_ / kSettingsFileName, std::ios::binary) << bytes;
    }

    static std::string RandomBytes(std::size_t size, unsigned seed) {
        std::mt19937 engine(seed);
        std::string bytes(size, '\0');
        for (char& b : bytes) b = static_cast<char>(engine());
        return bytes;
    }

    // The file as the program left it: whole, and with usable parameters.
    void ExpectRewrittenWhole() {
        const std::string written = ReadWhole(home_ / kSettingsFileName);
        ASSERT_EQ(written.size(), kSettingsBlockSize);
        const SettingsBlock block =
            ParseSettings(std::span(reinterpret_cast<const std::uint8_t*>(written.data()), written.size()));
        for (const DownloadParams& params : block.downloadParams) {
            EXPECT_GE(params.threadCount, 1);
            EXPECT_LE(params.threadCount, 15);
            EXPECT_GE(params.timeoutSeconds, 10);
        }
    }

    // A download with the current rules: it ends, and writes only below save_.
    void ExpectRunStaysInside(MainController& controller) {
        const DownloadReport report = Download(controller, {0});
        EXPECT_EQ(controller.session().downloadState, DOWN_IDLE);
        EXPECT_FALSE(report.rejectedSavePath);
        for (const fs::path& entry : Entries(home_)) {
            const std::string name = entry.lexically_relative(home_).string();
            const bool programFile = name == kSettingsFileName || name == "cookies.txt" ||
                                     name.starts_with("archive.sqlite3") || name == "lumora.ini" ||
                                     name.ends_with(".lock");
            EXPECT_TRUE(programFile || name == "save" || name.starts_with("save/")) << name;
            EXPECT_LE(entry.filename().string().size(), 255u) << name;
        }
    }
};

TEST_F(DamagedSettingsTest, EveryDamagedFileIsRepairedAndRewritten) {
    ServeMember({{"Album", {Good("/a/1.jpg"), Good("/a/2.jpg"), Good("/a/3.jpg")}}});
    const std::string whole = RandomBytes(kSettingsBlockSize, 1);
    const std::vector<std::pair<std::string, std::string>> files = {
        {"empty", ""},
        {"100 bytes", RandomBytes(100, 2)},
        {"19808 random bytes", whole},
        {"1 MB", RandomBytes(1 << 20, 3)},
        {"all bits set", std::string(kSettingsBlockSize, '\xFF')},
    };
    for (const auto& [label, bytes] : files) {
        SCOPED_TRACE(label);
        fs::remove_all(save_);
        WriteSettingsFile(bytes);
        auto controller = MakeController();
        ExpectRewrittenWhole();
        const std::vector<std::uint8_t> image = SerializeSettings(controller->settings());
        // Beyond the download parameters, every byte read is kept as it was.
        const std::size_t kept = std::min(bytes.size(), kSettingsBlockSize);
        for (std::size_t i = kNameRulesOffset; i < kept; ++i) {
            ASSERT_EQ(image[i], static_cast<std::uint8_t>(bytes[i])) << "byte " << i;
        }
        for (std::size_t i = std::max(kept, kNameRulesOffset); i < kSettingsBlockSize; ++i) {
            ASSERT_EQ(image[i], 0) << "byte " << i;
        }
        PrepareRun(*controller);
        ExpectRunStaysInside(*controller);
    }
}

// Two programs on one folder: each writes only what it changed, onto the
// file as the other left it.
TEST_F(DamagedSettingsTest, TwoProgramsDoNotRevertEachOther) {
    auto first = MakeController();
    auto second = MakeController();
    DownloadParams params = second->CurrentDownloadParams();
    params.threadCount = 7;
    ASSERT_TRUE(second->UpdateDownloadParams(params));
    NameRules rules = second->CurrentNameRules();
    rules.optionFlags |= kOptFixPictureOrder;
    SetFieldText(rules.filePrefix, u"B_");
    ASSERT_TRUE(second->UpdateNameRules(rules));

    // The first still holds the old values; its own changes must not undo those.
    first->OfferSaveFolderToHistory(u"/first/folder");
    NameRules mine = first->CurrentNameRules();
    mine.optionFlags |= kOptFixPictureFormat;
    ASSERT_TRUE(first->UpdateNameRules(mine));

    const SettingsBlock onDisk = LoadSettings(home_);
    const NameRules& saved = onDisk.nameRules[kCurrentSite];
    EXPECT_EQ(onDisk.downloadParams[kCurrentSite].threadCount, 7);
    EXPECT_EQ(FieldText(saved.filePrefix), u"B_");
    EXPECT_EQ(saved.optionFlags & (kOptFixPictureOrder | kOptFixPictureFormat),
              kOptFixPictureOrder | kOptFixPictureFormat);
    EXPECT_EQ(HistoryText(onDisk, HistoryKind::SaveFolder, 0), u"/first/folder");
    // And the first now sees what the second did.
    EXPECT_EQ(first->CurrentDownloadParams().threadCount, 7);
}

// A save that a crash cut short leaves its temporary file; the next start
// clears it, but not one that another program may be writing right now.
TEST_F(DamagedSettingsTest, TemporaryFilesOfACrashedSaveAreRemoved) {
    const fs::path old = home_ / "soft.dat.a1B2c3";  // as an older version named them
    const fs::path ours = home_ / "soft.dat.saving-xY12ab";
    const fs::path young = home_ / "soft.dat.saving-Z9y8X7";
    const fs::path other = home_ / "soft.dat.backup";  // the user's own
    for (const fs::path& file : {old, ours, young, other}) std::ofstream(file) << "x";
    for (const fs::path& file : {old, ours, other})
        fs::last_write_time(file, fs::file_time_type::clock::now() - std::chrono::minutes(5));
    MakeController();
    EXPECT_FALSE(fs::exists(old));
    EXPECT_FALSE(fs::exists(ours));
    EXPECT_TRUE(fs::exists(young));
    EXPECT_TRUE(fs::exists(other));
}

// Many random files in a row, each followed by a run with the rules it holds.
TEST_F(DamagedSettingsTest, RandomRulesNeverLeadOutOfTheSaveFolder) {
    ServeMember({{"Album", {Good("/a/1.jpg"), Good("/a/2.jpg")}}});
    for (unsigned seed = 10; seed < 22; ++seed) {
        SCOPED_TRACE(seed);
        fs::remove_all(save_);
        WriteSettingsFile(RandomBytes(kSettingsBlockSize, seed));
        auto controller = ReadyController();
        ExpectRunStaysInside(*controller);
    }
}

}  // namespace
}  // namespace lumora::testing
