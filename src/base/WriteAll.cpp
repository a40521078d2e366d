#include "base/WriteAll.h"

#include <unistd.h>

#include <cerrno>

namespace lumora {

bool WriteAll(int fd, const void* data, std::size_t size) {
    const char* bytes = static_cast<const char*>(data);
    std::size_t done = 0;
    while (done < size) {
        const ssize_t n = write(fd, bytes + done, size - done);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return false;
        if (n == 0) {
            errno = EIO;  // nothing taken and no reason given: never loop on it
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

}  // namespace lumora
