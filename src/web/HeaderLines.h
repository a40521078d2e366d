// Header lines of a raw response header block.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace lumora {

// The values of every header line named `name` (given in lower case, matched
// in any case) of CR LF or LF lines, blanks around each value dropped.
std::vector<std::string> HeaderValues(const std::string& headers, std::string_view name);

}  // namespace lumora
