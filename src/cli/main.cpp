// lumora-cli: the command-line front end. It runs the same controller as the
// desktop program and shares its program folder and settings.
#include <cstdio>
#include <string>
#include <vector>

#include "cli/ArchiveCommands.h"
#include "cli/DownloadCommand.h"
#include "cli/ListCommand.h"
#include "cli/SettingsCommands.h"

namespace {

constexpr const char* kUsage =
    "Usage: lumora-cli COMMAND [ARGS]\n"
    "\n"
    "Downloads whole photo albums of a member of the photo community.\n"
    "\n"
    "Commands:\n"
    "  list ADDRESS [--json]   list the member's albums (number, title, pictures, remark,\n"
    "                          album address, cover address), or as JSON\n"
    "  download ADDRESS [--albums all|N,N-M] [--save DIR]\n"
    "                          download the picked albums (default all) into DIR\n"
    "                          (default: the last save folder, else ~/Documents/Lumora/)\n"
    "  retry                   download the last run's failed pictures again\n"
    "  archive [--forget ADDRESS | --prune]\n"
    "                          show the download archive; forget a picture or an album\n"
    "                          address; drop the records whose files are gone\n"
    "  options [NAME on|off]   show or switch fix-format, fix-order, name-file,\n"
    "                          list-only, open-folder, skip-seen, skip-saved\n"
    "  params [--threads N] [--timeout S] [--min KB] [--max KB] [--retries N]\n"
    "                          show or set the download parameters\n"
    "  names [--prefix T] [--suffix T] [--replace-what T] [--replace-with T]\n"
    "        [--folder-prefix T] [--folder-suffix T]\n"
    "        [--base description|number|address] [--folder album|none]\n"
    "                          show or set the naming rules\n"
    "  help                    show this text\n"
    "\n"
    "Settings live in $XDG_CONFIG_HOME/lumora/ (default ~/.config/lumora/), shared with\n"
    "the desktop program; LUMORA_HOME names another folder. Proxies come from http_proxy\n"
    "and https_proxy. Ctrl-C stops a download as the stop button does (exit status 130);\n"
    "a second Ctrl-C quits at once.\n";

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.empty()) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    const std::string command = args.front();
    args.erase(args.begin());
    if (command == "--help" || command == "-h" || command == "help") {
        std::fputs(kUsage, stdout);
        return 0;
    }
    if (command == "list") return lumora::cli::RunList(args);
    if (command == "download") return lumora::cli::RunDownload(args);
    if (command == "retry") return lumora::cli::RunRetry(args);
    if (command == "archive") return lumora::cli::RunArchive(args);
    if (command == "options") return lumora::cli::RunOptions(args);
    if (command == "params") return lumora::cli::RunParams(args);
    if (command == "names") return lumora::cli::RunNames(args);
    std::fprintf(stderr, "lumora-cli: unknown command '%s' (see lumora-cli --help)\n", command.c_str());
    return 2;
}
