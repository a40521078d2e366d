#include "settings/Ini.h"
#include "settings/AppSettings.h"
#include "settings/ExtensionSettings.h"
#include "settings/SettingsStore.h"
#include "settings/WindowSettings.h"
#include "settings_test_support.h"
#include "text/StringCtrl.h"

namespace lumora {
namespace {

class IniTest : public testing::ScratchFolderTest {
protected:
    void WriteIni(const std::string& utf8) const { WriteBytes(kExtensionSettingsFileName, utf8); }
    ExtensionSettings Load() const { return LoadExtensionSettings(dir_); }
    CIni Ini() const { return CIni(dir_ / kExtensionSettingsFileName); }
    static std::string Utf16LeWithBom(const std::string& utf8) {
        std::string bytes = "\xFF\xFE";
        for (char16_t c : Utf8ToWide(utf8)) {
            bytes += static_cast<char>(c & 0xFF);
            bytes += static_cast<char>(c >> 8);
        }
        return bytes;
    }
};

TEST_F(IniTest, ValuesAreTrimmedUnquotedAndFoundIgnoringCase) {
    WriteIni(
        "; comment\r\n# another=1\r\n[Other]\r\nkey=wrong\r\n"
        "[ Main ]\r\n  Key  =  \"  spaced value \"  \r\nplain = a ; not a comment\r\n"
        "single='x'\r\nhalf=\"open\r\nempty=\r\nnoequals\r\nkey=second\r\n");
    const CIni ini = Ini();
    EXPECT_EQ(ini.ReadIniText(u"main", u"KEY", u"d"), u"  spaced value ");
    EXPECT_EQ(ini.ReadIniText(u"Main", u"plain"), u"a ; not a comment");
    EXPECT_EQ(ini.ReadIniText(u"Main", u"single"), u"x");
    EXPECT_EQ(ini.ReadIniText(u"Main", u"half"), u"\"open");
    EXPECT_EQ(ini.ReadIniText(u"Main", u"empty", u"d"), u"");
    EXPECT_EQ(ini.ReadIniText(u"Main", u"noequals", u"d"), u"d");
    EXPECT_EQ(ini.ReadIniText(u"Main", u"another", u"d"), u"d");
    EXPECT_EQ(ini.ReadIniText(u"Other", u"key"), u"wrong");
    EXPECT_EQ(ini.ReadIniText(u"Missing", u"key", u"d"), u"d");
    EXPECT_EQ(ini.ReadIniText(u"", u"key", u"d"), u"d");
    EXPECT_EQ(ini.ReadIniText(u"Main", u"", u"d"), u"d");
    EXPECT_EQ(CIni(dir_ / "none.ini").ReadIniText(u"Main", u"key", u"d"), u"d");
}

TEST_F(IniTest, ReadsEveryEncodingOfTheSameFile) {
    const std::string text = "[淘宝]\n价格增减=7\n图片名中是否有价格=有\n";
    const ExtensionSettings expected{0, 0, true, 7};
    WriteIni(text);
    EXPECT_EQ(Load(), expected);
    WriteIni("\xEF\xBB\xBF" + text);
    EXPECT_EQ(Load(), expected);
    WriteIni(Utf16LeWithBom(text));
    EXPECT_EQ(Load(), expected);
    WriteIni(WideToGbk(Utf8ToWide(text)));
    EXPECT_EQ(Load(), expected);
}

TEST_F(IniTest, MissingFileOrKeysGiveZeros) {
    EXPECT_EQ(Load(), ExtensionSettings{});
    WriteIni("[QQ空间]\n[淘宝]\n");
    EXPECT_EQ(Load(), ExtensionSettings{});
}

TEST_F(IniTest, AppSettingsKeepTheirValuesAndSurviveOddFiles) {
    EXPECT_EQ(LoadAppSettings(dir_), AppSettings{});  // no file: the defaults
    AppSettings settings;
    settings.retries = 0;
    settings.skipSaved = false;
    ASSERT_TRUE(SaveAppSettings(dir_, settings));
    EXPECT_EQ(LoadAppSettings(dir_), settings);
    WriteBytes(kAppSettingsFileName, "[download]\nretries=11\nskip-saved=yes\n");
    EXPECT_EQ(LoadAppSettings(dir_), AppSettings{});  // out of range: the defaults
    // A folder under the name is no settings file, and no crash.
    std::filesystem::remove(dir_ / kAppSettingsFileName);
    std::filesystem::create_directory(dir_ / kAppSettingsFileName);
    EXPECT_EQ(LoadAppSettings(dir_), AppSettings{});
    EXPECT_FALSE(SaveAppSettings(dir_, settings));

    EXPECT_EQ(ParseRetries(u" 10 "), 10u);
    EXPECT_EQ(ParseRetries(u"0"), 0u);
    for (const char16_t* bad : {u"11", u"-1", u"abc", u"", u"3x"}) EXPECT_EQ(ParseRetries(bad), std::nullopt);
}

// "lumora.ini" holds the download settings and the window's: each writer
// replaces its own section and keeps the other and the user's comments.
TEST_F(IniTest, EachSectionOfTheProgramsIniFileIsWrittenWithoutTheOthers) {
    WriteBytes(kAppSettingsFileName, "; mine\n[Download]\nretries=7\n[extra]\nkept=1\n");
    WindowSettings window;
    window.saveFolder = u" /照片/ \"x\" ";  // blanks and quotes survive
    window.geometry = WindowGeometry{-20, 40, 1100, 700};
    window.maximized = true;
    window.columnWidths = {50, 400, 60, 120};
    window.failures = {WindowGeometry{10, 20, 640, 300}, {90, 300, 200, 100}};
    ASSERT_TRUE(SaveWindowSettings(dir_, window));
    AppSettings settings;
    settings.retries = 2;
    ASSERT_TRUE(SaveAppSettings(dir_, settings));
    EXPECT_EQ(LoadWindowSettings(dir_), window);
    EXPECT_EQ(LoadAppSettings(dir_), settings);
    const std::string text = ReadBytes(kAppSettingsFileName);
    EXPECT_NE(text.find("; mine\n"), std::string::npos) << text;
    EXPECT_NE(text.find("[extra]\nkept=1\n"), std::string::npos) << text;
    EXPECT_EQ(text.find("retries=7"), std::string::npos) << text;  // the old section went whole

    // Damaged values are no values: nothing is restored from them.
    WriteBytes(kAppSettingsFileName,
               "[window]\ngeometry=1,2,x,4\ncolumns=50,-3\nfailures-geometry=1,2,0,4\nfailures-columns=9,x\n");
    EXPECT_EQ(LoadWindowSettings(dir_), WindowSettings{});
}

// A change is merged against what the process saw last; a second change in a
// row (taking the first one back) must count against the first, not the read.
TEST_F(IniTest, AStoreThatChangesASettingTwiceInARowKeepsTheSecond) {
    SettingsStore store(dir_, nullptr);
    AppSettings settings = store.CurrentAppSettings();
    const unsigned original = settings.retries;
    settings.retries = 0;
    ASSERT_TRUE(store.UpdateAppSettings(settings));
    settings.retries = original;
    ASSERT_TRUE(store.UpdateAppSettings(settings));
    EXPECT_EQ(LoadAppSettings(dir_).retries, original);
}

TEST_F(IniTest, WordsMatchAsPrefixesWithExactCase) {
    WriteIni("[QQ空间]\nV2编码=BIG5\nV3编码=UTF8-ish\n[淘宝]\n图片名中是否有价格=有价格\n");
    EXPECT_EQ(Load(), (ExtensionSettings{kEncodingBig5, kEncodingUtf8, true, 0}));
    WriteIni("[QQ空间]\nV2编码=utf8\nV3编码=AUTO\n[淘宝]\n图片名中是否有价格=没有\n");
    EXPECT_EQ(Load(), (ExtensionSettings{kEncodingAnsi, kEncodingAuto, false, 0}));
}

TEST_F(IniTest, PriceAdjustReadsLikeAnUnsignedConversion) {
    const std::pair<std::string, std::uint32_t> cases[] = {
        {"-5", 4294967291u},
        {"12abc", 12},
        {"+8", 8},
        {"abc", 0},
        {"-", 0},
        {"4294967295", 4294967295u},
        {"4294967296", 4294967295u},
        {"-4294967296", 4294967295u},
        {"99999999999999999999999", 4294967295u},
        {std::string(63, '0') + "12", 1},  // only the first 64 characters count
        {"\"-1\"", 4294967295u},
    };
    for (const auto& [value, expected] : cases) {
        WriteIni("[淘宝]\n价格增减=" + value + "\n");
        EXPECT_EQ(Load().priceAdjust, expected) << value;
    }
}

}  // namespace
}  // namespace lumora
