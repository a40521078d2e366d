#include "app/RunnerLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>

namespace lumora {

RunnerLock::RunnerLock(const std::filesystem::path& programFolder) {
    fd_ = ::open((programFolder / "runner.lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    // A folder where no lock file can be made cannot keep an archive either:
    // the run goes on and says so through the archive.
    if (fd_ < 0) return;
    // An open file description of its own: a second lock in this process is refused too.
    if (::flock(fd_, LOCK_EX | LOCK_NB) != 0) {
        heldElsewhere_ = errno == EWOULDBLOCK;
        ::close(fd_);
        fd_ = -1;
    }
}

RunnerLock::~RunnerLock() {
    if (fd_ >= 0) ::close(fd_);
}

}  // namespace lumora
