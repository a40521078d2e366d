#include "base/PathText.h"

namespace lumora {

std::u16string FolderOf(const std::u16string& path) {
    const std::size_t slash = path.rfind(u'/');
    return slash == std::u16string::npos ? std::u16string() : path.substr(0, slash + 1);
}

}  // namespace lumora
