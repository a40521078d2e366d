#include "cli/ListCommand.h"

#include <cstdio>
#include <nlohmann/json.hpp>

#include "app/ControlIds.h"
#include "app/MainController.h"
#include "cli/AddressCheck.h"
#include "cli/ConsoleWindow.h"
#include "cli/InterruptWatch.h"
#include "settings/SettingsFile.h"
#include "text/Format.h"
#include "text/StringCtrl.h"

namespace lumora::cli {
namespace {

constexpr const char* kListUsage = "usage: lumora-cli list ADDRESS [--json]\n";

void PrintTable(const std::vector<ST_PERLISTRECORD>& albums) {
    for (const auto& album : albums) {
        std::u16string count = album.pictureCount == -1
                                   ? AlbumCountText(-1)
                                   : FormatText(u"%d", {static_cast<std::int64_t>(album.pictureCount)});
        PrintLine(stdout, FormatText(u"%04d\t%s\t%s\t%s\t%s\t%s",
                                     {static_cast<std::int64_t>(album.position + 1), album.title, count,
                                      AlbumRemark(album.albumFlags), album.address, album.coverAddress}));
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
    std::string text = out.dump(2) + "\n";
    std::fwrite(text.data(), 1, text.size(), stdout);
}

}  // namespace

int RunList(const std::vector<std::string>& args) {
    std::string address;
    bool json = false;
    for (const auto& arg : args) {
        if (arg == "--json") {
            json = true;
        } else if (arg.starts_with("--")) {
            std::fprintf(stderr, "lumora-cli list: unknown option '%s'\n%s", arg.c_str(), kListUsage);
            return 2;
        } else if (address.empty()) {
            address = arg;
        } else {
            std::fprintf(stderr, "lumora-cli list: more than one address given\n%s", kListUsage);
            return 2;
        }
    }
    if (address.empty()) {
        std::fprintf(stderr, "lumora-cli list: no address given\n%s", kListUsage);
        return 2;
    }
    if (!IsWebAddressArgument(address)) {
        std::fprintf(stderr, "lumora-cli list: '%s' is not a web address (http:// or https://)\n%s", address.c_str(),
                     kListUsage);
        return 2;
    }

    InterruptWatch interrupts;
    ConsoleWindow window;
    MainController controller(window, ProgramFolder());
    StopActionScope stopAction(interrupts, [&controller] { controller.StopRuns(); });
    PrintSettingsProblem(controller);
    window.SetItemText(IDC_ADDRESS, Utf8ToWide(address));
    controller.SetReady();
    controller.OnGetAlbumsClicked();
    controller.WaitForGetAlbums();

    const auto albums = controller.session().albums.all();
    if (json) {
        PrintJson(controller.session(), albums);
    } else {
        PrintTable(albums);
    }
    // No album: the reason (the page's status, or that it held none) went to standard error.
    return interrupts.ExitStatus(albums.empty() ? 1 : 0);
}

}  // namespace lumora::cli
