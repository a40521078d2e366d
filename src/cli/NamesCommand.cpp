// lumora-cli names: the naming rules for pictures and folders, shown or changed.
#include <CLI/CLI.hpp>
#include <map>
#include <optional>

#include "cli/Command.h"
#include "cli/Output.h"
#include "settings/SettingsFile.h"
#include "settings/SettingsStore.h"
#include "text/StringCtrl.h"

namespace lumora::cli {
namespace {

// The base name choices in the order the settings keep them.
const std::vector<std::string> kBaseNames = {"description", "number", "address"};

struct NameField {
    const char* flag;
    const char* help;
    NameText NameRules::*member;
};

const NameField kFields[] = {
    {"prefix", "text before each picture's name", &NameRules::filePrefix},
    {"suffix", "text after each picture's name", &NameRules::fileSuffix},
    {"replace-what", "text to replace in names", &NameRules::replaceWhat},
    {"replace-with", "what it is replaced with", &NameRules::replaceWith},
    {"folder-prefix", "text before each album folder's name", &NameRules::folderPrefix},
    {"folder-suffix", "text after each album folder's name", &NameRules::folderSuffix},
};

class NamesCommand : public Command {
public:
    explicit NamesCommand(CLI::App& parent)
        : Command(parent.add_subcommand("names", "show the naming rules, or set some of them")) {
        auto fitsField = [](const std::string& value) -> std::string {
            return Utf8ToWide(value).size() > kNameTextMaxChars ? "takes at most 38 characters" : "";
        };
        for (const NameField& field : kFields) {
            app_->add_option(std::string("--") + field.flag, texts_[field.flag], field.help)
                ->type_name("T")
                ->check(fitsField);
        }
        app_->add_option("--base", base_, "what a picture's name is made of")->check(CLI::IsMember(kBaseNames));
        app_->add_option("--folder", folder_, "a folder per album, or all pictures in one")
            ->check(CLI::IsMember({"album", "none"}));
    }

    int Run(const GlobalOptions&) override {
        // Settings alone: no controller, so nothing else (cookies, workers) is touched.
        SettingsStore settings(ProgramFolder(), PrintSettingsMessage);
        PrintSettingsProblem(settings);
        NameRules rules = settings.CurrentNameRules();
        bool changed = false;
        for (const NameField& field : kFields) {
            if (const auto& text = texts_[field.flag]) {
                SetFieldText(rules.*field.member, Utf8ToWide(*text));
                changed = true;
            }
        }
        if (base_) {
            rules.baseNameChoice =
                static_cast<std::uint8_t>(std::find(kBaseNames.begin(), kBaseNames.end(), *base_) - kBaseNames.begin());
            changed = true;
        }
        if (folder_) {
            rules.folderChoice = *folder_ == "album" ? 0 : 1;
            changed = true;
        }
        if (changed && !settings.UpdateNameRules(rules)) return kExitFailure;  // the failure was shown
        std::vector<const NameField*> sorted;
        for (const NameField& field : kFields) sorted.push_back(&field);
        std::sort(sorted.begin(), sorted.end(),
                  [](const NameField* a, const NameField* b) { return std::string(a->flag) < b->flag; });
        for (const NameField* field : sorted) PrintRow({Utf8ToWide(field->flag), FieldText(rules.*field->member)});
        const std::size_t base = rules.baseNameChoice < kBaseNames.size() ? rules.baseNameChoice : 1;
        PrintRow({u"base", Utf8ToWide(kBaseNames[base])});
        PrintRow({u"folder", rules.folderChoice == 0 ? u"album" : u"none"});
        return 0;
    }

private:
    std::map<std::string, std::optional<std::string>> texts_;
    std::optional<std::string> base_, folder_;
};

}  // namespace

std::unique_ptr<Command> AddNamesCommand(CLI::App& parent) { return std::make_unique<NamesCommand>(parent); }

}  // namespace lumora::cli
