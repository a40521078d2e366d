// lumora-cli check: what the site rules find on a member's pages, rule by
// rule, so that a changed site names the marker that broke.
#include <CLI/CLI.hpp>

#include "app/SiteCheck.h"
#include "app/SiteRulesFiles.h"
#include "base/Trim.h"
#include "cli/AddressCheck.h"
#include "cli/Command.h"
#include "cli/Output.h"
#include "settings/AppSettings.h"
#include "settings/SettingsFile.h"
#include "text/StringCtrl.h"

namespace lumora::cli {
namespace {

class CheckCommand : public Command {
public:
    explicit CheckCommand(CLI::App& parent)
        : Command(parent.add_subcommand("check", "read a member's first pages and tell what each site rule finds")) {
        app_->add_option("ADDRESS", address_, "the member's album-space address (http:// or https://)")
            ->required()
            ->check(WebAddressValidator());
    }

    int Run(const GlobalOptions&) override {
        const std::filesystem::path folder = ProgramFolder();
        if (const RulesSource source = LoadRulesInForce(folder); !source.refused.empty())
            PrintLine(stderr, source.refused);
        const std::u16string address(TrimBlanks(Utf8ToWide(address_), kAddressBlanks));
        const SiteCheckReport report = CheckSite(address, static_cast<std::uint8_t>(LoadAppSettings(folder).retries));
        for (const std::u16string& line : report.lines) PrintLine(stdout, line);
        PrintLine(stdout, report.verdict);
        return report.Passed() ? 0 : kExitFailure;
    }

private:
    std::string address_;
};

}  // namespace

std::unique_ptr<Command> AddCheckCommand(CLI::App& parent) { return std::make_unique<CheckCommand>(parent); }

}  // namespace lumora::cli
