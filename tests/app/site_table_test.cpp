// Recognising the service of an album-space address.
#include <gtest/gtest.h>

#include "app/SiteTable.h"

namespace lumora {
namespace {

constexpr int kUnchanged = 9;  // the site box's selection before recognition

SiteRecognition Recognise(std::u16string_view address) {
    std::optional<SiteRecognition> found = RecogniseAddress(address, kUnchanged);
    EXPECT_TRUE(found.has_value());
    return found.value_or(SiteRecognition{-100, -100});
}

TEST(SiteTableTest, SixteenNamedSites) {
    ASSERT_EQ(SiteTable().size(), 16u);
    for (const SiteEntry& site : SiteTable()) {
        EXPECT_NE(std::u16string_view(site.displayName), u"");
        EXPECT_FALSE(site.markers.empty());
    }
}

TEST(SiteTableTest, QqFamilyAddressesPickTheirAlbumKind) {
    EXPECT_EQ(Recognise(u"http://user.qzone.qq.com/12345/photo").subType, kQzoneAlbum);
    EXPECT_EQ(Recognise(u"http://qun.qq.com/air/#/album").subType, kQqGroupAlbum);
    const SiteRecognition weibo = Recognise(u"http://t.qq.com/someone/");
    EXPECT_EQ(weibo.site, kQqFamilySite);
    EXPECT_EQ(weibo.subType, kTencentWeiboAlbum);
}

TEST(SiteTableTest, EachServiceByItsMarkers) {
    EXPECT_EQ(Recognise(u"http://dp.pconline.com.cn/lumora_demo/").site, 14);
    EXPECT_EQ(Recognise(u"https://dp.pconline.com.cn/photo/1.html").site, 14);
    EXPECT_EQ(Recognise(u"http://item.taobao.com/item.htm").site, 11);
    EXPECT_EQ(Recognise(u"http://detail.tmall.com/item.htm?id=1").site, 11);
    EXPECT_EQ(Recognise(u"http://shop.1688.com").site, 11);
    EXPECT_EQ(Recognise(u"http://blog.sina.com.cn/u/1").site, 4);
    EXPECT_EQ(Recognise(u"http://weibo.com/u/1").site, 4);
    EXPECT_EQ(Recognise(u"http://www.yupoo.com/photos/x/").site, 7);
    // Not QQ's: the marker wants the domain's slash.
    EXPECT_EQ(Recognise(u"http://t.qq.com").site, kUnchanged);
    EXPECT_EQ(Recognise(u"http://example.org/").subType, -1);
}

TEST(SiteTableTest, MarkerAtTheVeryStartDoesNotCount) {
    EXPECT_EQ(Recognise(u"taobao.com/http://x.org/").site, kUnchanged);
    EXPECT_EQ(Recognise(u"taobao.com/http://x.taobao.com/").site, 11);
}

TEST(SiteTableTest, TextWithoutSchemeChangesNothing) {
    EXPECT_FALSE(RecogniseAddress(u"dp.pconline.com.cn/m/", kUnchanged));
    EXPECT_FALSE(RecogniseAddress(u"", kUnchanged));
}

TEST(SiteTableTest, NoMarkerKeepsTheSelectionAndRefinesQqWhenItIsSelected) {
    EXPECT_EQ(Recognise(u"http://example.org/").site, kUnchanged);
    const std::optional<SiteRecognition> qq = RecogniseAddress(u"http://example.org/t.qq.com", kQqFamilySite);
    ASSERT_TRUE(qq);
    EXPECT_EQ(qq->site, kQqFamilySite);
    EXPECT_EQ(qq->subType, kTencentWeiboAlbum);
}

}  // namespace
}  // namespace lumora
