#include "download/FolderPath.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "text/StringCtrl.h"

namespace lumora {

std::u16string WithTrailingSlash(std::u16string path) {
    if (path.empty() || path.back() != u'/') path += u'/';
    return path;
}

Result<void> CreateFolderPath(const std::u16string& path) {
    const std::u16string full = WithTrailingSlash(path);
    // Every "/" after the first character ends one folder of the path.
    for (std::size_t at = full.find(u'/', 1); at != std::u16string::npos; at = full.find(u'/', at + 1)) {
        const std::u16string partial = full.substr(0, at);
        const std::string bytes = WideToUtf8(partial);
        auto isFolder = [&bytes] {
            struct stat info {};
            return stat(bytes.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
        };
        // Another thread or program may create it at the same moment.
        if (!isFolder() && mkdir(bytes.c_str(), 0777) != 0) {
            const int error = errno;
            if (!isFolder()) return SystemFailure(error, partial);
        }
    }
    // A folder that exists but takes no file (read-only) would fail every picture.
    if (access(WideToUtf8(full).c_str(), W_OK | X_OK) != 0) return SystemFailure(errno, path);
    return {};
}

}  // namespace lumora
