#include "base/RegularFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace lumora {
namespace {

// Why `file` could not be looked at or opened: missing, or unreadable.
FileContents Unopened(const std::filesystem::path& file, int saved) {
    std::error_code error;
    // A file in the place of a folder of the path: no such file can be there.
    if (saved == ENOTDIR) return std::optional<std::string>();
    if (saved != ENOENT) return SystemFailure(saved);
    if (!std::filesystem::is_symlink(std::filesystem::symlink_status(file, error))) return std::optional<std::string>();
    return Failure{FailureCode::BrokenLink};
}

}  // namespace

FileContents ReadRegularFile(const std::filesystem::path& file, std::size_t maxBytes) {
    struct stat info {};
    // Looked at before it is opened: opening a device can already do something.
    if (stat(file.c_str(), &info) != 0) return Unopened(file, errno);
    if (!S_ISREG(info.st_mode)) return Failure{FailureCode::NotRegularFile};
    // Without blocking: a pipe put under the name after the look must not
    // hang the program.
    const int fd = open(file.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) return Unopened(file, errno);
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        close(fd);
        return Failure{FailureCode::NotRegularFile};
    }
    std::string bytes(std::min<std::size_t>(maxBytes, static_cast<std::size_t>(info.st_size)), '\0');
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = read(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            const int error = errno;
            close(fd);
            return SystemFailure(error);
        }
        if (n == 0) break;
        done += static_cast<std::size_t>(n);
    }
    bytes.resize(done);
    close(fd);
    return std::optional<std::string>(std::move(bytes));
}

}  // namespace lumora
