// Start pages of the login menu's commands.
#include "app/LoginPages.h"

#include <gtest/gtest.h>

#include <set>

#include "app/SiteTable.h"

namespace lumora {
namespace {

TEST(LoginStartPage, QzoneOpensTheSpaceOfAQqNumberOnly) {
    const std::u16string qzone = LoginStartPage(kLoginQzone, u"", kQzoneAlbum);
    EXPECT_EQ(LoginStartPage(kLoginQzone, u"12345678", kQzoneAlbum), qzone + u"12345678");
    for (std::u16string_view text : {u"1234a678", u" 12345", u"http://user.qzone.qq.com/1", u"１２３"}) {
        EXPECT_EQ(LoginStartPage(kLoginQzone, text, kQzoneAlbum), qzone);
    }
    EXPECT_EQ(LoginStartPage(kLoginQzone, u"12345678", kQqGroupAlbum), qzone);
}

TEST(LoginStartPage, EachCommandHasItsOwnSecurePage) {
    std::set<std::u16string> pages;
    for (int id : {kLoginQzone, kLoginTencentWeibo, kLoginBaidu, kLoginNetease, kLoginRenren, kLoginYupoo, kLoginMoko,
                   kLoginSinaWeibo, kLoginTaobao, kLoginFiftySix}) {
        const std::u16string page = LoginStartPage(id, u"12345678", kQzoneAlbum);
        EXPECT_TRUE(page.starts_with(u"https://")) << id;
        pages.insert(page);
    }
    EXPECT_EQ(pages.size(), 10u);
    EXPECT_NE(LoginStartPage(kLoginMoko, u"", 0).find(u"tourl="), std::u16string::npos);
    EXPECT_FALSE(LoginStartPage(kLoginCustom, u"", 0).empty());
    EXPECT_TRUE(LoginStartPage(32778, u"", 0).empty());
}

}  // namespace
}  // namespace lumora
