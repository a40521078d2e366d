// Reading a file that must be a regular one, without ever blocking.
#pragma once

#include <cstddef>
#include <filesystem>
#include <string>

namespace lumora {

enum class FileRead { Missing, Read, Unreadable };
// Reads at most `maxBytes` of `file` when it is a regular file (a link is
// followed), without blocking on anything else. Unreadable: `problem` says why.
FileRead ReadRegularFile(const std::filesystem::path& file, std::size_t maxBytes, std::string& bytes,
                         std::string& problem);

}  // namespace lumora
