// lumora-cli download: a member's albums into folders.
#pragma once

#include <string>
#include <vector>

namespace lumora::cli {

int RunDownload(const std::vector<std::string>& args);

}  // namespace lumora::cli
