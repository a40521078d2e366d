#include "app/RunnerLock.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

namespace lumora {
namespace {

// Open-file-description locks: they belong to the open file, not the
// process, so a second lock in this process is refused too; and they can
// be tested without being taken.
int OpenLockFile(const std::filesystem::path& programFolder, int flags) {
    return ::open((programFolder / "runner.lock").c_str(), flags | O_CLOEXEC, 0600);
}

struct flock WholeFile(short type) {
    struct flock range {};
    range.l_type = type;
    range.l_whence = SEEK_SET;
    return range;
}

}  // namespace

RunnerLock::RunnerLock(const std::filesystem::path& programFolder) {
    fd_ = OpenLockFile(programFolder, O_RDWR | O_CREAT);
    // A folder where no lock file can be made cannot keep an archive either:
    // the run goes on and says so through the archive.
    if (fd_ < 0) return;
    struct flock range = WholeFile(F_WRLCK);
    if (::fcntl(fd_, F_OFD_SETLK, &range) != 0) {
        heldElsewhere_ = errno == EAGAIN || errno == EACCES;
        ::close(fd_);
        fd_ = -1;
    }
}

RunnerLock::~RunnerLock() {
    if (fd_ >= 0) ::close(fd_);
}

bool RunnerLock::IsHeld(const std::filesystem::path& programFolder) {
    const int fd = OpenLockFile(programFolder, O_RDONLY);
    if (fd < 0) return false;
    struct flock range = WholeFile(F_WRLCK);
    const bool held = ::fcntl(fd, F_OFD_GETLK, &range) == 0 && range.l_type != F_UNLCK;
    ::close(fd);
    return held;
}

}  // namespace lumora
