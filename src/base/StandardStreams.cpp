#include "base/StandardStreams.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

namespace lumora {

void ReserveStandardStreams() {
    for (int fd = 0; fd <= 2; ++fd) {
        if (fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
        // The lowest free number is this one, the lower ones being open by now.
        const int null = open("/dev/null", O_RDONLY);
        if (null >= 0 && null != fd) {
            dup2(null, fd);
            close(null);
        }
    }
}

}  // namespace lumora
