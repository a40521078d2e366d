// `--json`: every event of a run as one JSON object per line on standard
// output, for scripts. The README lists the events and their fields.
#pragma once

#include "app/RunEvents.h"

namespace lumora::cli {

class JsonEvents : public RunListener {
public:
    void RunStarted(bool retry, std::size_t albumCount) override;
    void AlbumStarted(std::size_t number, std::size_t count, const std::u16string& title,
                      const std::u16string& address) override;
    void AlbumListed(std::size_t number, std::size_t pictures, const std::u16string& folder) override;
    void PictureSaved(const PictureEvent& event) override;
    void PictureSkipped(const PictureEvent& event) override;
    void PictureFailed(const PictureEvent& event) override;
    void AlbumEnded(std::size_t number, const AlbumOutcome& outcome) override;
    void RunEnded(const DownloadReport& report) override;
};

}  // namespace lumora::cli
