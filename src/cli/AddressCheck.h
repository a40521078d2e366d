// The command line takes only web addresses for a member's album space.
#pragma once

#include <algorithm>
#include <cctype>
#include <string>

namespace lumora::cli {

// Starts with "http://" or "https://", in any case.
inline bool IsWebAddressArgument(std::string address) {
    std::transform(address.begin(), address.end(), address.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return address.starts_with("http://") || address.starts_with("https://");
}

// For the parser: an empty text when `address` is a web address, else why not.
inline auto WebAddressValidator() {
    return [](const std::string& address) -> std::string {
        return IsWebAddressArgument(address) ? "" : "'" + address + "' is not a web address (http:// or https://)";
    };
}

}  // namespace lumora::cli
