// "soft.dat" in the program folder, and where the program folder and the
// default save folder are.
#pragma once

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "base/RegularFile.h"
#include "settings/SettingsBlock.h"

namespace lumora {

inline constexpr const char* kSettingsFileName = "soft.dat";

// Thread counts outside 1..15 become 5, time-outs below 10 s become 30, in
// every record. Texts are left as they are.
void RepairDownloadParams(SettingsBlock& block);

// The block as a new installation has it, repairs applied.
SettingsBlock DefaultSettings();

// Reads "soft.dat" from `folder` without blocking (short files leave the
// rest zero, bytes past the block are ignored) and repairs the download
// parameters. A missing file gives DefaultSettings() and is created at once;
// a file whose repair changed bytes is written back; any other file is left
// as it is. A file that exists but cannot be read (no permission, not a
// regular file) gives DefaultSettings(), `problem` says why, and the file is
// never written. Temporary files of a crashed save are removed.
SettingsBlock LoadSettings(const std::filesystem::path& folder, std::optional<Failure>& problem);
SettingsBlock LoadSettings(const std::filesystem::path& folder);

// Writes the whole image to "soft.dat" in `folder`. The bytes go to a new
// file beside it that is renamed over the old one once complete, so a crash
// never leaves a truncated file.
Result<void> SaveSettings(const std::filesystem::path& folder, const SettingsBlock& block);

// Applies `change` to the block as "soft.dat" holds it now and writes the
// result, under a lock file beside it, so that processes take turns and none
// reverts what another changed. `block` becomes what was written. On a
// failure the change lives in `block` only (an unreadable file is never
// written).
Result<void> ChangeSettings(const std::filesystem::path& folder, SettingsBlock& block,
                            const std::function<void(SettingsBlock&)>& change);

// Replaces `file` with `bytes`: a private new file beside it, flushed to
// disk, then renamed over it. A link is followed only to a regular file, and
// nothing that is not a regular file is replaced.
Result<void> WriteSettingsFile(const std::filesystem::path& file, std::string_view bytes);

// An exclusive lock on "<file>.lock" for as long as it lives.
class SettingsFileLock {
public:
    explicit SettingsFileLock(const std::filesystem::path& file);
    ~SettingsFileLock();
    SettingsFileLock(const SettingsFileLock&) = delete;
    SettingsFileLock& operator=(const SettingsFileLock&) = delete;

private:
    int fd_ = -1;
};

// Removes temporary files that a save killed half-way left in `folder`.
void RemoveStaleSettingsTemps(const std::filesystem::path& folder);

// The program's own folder, with a trailing separator, created if missing
// (a failure shows up later when files in it cannot be written):
// $LUMORA_HOME if set, else $XDG_CONFIG_HOME/lumora/, else ~/.config/lumora/.
// LUMORA_HOME lets the tests and the command line keep real user data
// untouched.
std::filesystem::path ProgramFolder();

// The documents folder (XDG_DOCUMENTS_DIR of $XDG_CONFIG_HOME/user-dirs.dirs,
// else ~/Documents) + "Lumora/", with a trailing separator. Not created here.
std::filesystem::path DefaultSaveFolder();

}  // namespace lumora
