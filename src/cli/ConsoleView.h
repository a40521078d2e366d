// The runs on a terminal: status texts go to standard error as they change,
// messages too, and nothing waits for a user.
#pragma once

#include <mutex>
#include <string>

#include "app/RunView.h"

namespace lumora::cli {

class ProgressLine;

// How status texts reach standard error.
enum class StatusStyle {
    Lines,     // one line each; a counter that only counts on ("已下载5/300") is
               // printed once, with its last value, when another text follows
    Terminal,  // into the progress line, which rewrites itself in place
    Quiet,     // not at all; messages still are
};

class ConsoleView : public RunView {
public:
    explicit ConsoleView(StatusStyle style = StatusStyle::Lines, ProgressLine* progress = nullptr);
    ~ConsoleView() override;

    void MainStatus(const std::u16string& text) override;
    void ProgressStatus(const std::u16string& text) override;
    void Message(const std::u16string& text) override;
    void OpenFolder(const std::u16string& folder) override;

    // Prints the counter held back, if any (before a summary).
    void Flush();
    // A quiet run prints the last progress status after all: it says why
    // the album list came back empty, which is an error.
    void PrintStatusIfQuiet();

private:
    // `shown` is the line's current text; a text it already holds is not shown again.
    void ShowStatus(std::u16string& shown, const std::u16string& text);
    void FlushLocked();

    std::mutex mutex_;
    std::u16string mainStatus_;
    std::u16string progressStatus_;
    const StatusStyle style_;
    ProgressLine* const progress_;
    std::u16string heldCounter_;
};

}  // namespace lumora::cli
