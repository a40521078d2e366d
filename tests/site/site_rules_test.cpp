// The site's rules as data: the built-in file tests itself, reads back as it
// was written, and a broken or failing file is refused with its reason.
#include <gtest/gtest.h>

#include "site/AlbumPages.h"
#include "site/SiteRules.h"
#include "text/StringCtrl.h"

namespace lumora {
namespace {

TEST(SiteRulesTest, TheBuiltInRulesPassTheirFixturesAndReadBackAsWritten) {
    const RulesFile& builtIn = BuiltInRulesFile();
    std::vector<std::pair<std::string, std::u16string>> each;
    EXPECT_EQ(FirstFixtureFailure(builtIn, &each), std::nullopt);
    EXPECT_EQ(each.size(), 2u);

    RulesReadResult again = ReadRulesText(WriteRulesText(builtIn));
    ASSERT_TRUE(again.file) << WideToUtf8(again.error);
    for (std::size_t i = 0; i < again.file->fixtures.size(); ++i)
        again.file->fixtures[i].page = builtIn.fixtures[i].page;
    EXPECT_EQ(FirstFixtureFailure(*again.file), std::nullopt);
    EXPECT_EQ(again.file->rules.albumBlock, builtIn.rules.albumBlock);
    EXPECT_EQ(again.file->rules.listTemplate, builtIn.rules.listTemplate);
    EXPECT_EQ(NormaliseAlbumAddress(u"http://dp.pconline.com.cn/m/", again.file->rules),
              u"http://dp.pconline.com.cn/m/myphoto_dk1stp_n15.html");
}

// The site renamed its album blocks: the built-in rules find nothing, a file
// with the new marker lists them, and its fixture says what differs until
// the expectations match.
TEST(SiteRulesTest, RenamedMarkersNeedOnlyARulesFile) {
    const std::u16string page =
        u"<title>【x】Member_太平洋</title><div class=\"albumbox\"><a href=\"/photo/7.html\" title=\"A &amp; B\">"
        u"<img src=\"//img.example/c.jpg\"></a></div>";
    const std::u16string address = u"http://dp.pconline.com.cn/m/myphoto_p1_n15.html";
    EXPECT_TRUE(ParseAlbumPage(page, address, true).albums.empty());

    RulesFile changed = BuiltInRulesFile();
    changed.rules.albumBlock = u"class=\"albumbox";
    const AlbumPage found = ParseAlbumPage(page, address, true, changed.rules);
    ASSERT_EQ(found.albums.size(), 1u);
    EXPECT_EQ(found.albums[0].title, u"A & B");
    EXPECT_EQ(found.albums[0].address, u"http://dp.pconline.com.cn/photo/list_7.html");

    // The built-in fixture pages still carry the old marker.
    const std::optional<std::u16string> failure = FirstFixtureFailure(changed);
    ASSERT_TRUE(failure);
    EXPECT_EQ(*failure, u"list：相册数应为15，得到0");
}

TEST(SiteRulesTest, ABrokenFileIsRefusedWithWhereItIsBroken) {
    const std::string good = WriteRulesText(BuiltInRulesFile());
    auto errorOf = [](const std::string& text) {
        const RulesReadResult read = ReadRulesText(text);
        EXPECT_FALSE(read.file);
        return read.error;
    };
    std::string unknown = good;
    unknown.insert(unknown.find("list.host"), "list.colour = red\n");
    EXPECT_EQ(errorOf(unknown), u"第6行：未知的规则：list.colour");
    // The text with the line of `key` replaced by `line`.
    auto withLine = [&good](const std::string& key, const std::string& line) {
        std::string text = good;
        const std::size_t at = text.find(key + " = ");
        text.replace(at, text.find('\n', at) + 1 - at, line);
        return text;
    };
    EXPECT_EQ(errorOf(withLine("list.next-page", "")), u"缺少规则 list.next-page");
    EXPECT_EQ(errorOf(withLine("album.picture-block", "album.picture-block =\n")),
              u"规则 album.picture-block 不能为空");
    // A template sizes nothing and takes exactly its values.
    EXPECT_EQ(errorOf(withLine("list.template", "list.template = http://%999999999s/%s\n")).substr(0, 16),
              u"规则 list.template");
    EXPECT_EQ(errorOf(withLine("list.page-tag", "list.page-tag = _p%s_\n")).substr(0, 16), u"规则 list.page-tag");
    EXPECT_EQ(errorOf("[rules\n"), u"第1行：节名缺少“]”");
    EXPECT_EQ(errorOf("[other]\n"), u"第1行：未知的节：other");
    EXPECT_EQ(errorOf(good + "[fixture x]\nkind = list-page\n"), u"自检 x 缺少 page");
}

}  // namespace
}  // namespace lumora
