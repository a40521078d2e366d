// Address normalisation and album records, without the network.
#include <gtest/gtest.h>

#include "site/AlbumPages.h"
#include "site/PicturePages.h"
#include "text/StringCtrl.h"
#include "web/Address.h"

namespace lumora::testing {
namespace {

TEST(NormaliseAlbumAddressTest, AllThreeFormsGiveTheFirstPageTemplate) {
    const std::u16string expected = u"http://dp.pconline.com.cn/member7/myphoto_dk1stp_n15.html";
    EXPECT_EQ(NormaliseAlbumAddress(u"http://dp.pconline.com.cn/member7/"), expected);
    EXPECT_EQ(NormaliseAlbumAddress(u"http://dp.pconline.com.cn/member7/myphoto.html"),
              u"http://dp.pconline.com.cn/member7/myphoto_dk1stp_n15.html");
    // A later page's tag goes back to the template: reading starts at page 1.
    EXPECT_EQ(NormaliseAlbumAddress(u"http://dp.pconline.com.cn/member7/myphoto_p3_n15.html"), expected);
    EXPECT_EQ(AlbumListPageAddress(expected, 1), u"http://dp.pconline.com.cn/member7/myphoto_p1_n15.html");
    // Without a trailing slash the member id is the rest.
    EXPECT_EQ(NormaliseAlbumAddress(u"http://dp.pconline.com.cn/member7"), expected);
}

TEST(NormaliseAlbumAddressTest, MarkersAtPositionZeroDoNotCount) {
    // "_p" at position 0 is not a page tag; the text is taken as a member space.
    EXPECT_EQ(NormaliseAlbumAddress(u"_p2_x.cn/abc/"), u"http://dp.pconline.com.cn/abc/myphoto_dk1stp_n15.html");
    // "_p" present but no "_p%d_" tag: unchanged, and every page asks for it.
    EXPECT_EQ(NormaliseAlbumAddress(u"http://dp.pconline.com.cn/my_photos/"), u"http://dp.pconline.com.cn/my_photos/");
    EXPECT_EQ(AlbumListPageAddress(u"http://dp.pconline.com.cn/my_photos/", 2),
              u"http://dp.pconline.com.cn/my_photos/");
}

TEST(AlbumListTest, TitlesAreCleanedAndMadeUnique) {
    AlbumList list;
    for (const char16_t* title : {u"Sunset", u"Sunset", u"  Sunset ", u"a:b*c", u"Sunset (1)"}) {
        ST_PERLISTRECORD record;
        record.title = title;
        list.Add(record);
    }
    auto all = list.all();
    ASSERT_EQ(all.size(), 5u);
    EXPECT_EQ(all[0].title, u"Sunset");
    EXPECT_EQ(all[1].title, u"Sunset (1)");
    EXPECT_EQ(all[2].title, u"Sunset (2)");
    EXPECT_EQ(all[3].title, u"abc");
    // Built from the cleaned title, so a taken "Sunset (1)" becomes "Sunset (1) (1)".
    EXPECT_EQ(all[4].title, u"Sunset (1) (1)");
    EXPECT_EQ(all[4].position, 4);
    EXPECT_EQ(all[4].imageIndex, -1);
}

TEST(AlbumListTest, LongTitlesAreShortenedBeforeTheyAreMadeUnique) {
    const std::u16string first80(80, u'x');
    // An emoji across the cut is dropped whole; "a / b" cleans to "a b" at last.
    const std::u16string emoji = std::u16string(79, u'y') + u"\U0001F600z";
    AlbumList list;
    for (const std::u16string& title : {first80 + u"-one", first80 + u"-two", first80, emoji, std::u16string(u"a / b"),
                                        std::u16string(u"a b"), std::u16string(79, u'w') + u" tail"}) {
        ST_PERLISTRECORD record;
        record.title = title;
        list.Add(record);
    }
    auto all = list.all();
    ASSERT_EQ(all.size(), 7u);
    EXPECT_EQ(all[0].title, first80);
    EXPECT_EQ(all[1].title, first80 + u" (1)");
    EXPECT_EQ(all[2].title, first80 + u" (2)");
    EXPECT_EQ(all[3].title, std::u16string(79, u'y'));
    EXPECT_EQ(all[4].title, u"a b");
    EXPECT_EQ(all[5].title, u"a b (1)");
    EXPECT_EQ(all[6].title, std::u16string(79, u'w'));  // the blank the cut left is trimmed
    // A folder is named by cleaning the title once more: each is its own.
    for (const ST_PERLISTRECORD& album : all) {
        std::u16string folder = album.title;
        CleanFileName(folder, 0, false);
        EXPECT_EQ(folder, album.title);
    }
}

TEST(AlbumListTest, ValuesAreDecodedOnlyOnceCutOutOfThePage) {
    const std::u16string page =
        u"【摄影部落】Lee &amp; Co_太平洋"
        u"<div class=\"picbox\"><a href=\"/photo/1.html?a=1&amp;b=2\" title=\"say &quot;hi&quot; now\">"
        u"<img src=\"c.jpg\"></a></div>"
        u"<div class=\"picbox\"><a href=\"/photo/2.html\" title=\"Tom&#x27;s &#8217;&#128512;\"><img src=\"d.jpg\">";
    AlbumPage parsed = ParseAlbumPage(page, u"http://dp.pconline.com.cn/m/myphoto_p1_n15.html", true);
    ASSERT_EQ(parsed.albums.size(), 2u);
    EXPECT_EQ(parsed.spaceName, u"Lee & Co");
    EXPECT_EQ(parsed.albums[0].title, u"say \"hi\" now");
    EXPECT_EQ(parsed.albums[0].address, u"http://dp.pconline.com.cn/photo/list_1.html?a=1&b=2");
    EXPECT_EQ(parsed.albums[0].coverAddress, u"http://dp.pconline.com.cn/m/c.jpg");
    EXPECT_EQ(parsed.albums[1].title, u"Tom's \u2019\U0001F600");

    AlbumList list;
    for (ST_PERLISTRECORD& album : parsed.albums) list.Add(album);
    EXPECT_EQ(list.at(0)->title, u"say hi now");  // '"' cannot be in a file name
    EXPECT_EQ(list.at(1)->title, u"Tom's \u2019\U0001F600");
}

TEST(PicturePageTest, AddressesAreDecodedOnceCutOut) {
    ST_PERLISTRECORD album;
    album.title = u"Tom's";
    album.address = u"http://dp.pconline.com.cn/photo/list_1.html";
    const auto entries = ParsePicturePage(
        u"<li class=\"picture\"><img src=\"//img.pconline.com.cn/a_mthumb.jpg?x=1&amp;y=&quot;2\"></li>", album);
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].address, u"http://img.pconline.com.cn/a.jpg?x=1&y=\"2");
    EXPECT_EQ(entries[0].description, u"Tom's (1)");
}

