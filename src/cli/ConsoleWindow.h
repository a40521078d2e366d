// The main window's stand-in on a terminal: status texts go to standard
// error as they change, messages too, and nothing waits for a user.
#pragma once

#include <map>
#include <mutex>
#include <vector>

#include "app/WindowPort.h"

namespace lumora {
class MainController;
}

namespace lumora::cli {

class ConsoleWindow : public WindowPort {
public:
    explicit ConsoleWindow(bool quiet = false) : quiet_(quiet) {}

    void SetItemText(int controlId, const std::u16string& text) override;
    std::u16string GetItemText(int controlId) override;
    void EnableItem(int, bool) override {}
    void ShowItem(int, bool) override {}
    bool IsItemVisible(int) override { return false; }
    void SetCheck(int, bool) override {}
    int GetSelection(int) override { return -1; }
    void MessageBox(const std::u16string& text) override;
    void ResetGrid() override {}
    void ShowAlbum(std::size_t) override {}
    void RefreshGrid() override {}
    std::vector<std::size_t> PickedAlbumPositions() override;
    void OpenFolder(const std::u16string& folder) override;
    void HistoryAdded(int, const std::u16string&) override {}

    void SetPicked(std::vector<std::size_t> positions);
    long DownloadFinished(unsigned, unsigned) override { return 1; }

private:
    mutable std::mutex mutex_;
    std::map<int, std::u16string> texts_;
    std::vector<std::size_t> picked_;
    bool quiet_;
};

// Standard output and error take UTF-8.
void PrintLine(std::FILE* stream, const std::u16string& text);

// Tells the user on standard error when "soft.dat" could not be read.
void PrintSettingsProblem(const MainController& controller);

}  // namespace lumora::cli
