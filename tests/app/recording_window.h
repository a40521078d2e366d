// A window for controller tests: keeps every text, enable state and
// message, and lets a test act when an album is shown.
#pragma once

#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "app/WindowPort.h"
#include "app/WindowView.h"

namespace lumora::testing {

class RecordingWindow : public WindowPort {
public:
    void SetItemText(int id, const std::u16string& text) override {
        std::lock_guard lock(mutex_);
        texts[id] = text;
        textLog.emplace_back(id, text);
    }
    std::u16string GetItemText(int id) {
        std::lock_guard lock(mutex_);
        return texts[id];
    }
    void EnableItem(int id, bool enabled) override {
        std::lock_guard lock(mutex_);
        this->enabled[id] = enabled;
    }
    void ShowItem(int id, bool visible) override {
        std::lock_guard lock(mutex_);
        this->visible[id] = visible;
    }
    void SetCheck(int id, bool checked) override {
        std::lock_guard lock(mutex_);
        this->checked[id] = checked;
    }
    void MessageBox(const std::u16string& text) override {
        std::lock_guard lock(mutex_);
        messages.push_back(text);
    }
    void ResetGrid() override { ++gridResets; }
    void ShowAlbum(std::size_t position) override {
        {
            std::lock_guard lock(mutex_);
            shown.push_back(position);
        }
        if (onShowAlbum) onShowAlbum(position);
    }
    void RefreshGrid() override {}
    // The grid's picks, for the window's download button (ClickDownload).
    std::vector<std::size_t> PickedAlbumPositions() {
        std::lock_guard lock(mutex_);
        return picked;
    }
    void OpenFolder(const std::u16string& folder) override {
        std::lock_guard lock(mutex_);
        opened.push_back(folder);
    }
    void HistoryAdded(int id, const std::u16string& text) override {
        std::lock_guard lock(mutex_);
        historyAdded.emplace_back(id, text);
    }
    long DownloadFinished(unsigned elapsed, unsigned pictures) override {
        std::lock_guard lock(mutex_);
        finished.emplace_back(elapsed, pictures);
        return 1;
    }

    bool IsEnabled(int id) {
        std::lock_guard lock(mutex_);
        return enabled.count(id) ? enabled[id] : true;
    }

    std::map<int, std::u16string> texts;
    std::vector<std::pair<int, std::u16string>> textLog;
    std::map<int, bool> enabled, visible, checked;
    std::vector<std::u16string> messages;
    std::vector<std::size_t> shown;
    std::vector<std::pair<int, std::u16string>> historyAdded;
    std::vector<std::pair<unsigned, unsigned>> finished;
    std::vector<std::size_t> picked;
    std::vector<std::u16string> opened;
    int gridResets = 0;
    std::function<void(std::size_t)> onShowAlbum;
    // The runs as the desktop shows them, on this window: what a controller takes.
    WindowView view{*this};

private:
    std::mutex mutex_;
};

}  // namespace lumora::testing
