// The main window's stand-in on a terminal: status texts go to standard
// error as they change, messages too, and nothing waits for a user.
#pragma once

#include <map>
#include <mutex>
#include <vector>

#include "app/WindowPort.h"
#include "settings/SettingsStore.h"

namespace lumora {
class MainController;
}

namespace lumora::cli {

class ProgressLine;

// How status texts reach standard error.
enum class StatusStyle {
    Lines,     // one line each; a counter that only counts on ("已下载5/300") is
               // printed once, with its last value, when another text follows
    Terminal,  // into the progress line, which rewrites itself in place
    Quiet,     // not at all; messages still are
};

class ConsoleWindow : public WindowPort {
public:
    explicit ConsoleWindow(StatusStyle style = StatusStyle::Lines, ProgressLine* progress = nullptr);
    ~ConsoleWindow() override;

    void SetItemText(int controlId, const std::u16string& text) override;
    void EnableItem(int, bool) override {}
    void ShowItem(int, bool) override {}
    void SetCheck(int, bool) override {}
    void MessageBox(const std::u16string& text) override;
    void ResetGrid() override {}
    void ShowAlbum(std::size_t) override {}
    void RefreshGrid() override {}
    void OpenFolder(const std::u16string& folder) override;
    void HistoryAdded(int, const std::u16string&) override {}
    long DownloadFinished(unsigned, unsigned) override { return 1; }

    // Prints the counter held back, if any (before a summary).
    void Flush();
    // A quiet window prints the last progress status after all: it says why
    // the album list came back empty, which is an error.
    void PrintStatusIfQuiet();

private:
    void ShowStatus(const std::u16string& text);
    void FlushLocked();

    mutable std::mutex mutex_;
    std::map<int, std::u16string> texts_;
    const StatusStyle style_;
    ProgressLine* const progress_;
    std::u16string heldCounter_;
};

// Tells the user on standard error when "soft.dat" could not be read.
void PrintSettingsProblem(const MainController& controller);
void PrintSettingsProblem(const SettingsStore& settings);

// What the settings commands tell of a failed save: a line on standard error.
void PrintSettingsMessage(const std::u16string& text);

}  // namespace lumora::cli
