#include "web/AtomicFile.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <ctime>
#include <random>
#include <string>
#include <string_view>

#include "base/PathText.h"

namespace lumora {
namespace {

// The temporary file's name is the target's, cut so that the tag still fits
// in one path component: a target name of the full kMaxComponentBytes must
// save as well.
constexpr std::string_view kPartTag = ".part-";
constexpr std::size_t kSuffixLength = 12;
// Temporary files younger than this are never taken for a crash's leftovers.
constexpr std::time_t kStaleTempSeconds = 60;

std::string RandomSuffix() {
    thread_local std::mt19937_64 engine{std::random_device{}()};
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string suffix;
    std::uint64_t bits = engine();
    for (std::size_t i = 0; i < kSuffixLength; ++i, bits >>= 4) suffix += kDigits[bits & 15];
    return suffix;
}

std::string TempPathFor(const std::filesystem::path& target) {
    std::string name = target.filename().string();
    const std::size_t room = kMaxComponentBytes - kPartTag.size() - kSuffixLength;
    if (name.size() > room) {
        std::size_t cut = room;
        // Whole UTF-8 characters only: back off continuation bytes.
        while (cut > 0 && (static_cast<unsigned char>(name[cut]) & 0xC0) == 0x80) --cut;
        name.resize(cut);
    }
    return (target.parent_path() / name).string() + std::string(kPartTag) + RandomSuffix();
}

// "<name>.part-" and kSuffixLength lower-case hex digits: this program's own.
bool IsTempName(std::string_view name) {
    const std::size_t tag = name.rfind(kPartTag);
    if (tag == std::string_view::npos || name.size() - tag - kPartTag.size() != kSuffixLength) return false;
    for (char c : name.substr(tag + kPartTag.size())) {
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
    }
    return true;
}

}  // namespace

bool AtomicFileWriter::Open(const std::filesystem::path& target, mode_t mode) {
    Abandon();
    // A NUL would end the path early and name some other file.
    if (target.string().find('\0') != std::string::npos) return false;
    std::string temp;
    int fd = -1;
    for (int tries = 0; fd < 0 && tries < 16; ++tries) {
        temp = TempPathFor(target);
        fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
        if (fd < 0 && errno != EEXIST) break;
    }
    if (fd < 0) return false;
    // Held while the file is written: a cleaner in another process sees
    // that the file is in use and leaves it alone.
    flock(fd, LOCK_EX | LOCK_NB);
    registration_.Set(temp);  // a quit at once removes it
    file_.Start(fd, std::move(temp), target);
    return true;
}

bool WriteFileAtomically(const std::filesystem::path& target, std::string_view data, mode_t mode) {
    AtomicFileWriter writer;
    return writer.Open(target, mode) && writer.Write(data) && writer.Commit();
}

std::size_t RemoveStaleTempFiles(const std::filesystem::path& folder) {
    DIR* dir = opendir(folder.c_str());
    if (!dir) return 0;
    const int dirFd = dirfd(dir);
    const std::time_t now = std::time(nullptr);
    std::size_t removed = 0;
    while (const dirent* entry = readdir(dir)) {
        if (!IsTempName(entry->d_name)) continue;
        const int fd = openat(dirFd, entry->d_name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) continue;
        struct stat info {};
        // A young file may be one whose writer has not taken its lock yet.
        const bool stale = fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && now - info.st_mtime >= kStaleTempSeconds &&
                           flock(fd, LOCK_EX | LOCK_NB) == 0;
        if (stale && unlinkat(dirFd, entry->d_name, 0) == 0) ++removed;
        close(fd);
    }
    closedir(dir);
    return removed;
}

}  // namespace lumora
