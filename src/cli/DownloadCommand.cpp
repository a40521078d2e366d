#include "cli/DownloadCommand.h"

#include <cstdio>

#include "app/ControlIds.h"
#include "app/MainController.h"
#include "cli/AlbumSelection.h"
#include "cli/AddressCheck.h"
#include "cli/ConsoleWindow.h"
#include "cli/InterruptWatch.h"
#include "settings/SettingsFile.h"
#include "text/Format.h"
#include "text/StringCtrl.h"

namespace lumora::cli {
namespace {

constexpr const char* kDownloadUsage = "usage: lumora-cli download ADDRESS [--albums all|N,N-M] [--save DIR]\n";

int UsageError(const std::string& message) {
    std::fprintf(stderr, "lumora-cli download: %s\n%s", message.c_str(), kDownloadUsage);
    return 2;
}

}  // namespace

void PrintSummary(const DownloadReport& report) {
    for (const auto& album : report.albums) {
        if (!album.page.fetched) {
            PrintLine(stdout, album.title + u"\t" + album.folder + u"\t相册页面读取失败：" + DescribePageFailure(album.page));
            continue;
        }
        if (album.listFileOnly) {
            PrintLine(stdout, FormatText(u"%s\t%s\t列表文件%s\t%d张图片",
                                         {album.title, album.folder, std::u16string(album.listFileWritten ? u"已写入" : u"写入失败"),
                                          static_cast<std::int64_t>(album.listed)}));
            continue;
        }
        // Saved counts only what this run fetched; what an earlier run saved is said apart.
        std::u16string line = FormatText(u"%s\t%s\t图片%d张\t已保存%d张\t失败%d张",
                                         {album.title, album.folder, static_cast<std::int64_t>(album.listed),
                                          static_cast<std::int64_t>(album.saved),
                                          static_cast<std::int64_t>(album.failures.size())});
        if (album.skipped > 0) {
            line += FormatText(u"\t跳过%d张（以前已下载）", {static_cast<std::int64_t>(album.skipped)});
        }
        const std::size_t done = album.saved + album.skipped + album.failures.size();
        if (album.stopped && done < album.listed) {
            line += FormatText(u"\t未下载%d张", {static_cast<std::int64_t>(album.listed - done)});
        }
        PrintLine(stdout, line);
        for (const auto& failure : album.failures) {
            PrintLine(stdout,
                      u"  failed: " + failure.savePath + u"\t" + failure.address + u"\t" + DescribeFailure(failure));
        }
    }
    if (report.stopped) PrintLine(stdout, u"已终止下载");
}

int DownloadExitStatus(const DownloadReport& report) {
    return report.Complete() ? 0 : 1;
}

int RunDownload(const std::vector<std::string>& args) {
    std::string address;
    std::string albums = "all";
    std::optional<std::string> save;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--albums" || arg == "--save") {
            if (i + 1 >= args.size()) return UsageError(arg + " needs a value");
            (arg == "--albums" ? albums : save.emplace()) = args[++i];
        } else if (arg.starts_with("--")) {
            return UsageError("unknown option '" + arg + "'");
        } else if (address.empty()) {
            address = arg;
        } else {
            return UsageError("more than one address given");
        }
    }
    if (address.empty()) return UsageError("no address given");
    if (!IsWebAddressArgument(address)) return UsageError("'" + address + "' is not a web address (http:// or https://)");
    if (save && save->empty()) return UsageError("--save needs a folder");

    InterruptWatch interrupts;
    ConsoleWindow window;
    MainController controller(window, ProgramFolder());
    PrintSettingsProblem(controller);
    StopActionScope stopAction(interrupts, [&controller] { controller.StopRuns(); });
    std::u16string saveFolder = save ? Utf8ToWide(*save) : HistoryText(controller.settings(), HistoryKind::SaveFolder, 0);
    if (saveFolder.empty()) saveFolder = Utf8ToWide(DefaultSaveFolder().string());
    window.SetItemText(IDC_ADDRESS, Utf8ToWide(address));
    window.SetItemText(IDC_SAVE_PATH, saveFolder);
    controller.SetReady();
    controller.OnGetAlbumsClicked();
    controller.WaitForGetAlbums();
    if (interrupts.signal()) return interrupts.ExitStatus(1);

    const std::size_t count = controller.session().albums.size();
    auto picked = ParseAlbumSelection(albums, count);
    if (!picked) {
        return UsageError("bad album selection '" + albums + "' (" + std::to_string(count) + " albums found)");
    }
    if (picked->empty()) {
        std::fprintf(stderr, "lumora-cli download: no album to download\n");
        return 1;
    }
    window.SetPicked(*picked);
    controller.OfferSaveFolderToHistory(saveFolder);
    controller.OnDownloadClicked();
    controller.WaitForDownload();
    const DownloadReport report = controller.lastReport();
    PrintSummary(report);
    return interrupts.ExitStatus(DownloadExitStatus(report));
}

}  // namespace lumora::cli
