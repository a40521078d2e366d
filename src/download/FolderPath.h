// Creating the folders of a save path.
#pragma once

#include <optional>
#include <string>

namespace lumora {

// A folder that could not be made or cannot be written, and the errno why.
struct FolderFailure {
    std::u16string path;
    int error = 0;
};

// Creates every folder of `path` that is missing. Returns the partial path
// that could not be created (or the whole path, when it cannot be written
// to), or nothing when all of them exist afterwards and the last one takes
// files.
std::optional<FolderFailure> CreateFolderPath(const std::u16string& path);

// `path` with a trailing "/" added when missing.
std::u16string WithTrailingSlash(std::u16string path);

}  // namespace lumora
