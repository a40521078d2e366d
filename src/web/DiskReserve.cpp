#include "web/DiskReserve.h"

#include <sys/stat.h>
#include <sys/statvfs.h>

#include <algorithm>
#include <limits>

namespace lumora {

std::uint64_t DiskReserveOf(std::uint64_t totalBytes) {
    constexpr std::uint64_t kMostReserved = 1024ull * 1024 * 1024;
    return std::min(kMostReserved, totalBytes / 20);
}

std::uint64_t DiskGuard::Room(const std::filesystem::path& folder) {
    struct stat info {};
    struct statvfs space {};
    if (::stat(folder.c_str(), &info) != 0 || ::statvfs(folder.c_str(), &space) != 0) {
        return std::numeric_limits<std::uint64_t>::max();
    }
    std::lock_guard lock(mutex_);
    if (full_.contains(info.st_dev)) return 0;
    const std::uint64_t total = static_cast<std::uint64_t>(space.f_blocks) * space.f_frsize;
    const std::uint64_t free = static_cast<std::uint64_t>(space.f_bavail) * space.f_frsize;
    if (total == 0) return std::numeric_limits<std::uint64_t>::max();  // a file system that tells no sizes
    const std::uint64_t reserve = DiskReserveOf(total);
    if (free > reserve) return free - reserve;
    full_.insert(info.st_dev);
    return 0;
}

}  // namespace lumora
