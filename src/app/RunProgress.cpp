#include "app/RunProgress.h"

#include "text/Format.h"
#include "text/StringCtrl.h"

namespace lumora {
namespace {

std::int64_t Int(std::uint64_t n) { return static_cast<std::int64_t>(n); }

}  // namespace

RunProgressFigures RunProgress::FiguresAt(Clock::time_point now) const {
    std::lock_guard lock(mutex_);
    RunProgressFigures figures = figures_;
    if (!firstListedAt_) return figures;
    const Clock::time_point end = figures.running ? now : endedAt_;
    const double seconds = std::chrono::duration<double>(end - *firstListedAt_).count();
    if (seconds < 1) return figures;
    figures.bytesPerSecond = static_cast<std::uint64_t>(static_cast<double>(figures.bytes) / seconds);
    if (figures.running && figures.done > 0 && figures.done < figures.listed) {
        const double left =
            seconds / static_cast<double>(figures.done) * static_cast<double>(figures.listed - figures.done);
        figures.secondsLeft = static_cast<std::uint64_t>(left + 0.5);
    }
    return figures;
}

double RunProgress::Elapsed() const {
    std::lock_guard lock(mutex_);
    if (startedAt_ == Clock::time_point{}) return 0;
    const Clock::time_point end = figures_.running ? Clock::now() : endedAt_;
    return std::chrono::duration<double>(end - startedAt_).count();
}

void RunProgress::RunStarted(bool, std::size_t albumCount) {
    std::lock_guard lock(mutex_);
    figures_ = {};
    figures_.albums = albumCount;
    figures_.running = true;
    startedAt_ = Clock::now();
    firstListedAt_.reset();
}

void RunProgress::AlbumStarted(std::size_t number, std::size_t count, const std::u16string&, const std::u16string&) {
    std::lock_guard lock(mutex_);
    figures_.album = number;
    figures_.albums = count;
}

void RunProgress::AlbumListed(std::size_t, std::size_t pictures, const std::u16string&) {
    std::lock_guard lock(mutex_);
    figures_.listed += pictures;
    if (!firstListedAt_) firstListedAt_ = Clock::now();
}

void RunProgress::Ended(bool failed) {
    std::lock_guard lock(mutex_);
    ++figures_.done;
    if (failed) ++figures_.failed;
}

void RunProgress::PictureSaved(const PictureEvent& event) {
    {
        std::lock_guard lock(mutex_);
        figures_.bytes += event.bytes;
    }
    Ended(false);
}

void RunProgress::PictureSkipped(const PictureEvent&) { Ended(false); }

void RunProgress::PictureFailed(const PictureEvent&) { Ended(true); }

void RunProgress::PictureFiltered(const PictureEvent&) { Ended(false); }

void RunProgress::RunEnded(const DownloadReport&) {
    std::lock_guard lock(mutex_);
    figures_.running = false;
    endedAt_ = Clock::now();
}

void RunProgress::HostChanged(const HostChange& change) {
    std::lock_guard lock(mutex_);
    figures_.hostNote = !change.slowed && change.limit == 0 ? std::u16string() : HostChangeText(change);
}

std::u16string HostChangeText(const HostChange& change) {
    const std::u16string host = Utf8ToWide(change.host);
    const auto seconds = Int(static_cast<std::uint64_t>(change.pause.count()));
    if (!change.slowed) {
        return change.limit == 0 ? host + u" 恢复：不再限制"
                                 : FormatText(u"%s 恢复：同时最多%d个", {host, Int(change.limit)});
    }
    if (change.limit == 0) return FormatText(u"%s 要求暂停%d秒", {host, seconds});
    std::u16string text = FormatText(u"%s 要求放慢：同时最多%d个", {host, Int(change.limit)});
    if (change.pause.count() > 0) text += FormatText(u"，暂停%d秒", {seconds});
    return text;
}

std::u16string RunProgressText(const RunProgressFigures& figures) {
    if (figures.album == 0) return {};
    std::u16string text = FormatText(u"第%d/%d个相册  图片%d/%d张",
                                     {Int(figures.album), Int(figures.albums), Int(figures.done), Int(figures.listed)});
    if (figures.failed > 0) text += FormatText(u"  失败%d", {Int(figures.failed)});
    if (figures.bytesPerSecond > 0) text += u"  " + ByteCountText(figures.bytesPerSecond) + u"/s";
    if (figures.secondsLeft) text += u"  剩余" + DurationText(*figures.secondsLeft);
    if (!figures.hostNote.empty()) text += u"  " + figures.hostNote;
    return text;
}

std::u16string ByteCountText(std::uint64_t bytes) {
    if (bytes < 1024) return FormatText(u"%d B", {Int(bytes)});
    if (bytes < 1024 * 1024) return FormatText(u"%d KB", {Int(bytes / 1024)});
    const std::uint64_t tenths = bytes * 10 / (1024 * 1024);
    return FormatText(u"%d.%d MB", {Int(tenths / 10), Int(tenths % 10)});
}

std::u16string DurationText(std::uint64_t seconds) {
    const std::uint64_t h = seconds / 3600, m = seconds / 60 % 60, s = seconds % 60;
    if (h > 0) return FormatText(u"%d:%02d:%02d", {Int(h), Int(m), Int(s)});
    return FormatText(u"%d:%02d", {Int(m), Int(s)});
}

}  // namespace lumora
