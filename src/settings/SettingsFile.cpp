#include "settings/SettingsFile.h"

#include <fcntl.h>
#include <pwd.h>
#include <stdlib.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "base/FileReplacement.h"

namespace lumora {
namespace {

namespace fs = std::filesystem;

// Between a settings file's name and mkstemp's six characters.
constexpr const char* kTempTag = ".saving-";

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
        if (value.size() >= 2 && value.front() == '"' && value.back() == '"') value = value.substr(1, value.size() - 2);
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
    std::optional<Failure> problem;
    return LoadSettings(folder, problem);
}

SettingsBlock LoadSettings(const fs::path& folder, std::optional<Failure>& problem) {
    RemoveStaleSettingsTemps(folder);
    const fs::path file = folder / kSettingsFileName;
    // One byte more than the block tells a longer file, which is rewritten whole.
    const FileContents read = ReadRegularFile(file, kSettingsBlockSize + 1);
    if (!read) {
        // Never replaced by defaults: only the user may decide to give it up.
        problem = read.failure();
        return DefaultSettings();
    }
    if (!*read) {
        SettingsBlock block = DefaultSettings();
        (void)SaveSettings(folder, block);  // a new installation has its file at once
        return block;
    }
    const std::string& bytes = **read;
    const std::span<const std::uint8_t> image(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
    SettingsBlock block = ParseSettings(image.first(std::min(image.size(), kSettingsBlockSize)));
    RepairDownloadParams(block);
    // Written back only when the repair (or a short file) changed bytes.
    const std::vector<std::uint8_t> repaired = SerializeSettings(block);
    if (!std::equal(repaired.begin(), repaired.end(), image.begin(), image.end())) (void)SaveSettings(folder, block);
    return block;
}

Result<void> SaveSettings(const fs::path& folder, const SettingsBlock& block) {
    const std::vector<std::uint8_t> bytes = SerializeSettings(block);
    return WriteSettingsFile(folder / kSettingsFileName,
                             std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
}

Result<void> ChangeSettings(const fs::path& folder, SettingsBlock& block,
                            const std::function<void(SettingsBlock&)>& change) {
    const fs::path file = folder / kSettingsFileName;
    SettingsFileLock lock(file);
    const FileContents read = ReadRegularFile(file, kSettingsBlockSize);
    if (!read) {
        change(block);  // kept for this session, never written over the file
        return read.failure();
    }
    // Missing: someone removed it, and this process's view is all there is.
    if (const std::optional<std::string>& bytes = *read) {
        block = ParseSettings(
            std::span<const std::uint8_t>(reinterpret_cast<const std::uint8_t*>(bytes->data()), bytes->size()));
        RepairDownloadParams(block);
    }
    change(block);
    return SaveSettings(folder, block);
}

Result<void> WriteSettingsFile(const fs::path& file, std::string_view bytes) {
    // A settings file that links elsewhere (kept with the user's other
    // dotfiles) stays a link: the file it points to is the one replaced,
    // and only when it is a regular file.
    fs::path target = file;
    std::error_code error;
    if (fs::is_symlink(fs::symlink_status(file, error))) {
        target = fs::canonical(file, error);
        if (error) return Failure{FailureCode::BrokenLink};
    }
    const fs::file_status status = fs::status(target, error);
    if (fs::exists(status) && !fs::is_regular_file(status)) return Failure{FailureCode::NotRegularFile};
    std::string temp = target.string() + kTempTag + "XXXXXX";
    // mkstemp makes the file private (0600); the histories name the user's folders.
    const int fd = mkstemp(temp.data());
    if (fd < 0) return SystemFailure(errno);
    FileReplacement replacement;
    replacement.Start(fd, temp, target);
    if (!replacement.Write(bytes) || !replacement.Commit(true)) return SystemFailure(replacement.error());
    return {};
}

SettingsFileLock::SettingsFileLock(const fs::path& file) {
    const std::string lockName = file.string() + ".lock";
    fd_ = open(lockName.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    // Without a lock file (a read-only folder) the save that follows fails anyway.
    if (fd_ >= 0) flock(fd_, LOCK_EX);
}

SettingsFileLock::~SettingsFileLock() {
    if (fd_ >= 0) close(fd_);  // closing releases the lock
}

void RemoveStaleSettingsTemps(const fs::path& folder) {
    // Ours: "<file>" + kTempTag + six random characters; and what older
    // versions left, "<file>." + six random characters, taken only when they
    // mix upper case, lower case and digits, as random names do and names a
    // user gives ("soft.dat.backup") do not. Older than a minute, so that a
    // save in progress elsewhere is left alone.
    auto isTemp = [](const std::string& name) {
        for (const std::string& base : {std::string(kSettingsFileName), std::string("lumora.ini")}) {
            if (!name.starts_with(base)) continue;
            const std::string rest = name.substr(base.size());
            if (rest.size() == std::strlen(kTempTag) + 6 && rest.starts_with(kTempTag)) return true;
            if (rest.size() == 7 && rest[0] == '.') {
                auto has = [&rest](int (*kind)(int)) {
                    return std::any_of(rest.begin() + 1, rest.end(),
                                       [kind](char c) { return kind(static_cast<unsigned char>(c)) != 0; });
                };
                const bool alnum = std::all_of(rest.begin() + 1, rest.end(),
                                               [](char c) { return std::isalnum(static_cast<unsigned char>(c)) != 0; });
                if (alnum && has(std::isupper) && has(std::islower) && has(std::isdigit)) return true;
            }
        }
        return false;
    };
    std::error_code error;
    const auto now = fs::file_time_type::clock::now();
    for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
        std::error_code ignored;
        if (!isTemp(it->path().filename().string()) || !it->is_regular_file(ignored)) continue;
        const auto modified = fs::last_write_time(it->path(), ignored);
        if (!ignored && now - modified > std::chrono::minutes(1)) fs::remove(it->path(), ignored);
    }
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
