// lumora-cli: the command-line front end. It runs the same controller as the
// desktop program and shares its program folder and settings.
#include <cstdio>
#include <string>
#include <vector>

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
    "  options [NAME on|off]   show or switch fix-format, fix-order, name-file,\n"
    "                          list-only, open-folder, skip-seen\n"
    "  params [--threads N] [--timeout S] [--min KB] [--max KB]\n"
    "                          show or set the download parameters\n"
    "  names [--prefix T] [--suffix T] [--replace-what T] [--replace-with T]\n"
    "        [--folder-prefix T] [--folder-suffix T]\n"
    "        [--base description|number|address] [--folder album|none]\n"
    "                          show or set the naming rules\n"
    "  help                    show this text\n"
    "\n"
    "Settings live in $XDG_CONFIG_HOME/lumora/ (default ~/.config/lumora/), shared with\n"
    "the desktop program; LUMORA_HOME names another folder. Proxies come from http_proxy\n"
    "and https_proxy.\n";

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
    if (command == "options") return lumora::cli::RunOptions(args);
    if (command == "params") return lumora::cli::RunParams(args);
    if (command == "names") return lumora::cli::RunNames(args);
    std::fprintf(stderr, "lumora-cli: unknown command '%s' (see lumora-cli --help)\n", command.c_str());
    return 2;
}
