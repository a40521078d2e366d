#include "app/LoginPages.h"

#include <algorithm>

#include "app/SiteTable.h"

namespace lumora {

namespace {

constexpr char16_t kQzoneUserPage[] = u"https://user.qzone.qq.com/";

struct LoginPage {
    int id;
    const char16_t* address;
};

// Public login pages, or home pages where the service logs in from there.
constexpr LoginPage kLoginPages[] = {
    {kLoginQzone, kQzoneUserPage},
    {kLoginTencentWeibo, u"https://t.qq.com/"},
    {kLoginBaidu, u"https://passport.baidu.com/v2/?login"},
    {kLoginNetease, u"https://reg.163.com/"},
    {kLoginRenren, u"https://www.renren.com/"},
    {kLoginYupoo, u"https://www.yupoo.com/account/login/"},
    // Back to the home page once logged in.
    {kLoginMoko, u"https://www.moko.cc/login.action?tourl=https%3A%2F%2Fwww.moko.cc%2F"},
    {kLoginSinaWeibo, u"https://weibo.com/"},
    {kLoginTaobao, u"https://login.taobao.com/member/login.jhtml"},
    {kLoginFiftySix, u"https://www.56.com/"},
    // Any site: the user types its address into the browser's address box.
    {kLoginCustom, u"about:blank"},
};

}  // namespace

bool IsQqNumber(std::u16string_view text) {
    return !text.empty() && std::all_of(text.begin(), text.end(), [](char16_t c) { return c >= u'0' && c <= u'9'; });
}

std::u16string LoginStartPage(int menuId, std::u16string_view addressText, int subTypeSelection) {
    for (const LoginPage& page : kLoginPages) {
        if (page.id != menuId) continue;
        std::u16string address = page.address;
        if (menuId == kLoginQzone && subTypeSelection == kQzoneAlbum && IsQqNumber(addressText)) {
            address += addressText;
        }
        return address;
    }
    return {};
}

}  // namespace lumora
