// Reading a file that must be a regular one, without ever blocking.
#pragma once

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>

#include "base/Result.h"

namespace lumora {

// At most `maxBytes` of `file` when it is a regular file (a link is
// followed), read without blocking on anything else; nothing when there is
// no such file; a failure when something is there that cannot be read.
using FileContents = Result<std::optional<std::string>>;
FileContents ReadRegularFile(const std::filesystem::path& file, std::size_t maxBytes);

}  // namespace lumora
