// Where the site rules in force come from: the built-in file, or a user's
// rules file of the same site in the program folder's "sites/", which
// replaces it only when its fixtures pass. Installing checks first, so a
// rules update that does not work is never put in force.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "site/SiteRules.h"

namespace lumora {

// "<program folder>/sites/photo-community.ini".
std::filesystem::path UserRulesFile(const std::filesystem::path& programFolder);

// A rules file read from disk with its fixture pages (beside it), and
// whether its fixtures passed.
struct LoadedRules {
    std::optional<RulesFile> file;  // when it and its pages could be read
    bool passed = false;
    std::u16string problem;  // "规则文件未通过自检：<file>：<fixture>：<what differed>", or why it cannot be read
};
LoadedRules LoadRulesFile(const std::filesystem::path& file);

struct RulesSource {
    bool builtIn = true;
    std::filesystem::path file;  // the user's file in force, or the one refused
    std::u16string refused;      // why the user's file is not in force
};
// Puts the user's rules in force when they pass their fixtures, else the
// built-in ones; tells where the rules in force came from.
RulesSource LoadRulesInForce(const std::filesystem::path& programFolder);

// Checks `file` and copies it, with its fixture pages, into the program
// folder's "sites/", putting it in force. The failure's text, or nothing.
std::optional<std::u16string> InstallRules(const std::filesystem::path& programFolder,
                                           const std::filesystem::path& file);
// Back to the built-in rules: the user's file goes.
std::optional<std::u16string> ResetRules(const std::filesystem::path& programFolder);
// Writes the rules in force, with their fixture pages, into `folder`.
std::optional<std::u16string> ExportRules(const std::filesystem::path& programFolder,
                                          const std::filesystem::path& folder);

}  // namespace lumora
