// lumora-cli list: a member's albums from an address.
#pragma once

#include <string>
#include <vector>

namespace lumora::cli {

int RunList(const std::vector<std::string>& args);

}  // namespace lumora::cli
