// What happens during a download or retry run, as it happens, for those who
// show progress, print events for scripts or keep a log. Picture events come
// from download workers, several at once; the others from the run's thread.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "app/DownloadReport.h"
#include "web/HostGate.h"

namespace lumora {

struct PictureEvent {
    std::size_t album = 0;  // 1-based number of the album within the run
    std::size_t index = 0;  // the picture's position in its album
    std::u16string address;
    std::u16string path;  // where it was (or would have been) saved
    std::uint64_t bytes = 0;
    std::u16string reason;   // why it failed or was filtered: a stable English code
    std::u16string message;  // the same for people
};

class RunListener {
public:
    virtual ~RunListener() = default;
    virtual void RunStarted(bool /*retry*/, std::size_t /*albumCount*/) {}
    // Album `number` of `count` begins: its page is read next.
    virtual void AlbumStarted(std::size_t /*number*/, std::size_t /*count*/, const std::u16string& /*title*/,
                              const std::u16string& /*address*/) {}
    // Its pictures are known and their transfers begin.
    virtual void AlbumListed(std::size_t /*number*/, std::size_t /*pictures*/, const std::u16string& /*folder*/) {}
    virtual void PictureSaved(const PictureEvent&) {}
    virtual void PictureSkipped(const PictureEvent&) {}
    virtual void PictureFailed(const PictureEvent&) {}
    // The size window refused it (in this run, or a run with the same window).
    virtual void PictureFiltered(const PictureEvent&) {}
    virtual void AlbumEnded(std::size_t /*number*/, const AlbumOutcome&) {}
    virtual void RunEnded(const DownloadReport&) {}
    // A host asked to be spared, or may be asked more again (HostGate.h).
    virtual void HostChanged(const HostChange&) {}
};

// Hands every event to each listener added; listeners are added before runs start.
class RunListeners : public RunListener {
public:
    void Add(RunListener& listener) {
        std::lock_guard lock(mutex_);
        listeners_.push_back(&listener);
    }
    void Remove(RunListener& listener) {
        std::lock_guard lock(mutex_);
        std::erase(listeners_, &listener);
    }

    void RunStarted(bool retry, std::size_t count) override {
        Each([&](RunListener& l) { l.RunStarted(retry, count); });
    }
    void AlbumStarted(std::size_t number, std::size_t count, const std::u16string& title,
                      const std::u16string& address) override {
        Each([&](RunListener& l) { l.AlbumStarted(number, count, title, address); });
    }
    void AlbumListed(std::size_t number, std::size_t pictures, const std::u16string& folder) override {
        Each([&](RunListener& l) { l.AlbumListed(number, pictures, folder); });
    }
    void PictureSaved(const PictureEvent& e) override {
        Each([&](RunListener& l) { l.PictureSaved(e); });
    }
    void PictureSkipped(const PictureEvent& e) override {
        Each([&](RunListener& l) { l.PictureSkipped(e); });
    }
    void PictureFailed(const PictureEvent& e) override {
        Each([&](RunListener& l) { l.PictureFailed(e); });
    }
    void PictureFiltered(const PictureEvent& e) override {
        Each([&](RunListener& l) { l.PictureFiltered(e); });
    }
    void AlbumEnded(std::size_t number, const AlbumOutcome& outcome) override {
        Each([&](RunListener& l) { l.AlbumEnded(number, outcome); });
    }
    void RunEnded(const DownloadReport& report) override {
        Each([&](RunListener& l) { l.RunEnded(report); });
    }
    void HostChanged(const HostChange& change) override {
        Each([&](RunListener& l) { l.HostChanged(change); });
    }

private:
    template <typename Call>
    void Each(Call call) {
        std::vector<RunListener*> listeners;
        {
            std::lock_guard lock(mutex_);
            listeners = listeners_;
        }
        for (RunListener* listener : listeners) call(*listener);
    }

    std::mutex mutex_;
    std::vector<RunListener*> listeners_;
};

}  // namespace lumora
