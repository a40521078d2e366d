// Free space kept on the file systems that pictures are saved to: a body
// without a length that never ends, or a run larger than the disk, must not
// fill the user's home. A run's guard remembers a file system it found full,
// so that no further picture starts there.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <filesystem>
#include <mutex>
#include <set>

namespace lumora {

// What a file system of `totalBytes` keeps free: the smaller of 1 GB and 5 %.
std::uint64_t DiskReserveOf(std::uint64_t totalBytes);

class DiskGuard {
public:
    // Bytes that may still be written into `folder` before its file system's
    // free space falls to the reserve; 0 once it has, and from then on for
    // that file system. A folder that cannot be asked has no guard (the
    // write itself fails if it must).
    std::uint64_t Room(const std::filesystem::path& folder);

private:
    std::mutex mutex_;
    std::set<dev_t> full_;
};

}  // namespace lumora
