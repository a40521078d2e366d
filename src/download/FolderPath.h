// Creating the folders of a save path.
#pragma once

#include <optional>
#include <string>

namespace lumora {

// Creates every folder of `path` that is missing. Returns the partial path
// that could not be created, or nothing when all of them exist afterwards.
std::optional<std::u16string> CreateFolderPath(const std::u16string& path);

// `path` with a trailing "/" added when missing.
std::u16string WithTrailingSlash(std::u16string path);

}  // namespace lumora
