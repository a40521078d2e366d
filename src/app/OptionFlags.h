// The per-site option switches of the settings menu.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "settings/AppSettings.h"

namespace lumora {

struct OptionSwitch {
    int menuId;
    std::uint16_t bit;
    const char16_t* menuText;
    const char* cliName;  // name on the command line; null when not offered there
};

// Every switch, in the order of the settings menu.
const std::vector<OptionSwitch>& OptionSwitches();
const OptionSwitch* FindOptionByMenuId(int menuId);
const OptionSwitch* FindOptionByName(const std::string& cliName);

// A switch that "lumora.ini" keeps for every site, not a bit of "soft.dat".
struct AppSwitch {
    int menuId;
    const char16_t* menuText;
    const char* cliName;
    bool AppSettings::*value;
};

// Every such switch, in the order of the settings menu.
const std::vector<AppSwitch>& AppSwitches();
const AppSwitch* FindAppSwitchByMenuId(int menuId);
const AppSwitch* FindAppSwitchByName(const std::string& cliName);

// Whether the switch can be used for this site (three belong to other sites).
bool IsOptionEnabled(int menuId, int siteIndex);

// Flips the switch's bit; switching one of the two exclusive bits on clears
// the other. Returns false (flags unchanged) for an unknown id.
bool ToggleOption(std::uint16_t& flags, int menuId);

}  // namespace lumora
