// The run log: one line for each run's start and end, each album, and each
// failed picture with its reason, appended to a file that is rotated at
// 1 MB ("lumora.log", ".1", ".2"), so a failure is still there after the
// window has closed.
#pragma once

#include <filesystem>
#include <mutex>
#include <string>

#include "app/RunEvents.h"

namespace lumora {

// $XDG_STATE_HOME/lumora/lumora.log, or ~/.local/state/lumora/lumora.log.
std::filesystem::path DefaultRunLogPath();

class RunLog : public RunListener {
public:
    static constexpr std::uintmax_t kMaxBytes = 1024 * 1024;
    static constexpr int kKeptFiles = 3;  // the log and two older ones

    explicit RunLog(std::filesystem::path file);

    // Appends one line, stamped with the local time; creates the folder and
    // rotates first when needed. False (with `error`) when it cannot be written.
    bool Append(const std::string& line, std::string* error = nullptr);
    const std::filesystem::path& file() const { return file_; }

    void RunStarted(bool retry, std::size_t albumCount) override;
    void AlbumStarted(std::size_t number, std::size_t count, const std::u16string& title,
                      const std::u16string& address) override;
    void AlbumListed(std::size_t number, std::size_t pictures, const std::u16string& folder) override;
    void PictureFailed(const PictureEvent& event) override;
    void AlbumEnded(std::size_t number, const AlbumOutcome& outcome) override;
    void RunEnded(const DownloadReport& report) override;
    void HostChanged(const HostChange& change) override;

private:
    void RotateIfFull(std::uintmax_t adding);

    const std::filesystem::path file_;
    std::mutex mutex_;
};

}  // namespace lumora
