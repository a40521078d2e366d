#include "web/AtomicFile.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <random>
#include <string>

namespace lumora {
namespace {

std::string RandomSuffix() {
    thread_local std::mt19937_64 engine{std::random_device{}()};
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string suffix;
    std::uint64_t bits = engine();
    for (int i = 0; i < 12; ++i, bits >>= 4) suffix += kDigits[bits & 15];
    return suffix;
}

bool WriteAll(int fd, std::string_view data) {
    std::size_t done = 0;
    while (done < data.size()) {
        ssize_t n = write(fd, data.data() + done, data.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

}  // namespace

bool WriteFileAtomically(const std::filesystem::path& target, std::string_view data, mode_t mode) {
    std::string temp;
    int fd = -1;
    for (int tries = 0; fd < 0 && tries < 16; ++tries) {
        temp = target.string() + ".part-" + RandomSuffix();
        fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
        if (fd < 0 && errno != EEXIST) return false;
    }
    if (fd < 0) return false;
    bool ok = WriteAll(fd, data);
    ok = (close(fd) == 0) && ok;
    if (ok) ok = std::rename(temp.c_str(), target.c_str()) == 0;
    if (!ok) unlink(temp.c_str());
    return ok;
}

}  // namespace lumora
