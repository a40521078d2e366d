#include "base/RegularFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace lumora {
namespace {

// Why `file` could not be looked at or opened: missing, or unreadable.
FileRead Failure(const std::filesystem::path& file, int saved, std::string& problem) {
    std::error_code error;
    if (saved == ENOENT && !std::filesystem::is_symlink(std::filesystem::symlink_status(file, error)))
        return FileRead::Missing;
    problem = saved == ENOENT ? std::string("链接指向的文件不存在") : std::strerror(saved);
    return FileRead::Unreadable;
}

}  // namespace

FileRead ReadRegularFile(const std::filesystem::path& file, std::size_t maxBytes, std::string& bytes,
                         std::string& problem) {
    bytes.clear();
    struct stat info {};
    // Looked at before it is opened: opening a device can already do something.
    if (stat(file.c_str(), &info) != 0) return Failure(file, errno, problem);
    if (!S_ISREG(info.st_mode)) {
        problem = "不是普通文件";
        return FileRead::Unreadable;
    }
    // Without blocking: a pipe put under the name after the look must not
    // hang the program.
    const int fd = open(file.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) return Failure(file, errno, problem);
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        close(fd);
        problem = "不是普通文件";
        return FileRead::Unreadable;
    }
    bytes.resize(std::min<std::size_t>(maxBytes, static_cast<std::size_t>(info.st_size)));
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = read(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            problem = std::strerror(errno);
            close(fd);
            bytes.clear();
            return FileRead::Unreadable;
        }
        if (n == 0) break;
        done += static_cast<std::size_t>(n);
    }
    bytes.resize(done);
    close(fd);
    return FileRead::Read;
}

}  // namespace lumora
