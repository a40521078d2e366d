#include "download/PostProcessing.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "base/PathText.h"
#include "base/Utf16.h"
#include "base/WriteAll.h"
#include "text/StringCtrl.h"

namespace lumora {
namespace {

bool IsRegularFile(int fd) {
    struct stat info {};
    return fstat(fd, &info) == 0 && S_ISREG(info.st_mode);
}

std::size_t ReadUpTo(int fd, unsigned char* buffer, std::size_t size) {
    std::size_t done = 0;
    while (done < size) {
        const ssize_t n = read(fd, buffer + done, size - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        done += static_cast<std::size_t>(n);
    }
    return done;
}

bool WriteAndClose(int fd, const std::string& data) {
    const bool written = WriteAll(fd, data.data(), data.size());
    return close(fd) == 0 && written;
}

// Starts the file afresh. The old entry is removed rather than truncated, so a
// symbolic link or a hard link planted under the name is never written through.
bool CreateFresh(const std::string& path, const std::string& data) {
    unlink(path.c_str());
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    return fd >= 0 && WriteAndClose(fd, data);
}

bool AppendToExisting(const std::string& path, const std::string& data) {
    const int fd = open(path.c_str(), O_WRONLY | O_APPEND | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return false;
    if (!IsRegularFile(fd)) {
        close(fd);
        return false;
    }
    return WriteAndClose(fd, data);
}

bool SameContent(const std::string& a, const std::string& b) {
    const int fa = open(a.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    const int fb = open(b.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    struct stat sa {
    }, sb{};
    bool same = fa >= 0 && fb >= 0 && fstat(fa, &sa) == 0 && fstat(fb, &sb) == 0 && S_ISREG(sa.st_mode) &&
                S_ISREG(sb.st_mode) && sa.st_size == sb.st_size;
    unsigned char ba[65536], bb[65536];
    while (same) {
        const std::size_t na = ReadUpTo(fa, ba, sizeof ba);
        same = ReadUpTo(fb, bb, sizeof bb) == na && std::memcmp(ba, bb, na) == 0;
        if (na < sizeof ba) break;
    }
    if (fa >= 0) close(fa);
    if (fb >= 0) close(fb);
    return same;
}

constexpr std::u16string_view kFixedExtensions[] = {u".jpg", u".png", u".gif", u".bmp",
                                                    u".tga", u".ico", u".cur", u".tiff"};

}  // namespace

std::u16string_view ExtensionForHeader(const unsigned char* b) {
    // Tested in this order: 00 00 02 00 00 is a TGA file, 00 00 02 00 01 a cursor.
    if (b[0] == 0xFF && b[1] == 0xD8) return u".jpg";
    if (b[0] == 0x89 && b[1] == 0x50) return u".png";
    if (b[0] == 'G' && b[1] == 'I' && b[2] == 'F') return u".gif";
    if (b[0] == 'B' && b[1] == 'M') return u".bmp";
    if (b[0] == 0 && b[1] == 0 && b[3] == 0) {
        if (b[4] == 0 && (b[2] == 2 || b[2] == 16)) return u".tga";
        if (b[2] == 1 && b[4] == 1) return u".ico";
        if (b[2] == 2 && b[4] == 1) return u".cur";
    }
    if ((b[0] == 'I' && b[1] == 'I') || (b[0] == 'M' && b[1] == 'M')) return u".tiff";
    return {};
}

bool MoveByLinking(const std::string& from, const std::string& to) {
    if (link(from.c_str(), to.c_str()) != 0) return false;
    if (unlink(from.c_str()) == 0) return true;
    // Keep the file under one name only, the one the caller still holds.
    unlink(to.c_str());
    return false;
}

bool MoveNoReplace(const std::string& from, const std::string& to) {
    if (renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return true;
    if (errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP) return false;
    return MoveByLinking(from, to);
}

bool DetectPictureType(std::u16string& path) {
    const std::string from = WideToUtf8(path);
    const int fd = open(from.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return false;
    unsigned char head[8] = {};
    const bool regular = IsRegularFile(fd);
    if (regular) ReadUpTo(fd, head, 7);
    close(fd);
    if (!regular) return false;

    const std::u16string_view extension = ExtensionForHeader(head);
    if (extension.empty()) return false;

    // A name without an extension gets one appended.
    const std::u16string moved = WithoutExtension(path) + std::u16string(extension);
    if (moved == path) return false;
    const std::string to = WideToUtf8(moved);
    if (!MoveNoReplace(from, to)) {
        // Two copies of one picture must not stay side by side.
        if (errno != EEXIST || !SameContent(from, to) || unlink(from.c_str()) != 0) return false;
    }
    path = moved;
    return true;
}

void FixPictureFormats(DownloadJob& job, const PictureMoved& moved) {
    for (std::size_t i = 0; i < job.fileNames.size(); ++i) {
        std::u16string path = job.SavePath(i);
        const std::u16string before = path;
        const std::size_t folderLength = path.size() - job.fileNames[i].size();
        // Only the extension changes, and it lies inside the entry itself.
        if (!DetectPictureType(path)) continue;
        job.fileNames[i] = path.substr(folderLength);
        if (moved) moved(i, before, path);
    }
}

std::u16string FindRenamedPicture(const std::u16string& recorded, std::uint64_t size) {
    const std::u16string stem = WithoutExtension(recorded);
    for (std::u16string_view extension : kFixedExtensions) {
        std::u16string candidate = stem + std::u16string(extension);
        if (candidate == recorded) continue;
        struct stat info {};
        if (lstat(WideToUtf8(candidate).c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
            static_cast<std::uint64_t>(info.st_size) == size)
            return candidate;
    }
    return {};
}

void SetFileTimes(const std::u16string& path, std::time_t t) {
    const int fd = open(WideToUtf8(path).c_str(), O_RDWR | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return;
    if (t > 0 && IsRegularFile(fd)) {
        const struct timespec times[2] = {{t, 0}, {t, 0}};
        futimens(fd, times);
    }
    close(fd);
}

void FixPictureOrder(const DownloadJob& job) {
    std::time_t t = std::time(nullptr);
    for (std::size_t i = 0; i < job.fileNames.size(); ++i, t -= 60) SetFileTimes(job.SavePath(i), t);
}

void PictureNameFile::Start(const DownloadJob& job, const std::u16string& albumName) {
    job_ = &job;
    // The album name is the site's text: a "/" in it must not lead the file
    // into another folder, and a NUL would cut the path short.
    std::u16string name = albumName;
    std::erase_if(name, [](char16_t c) { return c == u'/' || c == u'\0'; });
    fileName_ = CutToUtf8Bytes(name, kMaxComponentBytes - 4) + u".txt";
}

std::u16string PictureNameFile::Path() const {
    return job_ != nullptr ? job_->albumFolder + fileName_ : std::u16string();
}

bool PictureNameFile::Append(const std::u16string& description) const {
    if (job_ == nullptr) return false;
    // One line per item, whatever the description holds, so that line k
    // stays with item k.
    std::u16string line = description.substr(0, description.find(u'\0'));
    std::replace_if(
        line.begin(), line.end(), [](char16_t c) { return c == u'\r' || c == u'\n'; }, u' ');
    line += u"\r\n";

    const std::string path = WideToUtf8(Path());
    if (job_->size() < 2) return CreateFresh(path, "\xFF\xFE" + ToUtf16Le(line));
    return AppendToExisting(path, ToUtf16Le(line));
}

std::function<void(const std::u16string&)> PictureNameFile::Appender() const {
    return [this](const std::u16string& description) { Append(description); };
}

}  // namespace lumora
