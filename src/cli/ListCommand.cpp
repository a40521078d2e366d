// lumora-cli list: a member's albums, as a table or as JSON.
#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

#include "app/MainController.h"
#include "app/SiteTable.h"
#include "cli/AddressCheck.h"
#include "cli/Command.h"
#include "cli/InterruptWatch.h"
#include "cli/Output.h"
#include "cli/ProgressLine.h"
#include "cli/RunConsole.h"
#include "settings/SettingsFile.h"
#include "text/Format.h"
#include "text/StringCtrl.h"

namespace lumora::cli {
namespace {

void PrintTable(const std::vector<ST_PERLISTRECORD>& albums) {
    for (const auto& album : albums) {
        std::u16string count = album.pictureCount == -1
                                   ? AlbumCountText(-1)
                                   : FormatText(u"%d", {static_cast<std::int64_t>(album.pictureCount)});
        PrintRow({FormatText(u"%04d", {static_cast<std::int64_t>(album.position + 1)}), album.title, count,
                  AlbumRemark(album.albumFlags), album.address, album.coverAddress});
    }
}

void PrintJson(const SiteSession& session, const std::vector<ST_PERLISTRECORD>& albums) {
    nlohmann::json out;
    out["spaceName"] = WideToUtf8(session.spaceName);
    out["subFolderName"] = WideToUtf8(session.subFolderName);
    out["albums"] = nlohmann::json::array();
    for (const auto& album : albums) {
        out["albums"].push_back({{"position", album.position},
                                 {"title", WideToUtf8(album.title)},
                                 {"address", WideToUtf8(album.address)},
                                 {"coverAddress", WideToUtf8(album.coverAddress)},
                                 {"pictureCount", album.pictureCount},
                                 {"albumFlags", album.albumFlags}});
    }
    PrintJsonDocument(out);
}

class ListCommand : public Command {
public:
    explicit ListCommand(CLI::App& parent)
        : Command(parent.add_subcommand(
              "list", "list the member's albums: number, title, pictures, remark, album address, cover address")) {
        app_->add_option("ADDRESS", address_, "the member's album-space address (http:// or https://)")
            ->required()
            ->check(WebAddressValidator());
        app_->add_flag("--json", json_, "print the albums as one JSON document");
    }

    int Run(const GlobalOptions& global) override {
        InterruptWatch interrupts;  // before any thread starts
        const StatusStyle style = ChooseStatusStyle(global.quiet);
        std::unique_ptr<ProgressLine> progress = MakeProgressLine(style);
        ConsoleView view(style, progress.get());
        MainController controller(view, ProgramFolder());
        StopActionScope stopAction(interrupts, [&controller] { controller.StopRuns(); });
        PrintSettingsProblem(controller.settingsStore());
        controller.SetReady();
        controller.GetAlbums({Utf8ToWide(address_), SiteOfAddress(Utf8ToWide(address_))});
        controller.WaitForGetAlbums();
        view.Flush();
        if (progress) progress->Finish();  // its line ends before the table

        const auto albums = controller.session().albums.all();
        // A list cut at the page bound is incomplete: said, and a failure.
        const bool incomplete = albums.empty() || controller.session().albumListCut;
        if (incomplete) view.PrintStatusIfQuiet();
        if (json_) {
            PrintJson(controller.session(), albums);
        } else {
            PrintTable(albums);
        }
        return interrupts.ExitStatus(incomplete ? kExitFailure : 0);
    }

private:
    std::string address_;
    bool json_ = false;
};

}  // namespace

std::unique_ptr<Command> AddListCommand(CLI::App& parent) { return std::make_unique<ListCommand>(parent); }

}  // namespace lumora::cli