TEST(AlbumListTest, EmptyTitleBecomesATimeStamp) {
    AlbumList list;
    list.Add(ST_PERLISTRECORD{});
    std::u16string title = list.at(0)->title;
    ASSERT_EQ(title.size(), 14u);
    for (char16_t c : title) EXPECT_TRUE(c >= u'0' && c <= u'9');
}

TEST(AlbumTextsTest, CountsAndRemarks) {
    EXPECT_EQ(AlbumCountText(-1), u"未知");
    EXPECT_EQ(AlbumCountText(7), u"   7");
    EXPECT_EQ(AlbumRemark(0), u"");
    EXPECT_EQ(AlbumRemark(3), u"加密相册");
    EXPECT_EQ(AlbumRemark(6), u"私密相册");
    EXPECT_EQ(AlbumRemark(4), u"好友可见");
    EXPECT_EQ(AlbumRemark(-2147483647), u"00000001");
}

TEST(ResolveAddressTest, RelativeAddressesFollowThePage) {
    const std::u16string page = u"http://dp.pconline.com.cn/member7/myphoto_p1_n15.html";
    EXPECT_EQ(ResolveAddress(page, u"//img.pconline.com.cn/a/b.jpg"), u"http://img.pconline.com.cn/a/b.jpg");
    EXPECT_EQ(ResolveAddress(page, u"/photo/list_12.html"), u"http://dp.pconline.com.cn/photo/list_12.html");
    EXPECT_EQ(ResolveAddress(page, u"x.jpg"), u"http://dp.pconline.com.cn/member7/x.jpg");
    // Absolute and empty addresses stay exactly as they are.
    EXPECT_EQ(ResolveAddress(page, u"HTTP://Example.com/A B.jpg"), u"HTTP://Example.com/A B.jpg");
    EXPECT_EQ(ResolveAddress(page, u""), u"");
}

}  // namespace
}  // namespace lumora::testing
