// Everything a download or retry run shows while it goes and when it ends:
// status texts in the style that suits standard error, the progress line on
// a terminal, JSON events, the log file, and the summary.
#pragma once

#include <memory>
#include <optional>

#include "app/RunLog.h"
#include "cli/Command.h"
#include "cli/ConsoleView.h"
#include "cli/JsonEvents.h"
#include "cli/ProgressLine.h"

namespace lumora {
class MainController;
}

namespace lumora::cli {

// Quiet when asked; the progress line when standard error is a terminal
// that can rewrite a line; else lines.
StatusStyle ChooseStatusStyle(bool quiet);
// The progress line on standard error for the terminal style, else none.
std::unique_ptr<ProgressLine> MakeProgressLine(StatusStyle style);
// `--json` of the commands that run downloads.
void AddJsonEventsFlag(CLI::App& command, bool& json);

class RunConsole {
public:
    RunConsole(const GlobalOptions& global, bool json);

    ConsoleView& view() { return view_; }
    // Checks that the log file can be written; says why not on standard error.
    bool LogWritable(const char* command) const;
    // Attaches the progress line, JSON events and the log to the controller's runs.
    void Attach(MainController& controller);
    // The summary table (JSON mode: the run-ended event said it all); returns
    // the exit status the report earns.
    int Finish(const DownloadReport& report);

private:
    const StatusStyle style_;
    const bool json_;
    std::unique_ptr<ProgressLine> progress_;
    std::unique_ptr<RunListener> events_;  // when JSON was asked for
    std::unique_ptr<RunLog> log_;
    ConsoleView view_;
};

// One line per album with its counts, then every failed picture and why.
void PrintSummary(const DownloadReport& report);
// 0 when every picture asked for was saved, else 1.
int DownloadExitStatus(const DownloadReport& report);

}  // namespace lumora::cli
