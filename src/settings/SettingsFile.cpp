#include "settings/SettingsFile.h"

#include <pwd.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

namespace lumora {
namespace {

namespace fs = std::filesystem;

std::string Env(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

fs::path HomeFolder() {
    if (std::string home = Env("HOME"); !home.empty()) return home;
    if (const passwd* pw = getpwuid(getuid()); pw && pw->pw_dir) return pw->pw_dir;
    return "/";
}

// Relative values are invalid in XDG variables and are ignored.
fs::path ConfigHome() {
    fs::path config = Env("XDG_CONFIG_HOME");
    return config.is_absolute() ? config : HomeFolder() / ".config";
}

// XDG_DOCUMENTS_DIR from user-dirs.dirs: "$HOME/..." or an absolute path, in quotes.
fs::path DocumentsFolder() {
    std::ifstream in(ConfigHome() / "user-dirs.dirs");
    const std::string key = "XDG_DOCUMENTS_DIR=";
    for (std::string line; std::getline(in, line);) {
        const std::size_t start = line.find_first_not_of(" \t");
        if (start == std::string::npos || line.compare(start, key.size(), key) != 0) continue;
        std::string value = line.substr(start + key.size());
        while (!value.empty() && (value.back() == ' ' || value.back() == '\t' || value.back() == '\r'))
            value.pop_back();
        if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
            value = value.substr(1, value.size() - 2);
        if (value == "$HOME" || value.starts_with("$HOME/"))
            return HomeFolder() / fs::path(value.substr(5)).relative_path();
        if (fs::path(value).is_absolute()) return value;
    }
    return HomeFolder() / "Documents";
}

}  // namespace

void RepairDownloadParams(SettingsBlock& block) {
    for (DownloadParams& p : block.downloadParams) {
        if (p.threadCount == 0 || p.threadCount > 15) p.threadCount = 5;
        if (p.timeoutSeconds < 10) p.timeoutSeconds = 30;
    }
}

SettingsBlock DefaultSettings() {
    SettingsBlock block;
    RepairDownloadParams(block);
    block.nameRules[7].optionFlags |= kOptLargePictures;
    block.nameRules[8].baseNameChoice = 1;
    block.nameRules[11].optionFlags |= kOptFixPictureOrder;
    block.nameRules[16].optionFlags |= kOptFixPictureOrder;
    return block;
}

SettingsBlock LoadSettings(const fs::path& folder) {
    const fs::path file = folder / kSettingsFileName;
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        // A file that exists but cannot be read (or a link into a folder not
        // mounted now) is not replaced by defaults here; only an explicit
        // change of a setting overwrites it.
        std::error_code error;
        const bool missing = fs::symlink_status(file, error).type() == fs::file_type::not_found;
        SettingsBlock block = DefaultSettings();
        if (missing) SaveSettings(folder, block);
        return block;
    }
    std::vector<std::uint8_t> bytes(kSettingsBlockSize);
    in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    bytes.resize(static_cast<std::size_t>(in.gcount()));
    in.close();
    SettingsBlock block = ParseSettings(bytes);
    RepairDownloadParams(block);
    SaveSettings(folder, block);
    return block;
}

bool SaveSettings(const fs::path& folder, const SettingsBlock& block) {
    const std::vector<std::uint8_t> bytes = SerializeSettings(block);
    return WriteSettingsFile(folder / kSettingsFileName,
                             std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
}

bool WriteSettingsFile(const fs::path& file, std::string_view bytes) {
    // A settings file that links elsewhere (kept with the user's other
    // dotfiles) stays a link: the file it points to is the one replaced.
    fs::path target = file;
    std::error_code error;
    if (fs::path resolved = fs::canonical(target, error); !error) target = resolved;
    std::string temp = target.string() + ".XXXXXX";
    // mkstemp makes the file private (0600); the histories name the user's folders.
    const int fd = mkstemp(temp.data());
    if (fd < 0) return false;
    FILE* stream = fdopen(fd, "wb");
    if (!stream) {
        close(fd);
        unlink(temp.c_str());
        return false;
    }
    bool ok = std::fwrite(bytes.data(), 1, bytes.size(), stream) == bytes.size() && std::fflush(stream) == 0 &&
              fsync(fd) == 0;
    ok = std::fclose(stream) == 0 && ok;
    if (ok) ok = std::rename(temp.c_str(), target.c_str()) == 0;
    if (!ok) unlink(temp.c_str());
    return ok;
}

fs::path ProgramFolder() {
    const std::string override = Env("LUMORA_HOME");
    const fs::path folder = (override.empty() ? ConfigHome() / "lumora" : fs::path(override)) / "";
    std::error_code error;
    fs::create_directories(folder, error);
    return folder;
}

fs::path DefaultSaveFolder() { return DocumentsFolder() / "Lumora" / ""; }

}  // namespace lumora
