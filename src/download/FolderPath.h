// Creating the folders of a save path.
#pragma once

#include <string>

#include "base/Result.h"

namespace lumora {

// Creates every folder of `path` that is missing; fine when all of them
// exist afterwards and the last one takes files. A failure's subject is the
// partial path that could not be created (or the whole path, when it cannot
// be written to).
Result<void> CreateFolderPath(const std::u16string& path);

// `path` with a trailing "/" added when missing.
std::u16string WithTrailingSlash(std::u16string path);

}  // namespace lumora
