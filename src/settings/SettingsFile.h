// "soft.dat" in the program folder, and where the program folder and the
// default save folder are.
#pragma once

#include <filesystem>
#include <string_view>

#include "settings/SettingsBlock.h"

namespace lumora {

inline constexpr const char* kSettingsFileName = "soft.dat";

// Thread counts outside 1..15 become 5, time-outs below 10 s become 30, in
// every record. Texts are left as they are.
void RepairDownloadParams(SettingsBlock& block);

// The block as a new installation has it, repairs applied.
SettingsBlock DefaultSettings();

// Reads "soft.dat" from `folder` (short files leave the rest zero, bytes past
// the block are ignored), repairs the download parameters and writes the
// file back at once, so a missing or short file is whole from now on. A
// missing file gives DefaultSettings(). Nothing is reported.
SettingsBlock LoadSettings(const std::filesystem::path& folder);

// Writes the whole image to "soft.dat" in `folder`. The bytes go to a new
// file beside it that is renamed over the old one once complete, so a crash
// never leaves a truncated file. False, showing nothing, on failure.
bool SaveSettings(const std::filesystem::path& folder, const SettingsBlock& block);

// Replaces `file` with `bytes` the same way: a private new file beside it,
// flushed to disk, then renamed over it. False on any failure.
bool WriteSettingsFile(const std::filesystem::path& file, std::string_view bytes);

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
