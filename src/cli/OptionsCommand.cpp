// lumora-cli options: the on/off switches, shown or changed.
#include <CLI/CLI.hpp>

#include "app/OptionFlags.h"
#include "cli/Command.h"
#include "cli/Output.h"
#include "settings/AppSettings.h"
#include "settings/SettingsFile.h"
#include "settings/SettingsStore.h"
#include "text/StringCtrl.h"

namespace lumora::cli {
namespace {

std::vector<std::string> OptionNames() {
    std::vector<std::string> names;
    for (const auto& option : OptionSwitches()) {
        if (option.cliName) names.emplace_back(option.cliName);
    }
    for (const AppSwitch& kept : AppSwitches()) names.emplace_back(kept.cliName);
    return names;
}

std::u16string OnOff(bool on) { return on ? u"on" : u"off"; }

class OptionsCommand : public Command {
public:
    explicit OptionsCommand(CLI::App& parent)
        : Command(parent.add_subcommand("options", "show the switches, or turn one on or off")) {
        auto* name = app_->add_option("NAME", name_, "the switch")->check(CLI::IsMember(OptionNames()));
        app_->add_option("STATE", state_, "on or off")->check(CLI::IsMember({"on", "off"}))->needs(name);
        name->needs(app_->get_option("STATE"));
    }

    int Run(const GlobalOptions&) override {
        // Settings alone: no controller, so nothing else (cookies, workers) is touched.
        SettingsStore store(ProgramFolder(), PrintSettingsMessage);
        PrintSettingsProblem(store);
        if (!name_.empty() && !Switch(store)) return kExitFailure;  // the save failure was shown
        const std::uint16_t flags = store.CurrentNameRules().optionFlags;
        for (const auto& option : OptionSwitches()) {
            if (option.cliName) PrintRow({Utf8ToWide(option.cliName), OnOff(flags & option.bit), option.menuText});
        }
        const AppSettings app = store.CurrentAppSettings();
        for (const AppSwitch& kept : AppSwitches()) {
            PrintRow({Utf8ToWide(kept.cliName), OnOff(app.*kept.value), kept.menuText});
        }
        return 0;
    }

private:
    bool Switch(SettingsStore& store) {
        const bool wanted = state_ == "on";
        if (const AppSwitch* kept = FindAppSwitchByName(name_)) {
            AppSettings settings = store.CurrentAppSettings();
            settings.*kept->value = wanted;
            return store.UpdateAppSettings(settings);
        }
        const OptionSwitch* option = FindOptionByName(name_);
        NameRules rules = store.CurrentNameRules();
        if (((rules.optionFlags & option->bit) != 0) == wanted) return true;
        ToggleOption(rules.optionFlags, option->menuId);
        return store.UpdateNameRules(rules);
    }

    std::string name_;
    std::string state_;
};

}  // namespace

std::unique_ptr<Command> AddOptionsCommand(CLI::App& parent) { return std::make_unique<OptionsCommand>(parent); }

}  // namespace lumora::cli
