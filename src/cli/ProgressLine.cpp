#include "cli/ProgressLine.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include "text/Format.h"
#include "text/StringCtrl.h"

namespace lumora::cli {
namespace {

std::int64_t Int(std::uint64_t n) { return static_cast<std::int64_t>(n); }

bool IsWide(char32_t c) {
    return (c >= 0x1100 && c <= 0x115F) || (c >= 0x2E80 && c <= 0xA4CF) || (c >= 0xAC00 && c <= 0xD7A3) ||
           (c >= 0xF900 && c <= 0xFAFF) || (c >= 0xFE30 && c <= 0xFE4F) || (c >= 0xFF00 && c <= 0xFF60) ||
           (c >= 0xFFE0 && c <= 0xFFE6) || (c >= 0x20000 && c <= 0x3FFFD);
}

// Walks `text` a character at a time (a surrogate pair is one), calling
// `visit(start, length, width)` until it returns false.
template <typename Visit>
void EachCharacter(const std::u16string& text, Visit visit) {
    for (std::size_t i = 0; i < text.size();) {
        char32_t c = text[i];
        std::size_t length = 1;
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            length = 2;
        }
        if (!visit(i, length, IsWide(c) ? 2u : 1u)) return;
        i += length;
    }
}

unsigned TerminalColumns(std::FILE* stream) {
    winsize size{};
    if (::ioctl(::fileno(stream), TIOCGWINSZ, &size) == 0 && size.ws_col > 0) return size.ws_col;
    return 80;
}

}  // namespace

std::size_t DisplayWidth(const std::u16string& text) {
    std::size_t width = 0;
    EachCharacter(text, [&](std::size_t, std::size_t, unsigned w) {
        width += w;
        return true;
    });
    return width;
}

std::u16string CutToWidth(const std::u16string& text, std::size_t columns) {
    std::size_t width = 0, end = 0;
    EachCharacter(text, [&](std::size_t start, std::size_t length, unsigned w) {
        if (width + w > columns) return false;
        width += w;
        end = start + length;
        return true;
    });
    return text.substr(0, end);
}

ProgressLine::ProgressLine(std::FILE* stream, unsigned columns)
    : stream_(stream), columns_(columns ? columns : TerminalColumns(stream)) {}

ProgressLine::~ProgressLine() {
    std::lock_guard lock(mutex_);
    EndLine();
}

std::u16string ProgressLine::Text() const {
    std::lock_guard lock(mutex_);
    return TextLocked();
}

std::u16string ProgressLine::TextLocked() const {
    if (album_ == 0) return status_;
    std::u16string line = FormatText(u"[%d/%d] %s", {Int(album_), Int(albums_), title_});
    if (!albumListed_) return status_.empty() ? line : line + u"  " + status_;
    const std::size_t done = saved_ + skipped_ + filtered_ + failed_;
    line += FormatText(u"  %d/%d张", {Int(done), Int(listed_)});
    if (failed_ > 0) line += FormatText(u"  失败%d", {Int(failed_)});
    const double seconds = std::chrono::duration<double>(Clock::now() - listedAt_).count();
    line += u"  " + ByteCountText(bytes_);
    if (seconds >= 1 && bytes_ > 0) line += u"  " + ByteCountText(static_cast<std::uint64_t>(bytes_ / seconds)) + u"/s";
    if (stopped_) return line + u"  已终止下载";
    if (done > 0 && done < listed_ && seconds >= 1 && !ended_) {
        const double left = seconds / static_cast<double>(done) * static_cast<double>(listed_ - done);
        line += u"  剩余" + DurationText(static_cast<std::uint64_t>(left + 0.5));
    }
    if (!hostNote_.empty()) line += u"  " + hostNote_;
    return line;
}

void ProgressLine::HostChanged(const HostChange& change) {
    std::lock_guard lock(mutex_);
    hostNote_ = !change.slowed && change.limit == 0 ? std::u16string() : HostChangeText(change);
    Draw(true);
}

