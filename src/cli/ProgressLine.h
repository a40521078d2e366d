// The progress of a run on a terminal: one line per album, rewritten in
// place as its pictures arrive, with the album's number and title, pictures
// done of all, failures, bytes, speed and the time left. Status texts of
// other work (reading the album list or an album's page) show in the same
// line; messages are printed above it.
#pragma once

#include <chrono>
#include <cstdio>
#include <mutex>
#include <string>

#include "app/RunEvents.h"
#include "app/RunProgress.h"  // ByteCountText, DurationText

namespace lumora::cli {

class ProgressLine : public RunListener {
public:
    // Draws into `stream`, a terminal `columns` wide (0: ask the terminal).
    explicit ProgressLine(std::FILE* stream, unsigned columns = 0);
    ~ProgressLine() override;

    void SetStatus(const std::u16string& text);
    // Ends the line drawn, so what follows starts below it.
    void Finish();
    void PrintAbove(const std::u16string& text);

    void RunStarted(bool retry, std::size_t albumCount) override;
    void AlbumStarted(std::size_t number, std::size_t count, const std::u16string& title,
                      const std::u16string& address) override;
    void AlbumListed(std::size_t number, std::size_t pictures, const std::u16string& folder) override;
    void PictureSaved(const PictureEvent& event) override;
    void PictureSkipped(const PictureEvent& event) override;
    void PictureFailed(const PictureEvent& event) override;
    void PictureFiltered(const PictureEvent& event) override;
    void AlbumEnded(std::size_t number, const AlbumOutcome& outcome) override;
    void RunEnded(const DownloadReport& report) override;
    // The latest, until the host is no longer limited.
    void HostChanged(const HostChange& change) override;

    // The line as it would be drawn now, before it is cut to the width.
    std::u16string Text() const;

private:
    using Clock = std::chrono::steady_clock;
    std::u16string TextLocked() const;
    // Redraws at most ten times a second unless `now` is set.
    void Draw(bool now);
    // Ends the line drawn, so the next one starts below it.
    void EndLine();

    std::FILE* stream_;
    unsigned columns_;
    mutable std::mutex mutex_;
    std::u16string status_;
    std::u16string title_;
    std::u16string hostNote_;
    std::size_t album_ = 0, albums_ = 0;
    std::size_t listed_ = 0, saved_ = 0, skipped_ = 0, filtered_ = 0, failed_ = 0;
    std::uint64_t bytes_ = 0;
    bool albumListed_ = false;
    bool ended_ = false, stopped_ = false;
    bool lineShown_ = false;
    Clock::time_point listedAt_{};
    Clock::time_point drawnAt_{};
};

// Columns `text` takes on a terminal: wide (CJK) characters take two.
std::size_t DisplayWidth(const std::u16string& text);
// `text` cut to at most `columns`.
std::u16string CutToWidth(const std::u16string& text, std::size_t columns);

}  // namespace lumora::cli
