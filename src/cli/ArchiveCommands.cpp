#include "cli/ArchiveCommands.h"

#include <cstdio>
#include <filesystem>

#include "app/MainController.h"
#include "cli/ConsoleWindow.h"
#include "cli/DownloadCommand.h"
#include "cli/InterruptWatch.h"
#include "download/DownloadArchive.h"
#include "settings/SettingsFile.h"
#include "text/Format.h"
#include "text/StringCtrl.h"

namespace lumora::cli {
namespace {

constexpr const char* kRetryUsage = "usage: lumora-cli retry\n";
constexpr const char* kArchiveUsage = "usage: lumora-cli archive [--forget ADDRESS | --prune]\n";

int UsageError(const char* command, const std::string& message, const char* usage) {
    std::fprintf(stderr, "lumora-cli %s: %s\n%s", command, message.c_str(), usage);
    return 2;
}

}  // namespace

int RunRetry(const std::vector<std::string>& args) {
    if (!args.empty()) return UsageError("retry", "unexpected argument '" + args.front() + "'", kRetryUsage);
    InterruptWatch interrupts;
    ConsoleWindow window;
    MainController controller(window, ProgramFolder());
    PrintSettingsProblem(controller);
    StopActionScope stopAction(interrupts, [&controller] { controller.StopRuns(); });
    controller.SetReady();
    controller.OnRetryFailuresClicked();
    controller.WaitForDownload();
    const DownloadReport report = controller.lastReport();
    if (report.albums.empty() && !report.stopped) {
        PrintLine(stderr, u"上次下载没有失败的图片");
        return interrupts.ExitStatus(0);
    }
    PrintSummary(report);
    return interrupts.ExitStatus(DownloadExitStatus(report));
}

int RunArchive(const std::vector<std::string>& args) {
    std::optional<std::string> forget;
    bool prune = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--forget" && i + 1 < args.size() && !forget) {
            forget = args[++i];
        } else if (args[i] == "--prune") {
            prune = true;
        } else {
            return UsageError("archive", "bad argument '" + args[i] + "'", kArchiveUsage);
        }
    }
    if (forget && prune) return UsageError("archive", "--forget and --prune go one at a time", kArchiveUsage);
    const std::filesystem::path file = ProgramFolder() / kArchiveFileName;
    std::string error;
    auto archive = DownloadArchive::Open(file, error);
    if (!archive) {
        std::fprintf(stderr, "lumora-cli archive: cannot open %s: %s\n", file.c_str(), error.c_str());
        return 1;
    }
    if (forget) {
        std::printf("forgotten\t%zu\n", archive->Forget(Utf8ToWide(*forget)));
    } else if (prune) {
        std::printf("pruned\t%zu\n", archive->Prune());
    }
    std::error_code sizeError;
    const auto bytes = std::filesystem::file_size(file, sizeError);
    std::printf("file\t%s\nbytes\t%llu\npictures\t%zu\nfailures\t%zu\n", file.c_str(),
                static_cast<unsigned long long>(sizeError ? 0 : bytes), archive->SavedCount(),
                archive->Failures().size());
    return 0;
}

}  // namespace lumora::cli
