// lumora-cli: the command-line front end. It runs the same controller as the
// desktop program and shares its program folder and settings.
#include <cstdio>
#include <string>
#include <vector>

#include "cli/ListCommand.h"

namespace {

constexpr const char* kUsage =
    "Usage: lumora-cli COMMAND [ARGS]\n"
    "\n"
    "Downloads whole photo albums of a member of the photo community.\n"
    "\n"
    "Commands:\n"
    "  list ADDRESS [--json]   list the member's albums (number, title, pictures, remark,\n"
    "                          album address, cover address), or as JSON\n"
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
    std::fprintf(stderr, "lumora-cli: unknown command '%s' (see lumora-cli --help)\n", command.c_str());
    return 2;
}
