// lumora-cli options / params / names: the current site's settings.
#pragma once

#include <string>
#include <vector>

namespace lumora::cli {

int RunOptions(const std::vector<std::string>& args);
int RunParams(const std::vector<std::string>& args);
int RunNames(const std::vector<std::string>& args);

}  // namespace lumora::cli
