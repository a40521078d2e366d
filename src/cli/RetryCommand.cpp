// lumora-cli retry: the last run's failed pictures again.
#include <CLI/CLI.hpp>

#include "app/MainController.h"
#include "cli/Command.h"
#include "cli/InterruptWatch.h"
#include "cli/Output.h"
#include "cli/RunConsole.h"
#include "settings/SettingsFile.h"

namespace lumora::cli {
namespace {

class RetryCommand : public Command {
public:
    explicit RetryCommand(CLI::App& parent)
        : Command(parent.add_subcommand("retry", "download the last run's failed pictures again")) {
        AddJsonEventsFlag(*app_, json_);
    }

    int Run(const GlobalOptions& global) override {
        InterruptWatch interrupts;  // before any thread starts
        RunConsole console(global, json_);
        if (!console.LogWritable("retry")) return kExitUsage;
        MainController controller(console.view(), ProgramFolder());
        PrintSettingsProblem(controller.settingsStore());
        console.Attach(controller);
        StopActionScope stopAction(interrupts, [&controller] { controller.StopRuns(); });
        controller.SetReady();
        controller.RetryFailures(controller.OrderForRetry());
        controller.WaitForDownload();
        const DownloadReport report = controller.lastReport();
        // The archive already said why it could not be read.
        if (report.failuresUnread) return interrupts.ExitStatus(kExitFailure);
        if (report.albums.empty() && !report.stopped) {
            console.view().Flush();
            PrintLine(stderr, u"上次下载没有失败的图片");
            return interrupts.ExitStatus(0);
        }
        return interrupts.ExitStatus(console.Finish(report));
    }

private:
    bool json_ = false;
};

}  // namespace

std::unique_ptr<Command> AddRetryCommand(CLI::App& parent) { return std::make_unique<RetryCommand>(parent); }

}  // namespace lumora::cli
