// The command line takes only web addresses for a member's album space.
#pragma once

#include <string>

#include "base/Trim.h"
#include "text/StringCtrl.h"
#include "web/Address.h"

namespace lumora::cli {

// The blanks that the album-list reader cuts off a typed address, as the
// window's address box gives it.
inline constexpr std::u16string_view kAddressBlanks = u" \t\n\v\f\r\u3000\u00A0";

// Starts with "http://" or "https://", in any case, once the blanks around it are cut.
inline bool IsWebAddressArgument(const std::string& address) {
    return HasWebScheme(std::u16string(TrimBlanks(Utf8ToWide(address), kAddressBlanks)));
}

// For the parser: an empty text when `address` is a web address, else why not.
inline auto WebAddressValidator() {
    return [](const std::string& address) -> std::string {
        return IsWebAddressArgument(address) ? "" : "'" + address + "' is not a web address (http:// or https://)";
    };
}

}  // namespace lumora::cli
