#include "download/SavedCheck.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <map>
#include <optional>
#include <thread>

#include "base/PathText.h"
#include "download/AlbumManifest.h"
#include "download/DownloadJob.h"  // IsAbsoluteName
#include "download/FolderPath.h"
#include "text/Format.h"
#include "text/StringCtrl.h"
#include "web/PictureCheck.h"
#include "web/Sha256.h"

namespace lumora {
namespace {

// Large reads keep the check at the disk's speed; one buffer per checking thread.
constexpr std::size_t kReadBytes = 1u << 20;

// The folder as a plain absolute path ending with "/".
std::u16string FolderKey(const std::u16string& folder) {
    std::error_code error;
    std::filesystem::path path = std::filesystem::absolute(std::filesystem::path(WideToUtf8(folder)), error);
    return WithTrailingSlash(Utf8ToWide(path.lexically_normal().string()));
}

void AddManifest(const std::u16string& albumFolder, const AlbumManifest& manifest,
                 std::map<std::u16string, SavedFile>& files) {
    for (const ManifestPicture& picture : manifest.pictures) {
        if (picture.state != ManifestState::Saved) continue;
        const std::u16string path = IsAbsoluteName(picture.file) ? picture.file : albumFolder + picture.file;
        files[path] = {path,         picture.address, albumFolder, manifest.title, manifest.address,
                       picture.size, picture.sha256};
    }
}

// The archive's record wins; what only the manifest knew (the album's title,
// a checksum for the same bytes) stays.
void AddRecord(const SavedPicture& record, std::map<std::u16string, SavedFile>& files) {
    SavedFile file{record.path,         record.address, FolderOf(record.path), {},
                   record.albumAddress, record.size,    record.sha256};
    if (const auto known = files.find(record.path); known != files.end()) {
        file.albumTitle = known->second.albumTitle;
        if (file.sha256.empty() && known->second.size == file.size) file.sha256 = known->second.sha256;
    }
    files[record.path] = std::move(file);
}

// Every manifest in `folder` and the folders under it.
void AddManifestsUnder(const std::u16string& folder, std::map<std::u16string, SavedFile>& files) {
    if (std::optional<AlbumManifest> manifest = ReadManifest(folder)) AddManifest(folder, *manifest, files);
    std::error_code error;
    const auto options = std::filesystem::directory_options::skip_permission_denied;
    for (std::filesystem::recursive_directory_iterator it(WideToUtf8(folder), options, error), end; !error && it != end;
         it.increment(error)) {
        if (!it->is_directory(error)) continue;
        const std::u16string albumFolder = Utf8ToWide(it->path().string()) + u'/';
        if (std::optional<AlbumManifest> manifest = ReadManifest(albumFolder)) {
            AddManifest(albumFolder, *manifest, files);
        }
    }
}

}  // namespace

SavedFileList CollectSavedFiles(const std::vector<std::u16string>& folders, DownloadArchive* archive) {
    SavedFileList list;
    std::map<std::u16string, SavedFile> files;
    if (folders.empty() && archive) {
        for (const SavedPicture& record : archive->SavedUnder(u"")) AddRecord(record, files);
    }
    for (const std::u16string& typed : folders) {
        const std::u16string folder = FolderKey(typed);
        std::error_code error;
        if (!std::filesystem::is_directory(std::filesystem::path(WideToUtf8(folder)), error)) {
            list.missingFolders.push_back(typed);
            continue;
        }
        const std::size_t before = files.size();
        AddManifestsUnder(folder, files);
        if (archive) {
            for (const SavedPicture& record : archive->SavedUnder(folder)) AddRecord(record, files);
        }
        if (files.size() == before) list.unknownFolders.push_back(typed);
    }
    list.files.reserve(files.size());
    for (auto& [path, file] : files) list.files.push_back(std::move(file));
    return list;
}

const char* SavedProblemCode(SavedProblem problem) {
    switch (problem) {
    case SavedProblem::None: return "whole";
    case SavedProblem::Missing: return "missing";
    case SavedProblem::Size: return "size";
    case SavedProblem::Changed: return "changed";
    case SavedProblem::NotPicture: return "not-picture";
    }
    return "whole";
}

std::u16string SavedProblemText(const SavedFileCheck& check) {
    switch (check.problem) {
    case SavedProblem::None: return u"完好";
    case SavedProblem::Missing: return u"缺失";
    case SavedProblem::Size:
        return FormatText(u"大小不符：应为%d字节，现为%d字节",
                          {static_cast<std::int64_t>(check.file.size), static_cast<std::int64_t>(check.sizeNow)});
    case SavedProblem::Changed: return u"内容已改变（SHA-256不符）";
    case SavedProblem::NotPicture: return u"不再是完整的图片";
    }
    return {};
}

SavedFileCheck CheckSavedFile(const SavedFile& file) {
    SavedFileCheck check{file, SavedProblem::None, 0};
    const int fd = ::open(WideToUtf8(file.path).c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    struct stat info {};
    if (fd < 0 || ::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        if (fd >= 0) ::close(fd);
        check.problem = SavedProblem::Missing;
        return check;
    }
    check.sizeNow = static_cast<std::uint64_t>(info.st_size);
    if (check.sizeNow != file.size) {
        ::close(fd);
        check.problem = SavedProblem::Size;
        return check;
    }
    ::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
    thread_local std::string buffer(kReadBytes, '\0');
    std::optional<Sha256> sha;
    if (!file.sha256.empty()) sha.emplace();
    PictureEndCheck picture;
    std::string head;
    std::uint64_t read = 0;
    for (;;) {
        const ssize_t n = ::read(fd, buffer.data(), buffer.size());
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        const std::string_view bytes(buffer.data(), static_cast<std::size_t>(n));
        if (head.size() < 64) head.append(bytes.substr(0, 64 - head.size()));
        if (sha) sha->Update(bytes);
        picture.Feed(bytes);
        read += static_cast<std::uint64_t>(n);
    }
    ::close(fd);
    const bool broken =
        picture.Cut() || (picture.kind() == PictureEndCheck::Kind::Other && StartsAsPage(head).value_or(false));
    if (read != file.size) {
        check.sizeNow = read;  // shrank while it was read, or could not be read to its end
        check.problem = SavedProblem::Size;
    } else if (sha && sha->HexDigest() != file.sha256) {
        check.problem = broken ? SavedProblem::NotPicture : SavedProblem::Changed;
    } else if (!sha && broken) {
        check.problem = SavedProblem::NotPicture;
    }
    return check;
}

std::vector<SavedFileCheck> CheckSavedFiles(const std::vector<SavedFile>& files, unsigned threads,
                                            const std::function<void(std::size_t checked)>& progress,
                                            const std::atomic<bool>* stop) {
    std::vector<SavedFileCheck> checks(files.size());
    std::atomic<std::size_t> next{0};
    std::atomic<std::size_t> checked{0};
    const auto work = [&] {
        for (std::size_t i = next++; i < files.size(); i = next++) {
            if (stop && *stop) return;
            checks[i] = CheckSavedFile(files[i]);
            const std::size_t count = ++checked;
            if (progress) progress(count);
        }
    };
    std::vector<std::thread> pool;
    const std::size_t count = std::min<std::size_t>(std::max(threads, 1u), files.size());
    for (std::size_t t = 1; t < count; ++t) pool.emplace_back(work);
    work();
    for (std::thread& thread : pool) thread.join();
    std::vector<SavedFileCheck> problems;
    for (SavedFileCheck& check : checks) {
        if (check.problem != SavedProblem::None) problems.push_back(std::move(check));
    }
    return problems;
}

}  // namespace lumora
