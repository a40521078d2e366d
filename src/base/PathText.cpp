#include "base/PathText.h"

namespace lumora {

std::u16string FolderOf(const std::u16string& path) {
    const std::size_t slash = path.rfind(u'/');
    return slash == std::u16string::npos ? std::u16string() : path.substr(0, slash + 1);
}

std::u16string WithoutExtension(const std::u16string& path) {
    const std::size_t nameStart = path.rfind(u'/') + 1;  // npos + 1 == 0
    const std::size_t dot = path.rfind(u'.');
    return dot == std::u16string::npos || dot < nameStart ? path : path.substr(0, dot);
}

}  // namespace lumora
