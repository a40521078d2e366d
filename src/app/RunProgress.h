// How far a download or retry run is, over the whole run: albums i/n,
// pictures done of those listed so far, failures, bytes, speed and the time
// left. A listener of the run's events; front ends read it as often as they
// like, from any thread.
#pragma once

#include <chrono>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>

#include "app/RunEvents.h"

namespace lumora {

struct RunProgressFigures {
    std::size_t album = 0;   // 1-based; 0 before the first album
    std::size_t albums = 0;  // of the run
    std::size_t done = 0;    // pictures ended (saved, skipped, refused or failed)
    std::size_t listed = 0;  // pictures listed by the albums so far
    std::size_t failed = 0;
    std::uint64_t bytes = 0;
    std::uint64_t bytesPerSecond = 0;          // 0 until a second has passed
    std::optional<std::uint64_t> secondsLeft;  // for the pictures listed so far
    std::u16string hostNote;                   // while a host is slowed: HostChangeText
    bool running = false;
};

class RunProgress : public RunListener {
public:
    using Clock = std::chrono::steady_clock;

    RunProgressFigures Figures() const { return FiguresAt(Clock::now()); }
    RunProgressFigures FiguresAt(Clock::time_point now) const;
    // Seconds since the run started; 0 when none has.
    double Elapsed() const;

    void RunStarted(bool retry, std::size_t albumCount) override;
    void AlbumStarted(std::size_t number, std::size_t count, const std::u16string& title,
                      const std::u16string& address) override;
    void AlbumListed(std::size_t number, std::size_t pictures, const std::u16string& folder) override;
    void PictureSaved(const PictureEvent& event) override;
    void PictureSkipped(const PictureEvent& event) override;
    void PictureFailed(const PictureEvent& event) override;
    void PictureFiltered(const PictureEvent& event) override;
    void RunEnded(const DownloadReport& report) override;
    void HostChanged(const HostChange& change) override;

private:
    void Ended(bool failed);

    mutable std::mutex mutex_;
    RunProgressFigures figures_;
    Clock::time_point startedAt_{};
    Clock::time_point endedAt_{};
    std::optional<Clock::time_point> firstListedAt_;
};

// "第2/5个相册  图片37/120张  失败2  1.5 MB/s  剩余0:42"; empty before the first album.
std::u16string RunProgressText(const RunProgressFigures& figures);
// "img.example.com 要求放慢：同时最多4个，暂停2秒", "img.example.com 恢复：不再限制".
std::u16string HostChangeText(const HostChange& change);
// "1.5 MB", "820 KB", "12 B".
std::u16string ByteCountText(std::uint64_t bytes);
// "0:42", "12:05", "2:03:09".
std::u16string DurationText(std::uint64_t seconds);

}  // namespace lumora
