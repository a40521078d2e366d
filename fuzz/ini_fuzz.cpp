// The INI reader and the extension settings on arbitrary file contents.
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "fuzz_support.h"
#include "settings/ExtensionSettings.h"
#include "settings/Ini.h"

using namespace lumora;

namespace {

const std::filesystem::path& Folder() {
    static const std::filesystem::path dir = [] {
        std::filesystem::path made =
            std::filesystem::temp_directory_path() / ("lumora-fuzz-ini-" + std::to_string(getpid()));
        std::filesystem::create_directories(made);
        return made;
    }();
    return dir;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::filesystem::path file = Folder() / kExtensionSettingsFileName;
    std::ofstream(file, std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    const ExtensionSettings settings = LoadExtensionSettings(Folder());
    for (std::uint8_t encoding : {settings.v2Encoding, settings.v3Encoding}) {
        fuzz::Check(encoding == kEncodingAnsi || encoding == kEncodingUtf8 || encoding == kEncodingBig5 ||
                        encoding == kEncodingAuto,
                    "an encoding is one of the four");
    }
    const CIni ini(file);
    const std::u16string value = ini.ReadIniText(u"a", u"b", u"default");
    fuzz::Check(value.find_first_of(u"\r\n") == std::u16string::npos, "a value is one line");
    fuzz::Check(ini.ReadIniText(u"", u"b", u"x") == u"x", "an empty section name reads the default");
    return 0;
}
