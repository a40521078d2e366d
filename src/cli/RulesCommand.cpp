// lumora-cli rules: which site rules are in force, and changing them. A
// rules file is put in force only after its fixtures pass.
#include <CLI/CLI.hpp>

#include "app/SiteRulesFiles.h"
#include "cli/Command.h"
#include "cli/Output.h"
#include "settings/SettingsFile.h"
#include "text/StringCtrl.h"

namespace lumora::cli {
namespace {

class RulesCommand : public Command {
public:
    explicit RulesCommand(CLI::App& parent)
        : Command(parent.add_subcommand("rules", "the rules Lumora reads the site's pages by")) {
        app_->require_subcommand(1);
        show_ = app_->add_subcommand("show", "which rules are in force, their version and where they came from");
        export_ = app_->add_subcommand("export", "write the rules in force and their fixture pages into DIR");
        export_->add_option("DIR", path_, "the folder (made when missing)")->required();
        install_ = app_->add_subcommand("install", "check FILE's fixtures, then put it in force (works offline)");
        install_->add_option("FILE", path_, "a rules file, its fixture pages beside it")->required();
        reset_ = app_->add_subcommand("reset", "back to the built-in rules");
        test_ = app_->add_subcommand("test", "run FILE's fixtures and print each result");
        test_->add_option("FILE", path_, "a rules file, its fixture pages beside it")->required();
        for (CLI::App* sub : {show_, export_, install_, reset_, test_}) {
            sub->fallthrough();
            sub->set_help_flag("-h,--help", "print this command's help and exit");
        }
    }

    int Run(const GlobalOptions&) override {
        const std::filesystem::path folder = ProgramFolder();
        if (show_->parsed()) return Show(folder);
        if (test_->parsed()) return Test();
        std::optional<std::u16string> failure;
        if (export_->parsed()) failure = ExportRules(folder, path_);
        if (install_->parsed()) failure = InstallRules(folder, path_);
        if (reset_->parsed()) failure = ResetRules(folder);
        if (failure) {
            PrintLine(stderr, *failure);
            return kExitFailure;
        }
        return Show(folder);
    }

private:
    static int Show(const std::filesystem::path& folder) {
        const RulesSource source = LoadRulesInForce(folder);
        const std::shared_ptr<const SiteRules> rules = RulesInForce();
        PrintRow({u"in-force", source.builtIn ? u"built-in" : Utf8ToWide(source.file.string())});
        PrintRow({u"site", Utf8ToWide(rules->site)});
        PrintRow({u"version", Utf8ToWide(rules->version)});
        PrintRow({u"date", Utf8ToWide(rules->date)});
        if (!source.refused.empty()) PrintRow({u"refused", source.refused});
        return 0;
    }

    int Test() const {
        const LoadedRules loaded = LoadRulesFile(path_);
        if (loaded.file) {
            std::vector<std::pair<std::string, std::u16string>> each;
            FirstFixtureFailure(*loaded.file, &each);
            for (const auto& [name, difference] : each)
                PrintRow({Utf8ToWide(name), difference.empty() ? u"通过" : u"未通过：" + difference});
        }
        if (loaded.passed) return 0;
        PrintLine(stderr, loaded.problem);
        return kExitFailure;
    }

    CLI::App *show_, *export_, *install_, *reset_, *test_;
    std::filesystem::path path_;
};

}  // namespace

std::unique_ptr<Command> AddRulesCommand(CLI::App& parent) { return std::make_unique<RulesCommand>(parent); }

}  // namespace lumora::cli
