#include <gtest/gtest.h>

#include <array>

#include "settings/SettingsBlock.h"

namespace lumora {
namespace {

std::uint16_t U16At(const std::vector<std::uint8_t>& bytes, std::size_t offset) {
    return static_cast<std::uint16_t>(bytes[offset] | (bytes[offset + 1] << 8));
}

TEST(SettingsImage, FieldsSitAtTheirOffsetsLittleEndian) {
    SettingsBlock block;
    block.downloadParams[0] = {0x0102, 0x0304, 7, 0xFFFF};
    block.downloadParams[23].timeoutSeconds = 0xABCD;
    NameRules& rules = block.nameRules[kCurrentSite];
    for (auto [field, c] : {std::pair{&rules.filePrefix, u'前'},
                            {&rules.fileSuffix, u's'},
                            {&rules.replaceWhat, u'w'},
                            {&rules.replaceWith, u'x'},
                            {&rules.folderPrefix, u'p'},
                            {&rules.folderSuffix, u'q'}})
        SetFieldText(*field, std::u16string(1, c));
    rules.optionFlags = kOptSkipDownloadedBefore | kOptItemDescriptionPicturesOnly;
    rules.baseNameChoice = 2;
    rules.folderChoice = 1;
    SetHistoryText(block, HistoryKind::Address, 0, u"h");
    SetHistoryText(block, HistoryKind::SaveFolder, 4, u"/z");

    const std::vector<std::uint8_t> bytes = SerializeSettings(block);
    ASSERT_EQ(bytes.size(), 19808u);
    const std::size_t r = 192 + kCurrentSite * 484;
    const std::pair<std::size_t, std::uint16_t> expected[] = {{0, 0x0102},
                                                              {2, 0x0304},
                                                              {4, 7},
                                                              {6, 0xFFFF},
                                                              {23 * 8 + 6, 0xABCD},
                                                              {r, u'前'},
                                                              {r + 2, 0},
                                                              {r + 80, u's'},
                                                              {r + 160, u'w'},
                                                              {r + 240, u'x'},
                                                              {r + 320, u'p'},
                                                              {r + 400, u'q'},
                                                              {r + 480, 0x0140},
                                                              {r + 482, 0x0102},
                                                              {11808, u'h'},
                                                              {15808 + 4 * 800, u'/'},
                                                              {15808 + 4 * 800 + 2, u'z'}};
    for (auto [offset, value] : expected) EXPECT_EQ(U16At(bytes, offset), value) << "offset " << offset;
    EXPECT_EQ(ParseSettings(bytes), block);
}

TEST(SettingsImage, AnyBytesSurviveParseAndSerialize) {
    std::vector<std::uint8_t> bytes(kSettingsBlockSize);
    for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<std::uint8_t>(i * 131 + 7);
    EXPECT_EQ(SerializeSettings(ParseSettings(bytes)), bytes);
}

TEST(FixedFieldText, WholeFieldWithoutNulAndTruncatedWrites) {
    NameText field;
    field.fill(u'a');
    EXPECT_EQ(FieldText(field), std::u16string(40, u'a'));
    SetFieldText(field, std::u16string(50, u'b'));
    EXPECT_EQ(FieldText(field), std::u16string(38, u'b'));
    SetFieldText(field, u"cd");
    EXPECT_EQ(field[2], 0);
    EXPECT_EQ(field[39], 0);  // the old tail is cleared

    SettingsBlock block;
    SetHistoryText(block, HistoryKind::Address, 1, std::u16string(500, u'x'));
    EXPECT_EQ(HistoryText(block, HistoryKind::Address, 1).size(), 399u);
}

TEST(AddToHistory, NewestFirstAndASixthEntryDropsTheOldest) {
    SettingsBlock block;
    for (const char16_t* folder : {u"/a/", u"/b/", u"/c/", u"/d/", u"/e/", u"/f/"})
        EXPECT_TRUE(AddToHistory(block, 1, folder));
    for (std::size_t i = 0; i < 5; ++i)
        EXPECT_EQ(HistoryText(block, HistoryKind::SaveFolder, i), (std::u16string{u'/', char16_t(u'f' - i), u'/'}));
    EXPECT_EQ(HistoryText(block, HistoryKind::Address, 0), u"");
}

TEST(AddToHistory, RefusesDuplicatesIgnoringCaseLongTextsAndBadKinds) {
    SettingsBlock block;
    EXPECT_TRUE(AddToHistory(block, 0, u"http://Example/Photo/"));
    EXPECT_TRUE(AddToHistory(block, 1, u"http://Example/Photo/"));  // the other history
    const SettingsBlock before = block;
    EXPECT_FALSE(AddToHistory(block, 0, u"HTTP://example/photo/"));
    EXPECT_FALSE(AddToHistory(block, 0, std::u16string(400, u'x')));
    EXPECT_FALSE(AddToHistory(block, 2, u"x"));
    EXPECT_FALSE(AddToHistory(block, 0, u""));
    EXPECT_EQ(block, before);
    EXPECT_TRUE(AddToHistory(block, 0, std::u16string(399, u'x')));
    EXPECT_EQ(HistoryText(block, HistoryKind::Address, 1), u"http://Example/Photo/");
}

TEST(DownloadParamsInput, ARefusedEntryNamesItsFieldAndChangesNothing) {
    const DownloadParams before{0, 0, 5, 30};
    DownloadParams params = before;
    const std::pair<std::array<const char16_t*, 4>, const char16_t*> refused[] = {
        {{u"16", u"30", u"0", u"0"}, u"参数错误：线程数(1~15)"},
        {{u"65537", u"30", u"0", u"0"}, u"参数错误：线程数(1~15)"},  // not 1 by its low 16 bits
        {{u"abc", u"30", u"0", u"0"}, u"参数错误：线程数(1~15)"},
        {{u"5", u"9", u"1", u"2"}, u"参数错误：超时(10~65535秒)"},
        {{u"5", u"-1", u"0", u"0"}, u"参数错误：超时(10~65535秒)"},           // not 65535
        {{u"1", u"99999999999", u"0", u"0"}, u"参数错误：超时(10~65535秒)"},  // beyond 32 bits
        {{u"5", u"30", u"-2", u"0"}, u"参数错误：图片最小值(0~65535K)"},
        {{u"5", u"30", u"0", u"100000"}, u"参数错误：图片最大值(0~65535K)"},  // not 34464
        {{u"5", u"30", u"100", u"50"}, u"参数错误：图片最小值不能大于图片最大值（0表示不限）"},
    };
    for (const auto& [texts, message] : refused) {
        EXPECT_EQ(ApplyDownloadParamsInput(params, texts[0], texts[1], texts[2], texts[3]), message)
            << &texts - &refused[0].first;
        EXPECT_EQ(params, before);
    }
}

TEST(DownloadParamsInput, ValuesInRangeAreStored) {
    DownloadParams params;
    EXPECT_EQ(ApplyDownloadParamsInput(params, u"15", u"65535", u"100", u"0"), std::nullopt);  // 0: no maximum
    EXPECT_EQ(params, (DownloadParams{100, 0, 15, 65535}));
    EXPECT_EQ(ApplyDownloadParamsInput(params, u" 1", u" 12s", u"", u"65535"), std::nullopt);
    EXPECT_EQ(params, (DownloadParams{0, 65535, 1, 12}));
}

}  // namespace
}  // namespace lumora
