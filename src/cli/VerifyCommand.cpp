// lumora-cli verify and repair: whether the saved pictures are still what was
// saved, and fetching again those that are not.
#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

#include <mutex>

#include "app/MainController.h"
#include "app/SavedPictureCheck.h"
#include "cli/Command.h"
#include "cli/InterruptWatch.h"
#include "cli/Output.h"
#include "cli/RunConsole.h"
#include "settings/SettingsFile.h"
#include "text/StringCtrl.h"

namespace lumora::cli {
namespace {

using nlohmann::json;

// "校验 1234/10000" on a terminal, rewritten as the check tells it.
class CheckProgress {
public:
    explicit CheckProgress(bool shown) : shown_(shown) {}
    ~CheckProgress() { Clear(); }

    void Tell(std::size_t checked, std::size_t total) {
        if (!shown_) return;
        std::lock_guard lock(mutex_);
        std::fprintf(stderr, "\r\033[K%s", WideToUtf8(SavedCheckProgressText(checked, total)).c_str());
        std::fflush(stderr);
        drawn_ = true;
    }
    void Clear() {
        std::lock_guard lock(mutex_);
        if (!drawn_) return;
        std::fputs("\r\033[K", stderr);
        std::fflush(stderr);
        drawn_ = false;
    }

private:
    const bool shown_;
    std::mutex mutex_;
    bool drawn_ = false;
};

void PrintReport(const SavedPictureReport& report, bool asJson) {
    if (!asJson) {
        for (const std::u16string& line : SavedPictureReportLines(report)) PrintLine(stdout, line);
        return;
    }
    if (!report.archiveError.empty()) {
        PrintJsonLine({{"event", "archive-unread"}, {"message", WideToUtf8(report.archiveError)}});
    }
    for (const std::u16string& folder : report.missingFolders) {
        PrintJsonLine({{"event", "folder-missing"}, {"folder", WideToUtf8(folder)}});
    }
    for (const std::u16string& folder : report.unknownFolders) {
        PrintJsonLine({{"event", "folder-unknown"}, {"folder", WideToUtf8(folder)}});
    }
    for (const SavedFileCheck& check : report.problems) {
        json line = {{"event", "problem"},
                     {"problem", SavedProblemCode(check.problem)},
                     {"message", WideToUtf8(SavedProblemText(check))},
                     {"path", WideToUtf8(check.file.path)},
                     {"address", WideToUtf8(check.file.address)},
                     {"recorded-size", check.file.size},
                     {"sha256", check.file.sha256}};
        if (check.problem != SavedProblem::Missing) line["size"] = check.sizeNow;
        PrintJsonLine(line);
    }
    PrintJsonLine({{"event", "summary"},
                   {"checked", report.checked},
                   {"problems", report.problems.size()},
                   {"whole", report.Whole()},
                   {"stopped", report.stopped},
                   {"message", WideToUtf8(SavedPictureSummary(report))}});
}

// The check, with progress on a terminal and Ctrl-C as its stop.
SavedPictureReport RunCheck(InterruptWatch& interrupts, const GlobalOptions& global,
                            const std::vector<std::u16string>& folders,
                            const std::set<std::u16string>* only = nullptr) {
    std::atomic<bool> stop{false};
    StopActionScope stopAction(interrupts, [&stop] { stop = true; });
    CheckProgress progress(ChooseStatusStyle(global.quiet) == StatusStyle::Terminal);
    SavedPictureReport report = CheckSavedPictures(
        ProgramFolder(), folders,
        [&progress](std::size_t checked, std::size_t total) { progress.Tell(checked, total); }, &stop, only);
    progress.Clear();
    return report;
}

std::vector<std::u16string> WideFolders(const std::vector<std::string>& folders) {
    std::vector<std::u16string> wide;
    for (const std::string& folder : folders) wide.push_back(Utf8ToWide(folder));
    return wide;
}

class VerifyCommand : public Command {
public:
    explicit VerifyCommand(CLI::App& parent)
        : Command(parent.add_subcommand(
              "verify", "check that saved pictures are still what was saved (default: every picture in the archive)")) {
        app_->add_option("FOLDER", folders_, "album folders, or folders above them");
        app_->add_flag("--json", json_, "print each problem and the summary as one JSON object per line");
    }

    int Run(const GlobalOptions& global) override {
        InterruptWatch interrupts;  // before the checking threads start
        const SavedPictureReport report = RunCheck(interrupts, global, WideFolders(folders_));
        PrintReport(report, json_);
        return interrupts.ExitStatus(report.Whole() ? 0 : kExitFailure);
    }

private:
    std::vector<std::string> folders_;
    bool json_ = false;
};

class RepairCommand : public Command {
public:
    explicit RepairCommand(CLI::App& parent)
        : Command(parent.add_subcommand("repair",
                                        "fetch again the saved pictures that verify finds missing or damaged, "
                                        "then check them")) {
        app_->add_option("FOLDER", folders_, "album folders, or folders above them (default: the whole archive)");
        AddJsonEventsFlag(*app_, json_);
    }

    int Run(const GlobalOptions& global) override {
        InterruptWatch interrupts;  // before any thread starts
        const std::vector<std::u16string> folders = WideFolders(folders_);
        const SavedPictureReport found = RunCheck(interrupts, global, folders);
        PrintReport(found, json_);
        if (interrupts.signal()) return interrupts.ExitStatus(kExitFailure);
        const std::vector<FailedPicture> rows = RepairRows(found);
        if (rows.empty()) {
            if (!found.problems.empty()) PrintLine(stderr, u"有问题的图片没有记录下载地址，无法修复");
            return found.Whole() ? 0 : kExitFailure;
        }
        RunConsole console(global, json_);
        if (!console.LogWritable("repair")) return kExitUsage;
        MainController controller(console.view(), ProgramFolder());
        PrintSettingsProblem(controller.settingsStore());
        console.Attach(controller);
        {
            StopActionScope stopAction(interrupts, [&controller] { controller.StopRuns(); });
            controller.SetReady();
            controller.RepairPictures(controller.OrderForRepair(rows));
            controller.WaitForDownload();
        }
        const int runStatus = console.Finish(controller.lastReport());
        if (interrupts.signal()) return interrupts.ExitStatus(kExitFailure);
        // The fetched files against their new records.
        std::set<std::u16string> repaired;
        for (const SavedFileCheck& check : found.problems) repaired.insert(check.file.path);
        const SavedPictureReport after = RunCheck(interrupts, global, folders, &repaired);
        if (!json_) PrintLine(stdout, u"修复后：");
        PrintReport(after, json_);
        const bool whole = after.problems.empty() && after.checked == repaired.size() &&
                           rows.size() == found.problems.size() && runStatus == 0 && found.missingFolders.empty() &&
                           found.unknownFolders.empty();
        return interrupts.ExitStatus(whole ? 0 : kExitFailure);
    }

private:
    std::vector<std::string> folders_;
    bool json_ = false;
};

}  // namespace

std::unique_ptr<Command> AddVerifyCommand(CLI::App& parent) { return std::make_unique<VerifyCommand>(parent); }
std::unique_ptr<Command> AddRepairCommand(CLI::App& parent) { return std::make_unique<RepairCommand>(parent); }

}  // namespace lumora::cli
