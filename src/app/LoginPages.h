// Where each command of the login menu opens the login browser.
#pragma once

#include <string>
#include <string_view>

namespace lumora {

// Ids of the login menu's commands.
enum LoginCommand : int {
    kLoginQzone = 32781,
    kLoginTencentWeibo = 32782,
    kLoginBaidu = 32789,
    kLoginNetease = 32790,
    kLoginRenren = 32791,
    kLoginYupoo = 32792,
    kLoginMoko = 32793,
    kLoginSinaWeibo = 32794,
    kLoginCustom = 32795,
    kLoginTaobao = 32803,
    kLoginFiftySix = 32813,
};

// The start page for a login command, or empty for an id that is none.
// For Qzone, `addressText` (the main window's address box) holding a QQ
// number while `subTypeSelection` is the Qzone album kind opens that
// member's own space.
std::u16string LoginStartPage(int menuId, std::u16string_view addressText, int subTypeSelection);

// ASCII decimal digits and nothing else (at least one).
bool IsQqNumber(std::u16string_view text);

}  // namespace lumora