void ProgressLine::Draw(bool now) {
    const Clock::time_point at = Clock::now();
    if (!now && at - drawnAt_ < std::chrono::milliseconds(100)) return;
    drawnAt_ = at;
    // Never as wide as the terminal: a full line would wrap and break the rewrite.
    const std::string text = "\r\x1b[K" + WideToUtf8(CutToWidth(TextLocked(), columns_ > 1 ? columns_ - 1 : 1));
    std::fwrite(text.data(), 1, text.size(), stream_);
    std::fflush(stream_);
    lineShown_ = true;
}

void ProgressLine::EndLine() {
    if (!lineShown_) return;
    std::fputc('\n', stream_);
    std::fflush(stream_);
    lineShown_ = false;
}

void ProgressLine::Finish() {
    std::lock_guard lock(mutex_);
    EndLine();
}

void ProgressLine::SetStatus(const std::u16string& text) {
    std::lock_guard lock(mutex_);
    status_ = text;
    Draw(album_ == 0);  // only an album's pictures come fast enough to need holding back
}

void ProgressLine::PrintAbove(const std::u16string& text) {
    std::lock_guard lock(mutex_);
    const std::string line = (lineShown_ ? "\r\x1b[K" : "") + WideToUtf8(text) + "\n";
    std::fwrite(line.data(), 1, line.size(), stream_);
    lineShown_ = false;
    if (album_ != 0 || !status_.empty()) Draw(true);
}

void ProgressLine::RunStarted(bool, std::size_t) {
    std::lock_guard lock(mutex_);
    if (lineShown_) Draw(true);  // the list's last status, complete
    EndLine();
    status_.clear();
}

void ProgressLine::AlbumStarted(std::size_t number, std::size_t count, const std::u16string& title,
                                const std::u16string&) {
    std::lock_guard lock(mutex_);
    album_ = number;
    albums_ = count;
    title_ = title;
    status_.clear();
    albumListed_ = false;
    listed_ = saved_ = skipped_ = filtered_ = failed_ = 0;
    ended_ = stopped_ = false;
    bytes_ = 0;
    Draw(true);
}

void ProgressLine::AlbumListed(std::size_t, std::size_t pictures, const std::u16string&) {
    std::lock_guard lock(mutex_);
    listed_ = pictures;
    albumListed_ = true;
    listedAt_ = Clock::now();
    Draw(true);
}

void ProgressLine::PictureSaved(const PictureEvent& event) {
    std::lock_guard lock(mutex_);
    ++saved_;
    bytes_ += event.bytes;
    Draw(false);
}

void ProgressLine::PictureSkipped(const PictureEvent&) {
    std::lock_guard lock(mutex_);
    ++skipped_;
    Draw(false);
}

void ProgressLine::PictureFailed(const PictureEvent&) {
    std::lock_guard lock(mutex_);
    ++failed_;
    Draw(false);
}

void ProgressLine::PictureFiltered(const PictureEvent&) {
    std::lock_guard lock(mutex_);
    ++filtered_;
    Draw(false);
}

void ProgressLine::AlbumEnded(std::size_t, const AlbumOutcome& outcome) {
    std::lock_guard lock(mutex_);
    // The report's counts are final; the events of transfers a stop
    // abandoned may not all have come.
    saved_ = outcome.saved;
    skipped_ = outcome.skipped;
    filtered_ = outcome.filtered;
    failed_ = outcome.failures.size();
    ended_ = true;
    stopped_ = outcome.stopped;
    if (!outcome.page.fetched) {
        albumListed_ = false;
        status_ = u"相册页面读取失败：" + DescribePageFailure(outcome.page);
    }
    Draw(true);
    EndLine();
    album_ = 0;
    status_.clear();
}

void ProgressLine::RunEnded(const DownloadReport&) {
    std::lock_guard lock(mutex_);
    EndLine();
}

}  // namespace lumora::cli
