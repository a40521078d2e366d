// The folder of the album that a download run is at, for "打开": a run's
// listener, told from the run's thread and read on the GUI thread.
#pragma once

#include <mutex>
#include <string>

#include "app/RunEvents.h"

class CCurrentAlbum : public lumora::RunListener {
public:
    // Empty when no album of a run is being downloaded.
    std::u16string folder() const {
        std::lock_guard lock(mutex_);
        return folder_;
    }

    void AlbumListed(std::size_t, std::size_t, const std::u16string& folder) override {
        std::lock_guard lock(mutex_);
        folder_ = folder;
    }
    void RunEnded(const lumora::DownloadReport&) override {
        std::lock_guard lock(mutex_);
        folder_.clear();
    }

private:
    mutable std::mutex mutex_;
    std::u16string folder_;
};
