// lumora-cli download: a member's albums into folders.
#include <CLI/CLI.hpp>
#include <optional>

#include "app/MainController.h"
#include "app/SiteTable.h"
#include "cli/AddressCheck.h"
#include "cli/AlbumSelection.h"
#include "cli/Command.h"
#include "cli/InterruptWatch.h"
#include "cli/Output.h"
#include "cli/QueueSupport.h"
#include "cli/RunConsole.h"
#include "settings/SettingsFile.h"
#include "text/StringCtrl.h"

namespace lumora::cli {
namespace {

class DownloadCommand : public Command {
public:
    explicit DownloadCommand(CLI::App& parent)
        : Command(parent.add_subcommand("download", "download the picked albums, one folder each")) {
        app_->add_option("ADDRESS", address_, "the member's album-space address (http:// or https://)")
            ->required()
            ->check(WebAddressValidator());
        app_->add_option("--albums", albums_, "which albums: all (the default), or numbers and ranges as 1,3-5")
            ->type_name("all|N,N-M");
        AddSaveOption(*app_, save_, "the folder to save into (default: the last one used, else ~/Documents/Lumora/)");
        app_->add_flag("--verify", verify_,
                       "skip a picture saved before only when its file still has the recorded SHA-256");
        AddJsonEventsFlag(*app_, json_);
    }

    int Run(const GlobalOptions& global) override {
        InterruptWatch interrupts;  // before any thread starts
        RunConsole console(global, json_);
        if (!console.LogWritable("download")) return kExitUsage;
        ConsoleView& view = console.view();
        MainController controller(view, ProgramFolder());
        PrintSettingsProblem(controller.settingsStore());
        console.Attach(controller);
        StopActionScope stopAction(interrupts, [&controller] { controller.StopRuns(); });
        const std::u16string saveFolder = ChosenSaveFolder(save_, controller.settings());
        controller.SetReady();
        controller.GetAlbums({Utf8ToWide(address_), SiteOfAddress(Utf8ToWide(address_))});
        controller.WaitForGetAlbums();
        if (interrupts.signal()) return interrupts.ExitStatus(kExitFailure);

        const std::size_t count = controller.session().albums.size();
        auto picked = ParseAlbumSelection(albums_, count);
        if (!picked) {
            view.Flush();
            return UsageError("download",
                              "bad album selection '" + albums_ + "' (" + std::to_string(count) + " albums found)");
        }
        if (picked->empty()) {
            view.Flush();
            if (count == 0) view.PrintStatusIfQuiet();
            std::fprintf(stderr, "lumora-cli download: no album to download\n");
            return kExitFailure;
        }
        controller.OfferSaveFolderToHistory(saveFolder);
        DownloadOrder order = controller.OrderFor(*picked, saveFolder);
        order.verifySaved = verify_;
        controller.Download(std::move(order));
        controller.WaitForDownload();
        return interrupts.ExitStatus(console.Finish(controller.lastReport()));
    }

private:
    std::string address_;
    std::string albums_ = "all";
    std::optional<std::string> save_;
    bool json_ = false;
    bool verify_ = false;
};

}  // namespace

std::unique_ptr<Command> AddDownloadCommand(CLI::App& parent) { return std::make_unique<DownloadCommand>(parent); }

}  // namespace lumora::cli
