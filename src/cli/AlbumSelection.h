// Album picks on the command line: "all", or 1-based numbers and ranges.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace lumora::cli {

// Positions (0-based, ascending, no repeats) picked by `spec` among `count`
// albums; nothing for a malformed spec or a number outside 1..count.
std::optional<std::vector<std::size_t>> ParseAlbumSelection(const std::string& spec, std::size_t count);

}  // namespace lumora::cli
