// lumora-cli retry / archive: the download archive of the program folder.
#pragma once

#include <string>
#include <vector>

namespace lumora::cli {

int RunRetry(const std::vector<std::string>& args);
int RunArchive(const std::vector<std::string>& args);

}  // namespace lumora::cli
