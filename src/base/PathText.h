// Paths held as UTF-16 text, as the job and the archive keep them.
#pragma once

#include <cstddef>
#include <string>

namespace lumora {

// Longest file or folder name the file system takes, in UTF-8 bytes.
inline constexpr std::size_t kMaxComponentBytes = 255;

// The folder part of `path` with its trailing "/", or empty for a bare name.
std::u16string FolderOf(const std::u16string& path);

// `path` without the extension of its file name; only a "." inside the
// file's own name starts one.
std::u16string WithoutExtension(const std::u16string& path);

}  // namespace lumora
