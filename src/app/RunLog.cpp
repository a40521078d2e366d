#include "app/RunLog.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "text/StringCtrl.h"

namespace lumora {
namespace {

std::string Utf8(const std::u16string& text) { return WideToUtf8(text); }

std::string LocalTime() {
    const std::time_t now = std::time(nullptr);
    std::tm parts{};
    localtime_r(&now, &parts);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &parts);
    return text;
}

std::string Count(std::size_t n) { return std::to_string(n); }

// Tabs and line breaks in titles or reasons would split a line.
std::string Field(const std::u16string& text) {
    std::string out = Utf8(text);
    for (char& c : out) {
        if (c == '\t' || c == '\n' || c == '\r') c = ' ';
    }
    return out;
}

}  // namespace

std::filesystem::path DefaultRunLogPath() {
    const char* state = std::getenv("XDG_STATE_HOME");
    std::filesystem::path folder;
    if (state && state[0] == '/') {
        folder = state;
    } else {
        const char* home = std::getenv("HOME");
        folder = std::filesystem::path(home && home[0] ? home : "/tmp") / ".local" / "state";
    }
    return folder / "lumora" / "lumora.log";
}

RunLog::RunLog(std::filesystem::path file) : file_(std::move(file)) {}

void RunLog::RotateIfFull(std::uintmax_t adding) {
    std::error_code error;
    const std::uintmax_t size = std::filesystem::file_size(file_, error);
    if (error || size + adding <= kMaxBytes || size == 0) return;
    auto numbered = [this](int n) {
        std::filesystem::path path = file_;
        path += "." + std::to_string(n);
        return path;
    };
    for (int n = kKeptFiles - 1; n >= 1; --n) {
        std::filesystem::rename(n == 1 ? file_ : numbered(n - 1), numbered(n), error);
    }
}

bool RunLog::Append(const std::string& line, std::string* error) {
    const std::string text = LocalTime() + " " + line + "\n";
    std::lock_guard lock(mutex_);
    std::error_code made;
    if (file_.has_parent_path()) std::filesystem::create_directories(file_.parent_path(), made);
    // Another process may write the same log: the lock keeps its rotation and
    // this line apart. The lock is taken on a file beside the log, which
    // rotation never renames.
    std::filesystem::path lockPath = file_;
    lockPath += ".lock";
    const int lockFd = ::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (lockFd >= 0) ::flock(lockFd, LOCK_EX);
    RotateIfFull(text.size());
    struct stat existing {};
    const bool irregular = ::stat(file_.c_str(), &existing) == 0 && !S_ISREG(existing.st_mode);
    const int fd = irregular ? -1 : ::open(file_.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NONBLOCK, 0600);
    bool written = false;
    int failure = irregular ? EINVAL : errno;
    if (fd >= 0) {
        struct stat info {};
        // Never write into a FIFO or a device that someone put in its place.
        if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode)) {
            written = ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
            failure = written ? 0 : errno;
        } else {
            failure = EINVAL;
        }
        ::close(fd);
    }
    if (lockFd >= 0) ::close(lockFd);
    if (!written && error) {
        *error = failure == EINVAL ? "not a regular file" : std::strerror(failure ? failure : EIO);
    }
    return written;
}

void RunLog::RunStarted(bool retry, std::size_t albumCount) {
    Append(std::string(retry ? "start\tretry of failed pictures\t" : "start\tdownload\t") + Count(albumCount) +
           " albums");
}

void RunLog::AlbumStarted(std::size_t number, std::size_t count, const std::u16string& title,
                          const std::u16string& address) {
    Append("album\t" + Count(number) + "/" + Count(count) + "\t" + Field(title) + "\t" + Field(address));
}

void RunLog::AlbumListed(std::size_t number, std::size_t pictures, const std::u16string& folder) {
    Append("pictures\t" + Count(number) + "\t" + Count(pictures) + "\t" + Field(folder));
}

void RunLog::PictureFailed(const PictureEvent& event) {
    Append("failed\t" + Count(event.album) + "\t" + Field(event.path) + "\t" + Field(event.address) + "\t" +
           Field(event.message));
}

void RunLog::AlbumEnded(std::size_t number, const AlbumOutcome& outcome) {
    std::string line = "album end\t" + Count(number) + "\tsaved " + Count(outcome.saved) + "\tskipped " +
                       Count(outcome.skipped) + "\tfiltered " + Count(outcome.filtered) + "\tfailed " +
                       Count(outcome.failures.size());
    if (!outcome.page.fetched) line += "\tpage not read: " + Field(DescribePageFailure(outcome.page));
    if (outcome.listFileOnly) line += outcome.listFileWritten ? "\tlist file written" : "\tlist file not written";
    if (outcome.stopped) line += "\tstopped";
    Append(line);
}

void RunLog::HostChanged(const HostChange& change) {
    Append(std::string(change.slowed ? "host slowed\t" : "host resumed\t") + change.host + "\tlimit " +
           (change.limit ? Count(change.limit) : std::string("none")) +
           (change.pause.count() > 0 ? "\tpause " + Count(static_cast<std::size_t>(change.pause.count())) + " s" : ""));
}

void RunLog::RunEnded(const DownloadReport& report) {
    const RunTotals totals = report.Totals();
    const char* how = report.stopped ? "stopped" : report.Complete() ? "complete" : "incomplete";
    std::string line = "end\t" + std::string(how) + "\tsaved " + Count(totals.saved) + "\tskipped " +
                       Count(totals.skipped) + "\tfiltered " + Count(totals.filtered) + "\tfailed " +
                       Count(totals.failed);
    if (report.unrecorded > 0)
        line += "\tnot recorded " + Count(report.unrecorded) + ": " + Field(report.unrecordedReason);
    Append(line);
}

}  // namespace lumora
