// lumora-cli: the command-line front end.
#include <cstdio>
#include <cstring>
#include <string>

namespace {

constexpr const char* kUsage =
    "Usage: lumora-cli COMMAND [OPTIONS]\n"
    "\n"
    "Downloads whole photo albums of a member of the photo community.\n"
    "\n"
    "Commands:\n"
    "  help        show this text\n";

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2 || std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0 ||
        std::strcmp(argv[1], "help") == 0) {
        std::fputs(kUsage, stdout);
        return argc < 2 ? 2 : 0;
    }
    std::fprintf(stderr, "lumora-cli: unknown command '%s' (see lumora-cli --help)\n", argv[1]);
    return 2;
}
