// Whole-file writes that never leave a truncated file behind.
#pragma once

#include <cstddef>
#include <filesystem>
#include <string_view>
#include <sys/types.h>

namespace lumora {

// Writes `data` to a new file beside `target` and renames it over `target`
// only when every byte is on disk. `mode` is filtered by the umask as usual.
// A symbolic link at `target` is replaced, never written through.
bool WriteFileAtomically(const std::filesystem::path& target, std::string_view data, mode_t mode);

// Removes from `folder` the temporary files that WriteFileAtomically left
// behind when its process died: files of its own name pattern only, older
// than a minute and not locked by a live writer. Returns how many went.
std::size_t RemoveStaleTempFiles(const std::filesystem::path& folder);

}  // namespace lumora
