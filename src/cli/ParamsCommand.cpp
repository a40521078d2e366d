// lumora-cli params: the download parameters, shown or changed. The numbers
// are checked by the same rules as the dialog's fields, with its message.
#include <CLI/CLI.hpp>
#include <optional>

#include "cli/Command.h"
#include "cli/Output.h"
#include "settings/AppSettings.h"
#include "settings/SettingsFile.h"
#include "settings/SettingsStore.h"
#include "text/Format.h"
#include "text/StringCtrl.h"

namespace lumora::cli {
namespace {

class ParamsCommand : public Command {
public:
    explicit ParamsCommand(CLI::App& parent)
        : Command(parent.add_subcommand("params", "show the download parameters, or set some of them")) {
        app_->add_option("--threads", threads_, "pictures downloaded at once (1 to 15)")->type_name("N");
        app_->add_option("--timeout", timeout_, "seconds a transfer may take (10 to 65535)")->type_name("S");
        app_->add_option("--min", min_, "smallest picture kept, in KB (0 to 65535; 0: no lower limit)")
            ->type_name("KB");
        app_->add_option("--max", max_, "largest picture kept, in KB (0 to 65535, not below --min; 0: no upper limit)")
            ->type_name("KB");
        app_->add_option("--retries", retries_, "tries again after a failed transfer (0 to 10)")->type_name("N");
        app_->add_option("--limit-rate", limitRate_,
                         "KB a second that all transfers together may take (0 to 999999; 0: no limit)")
            ->type_name("KB");
        app_->add_option("--delay", delay_, "least pause between two requests to one host (0 to 60000 ms)")
            ->type_name("MS");
    }

    int Run(const GlobalOptions&) override {
        // Settings alone: no controller, so nothing else (cookies, workers) is touched.
        SettingsStore settings(ProgramFolder(), PrintSettingsMessage);
        PrintSettingsProblem(settings);
        DownloadParams params = settings.CurrentDownloadParams();
        AppSettings app = settings.CurrentAppSettings();
        // Everything asked for is checked before anything is stored.
        AppSettings editedApp = app;
        if (retries_ && !Take(*retries_, ParseRetries, editedApp.retries)) return Refuse(ParamErrorText(kRetriesField));
        if (limitRate_ && !Take(*limitRate_, ParseLimitRate, editedApp.limitRateKB))
            return Refuse(ParamErrorText(kLimitRateField));
        if (delay_ && !Take(*delay_, ParseRequestDelay, editedApp.requestDelayMs))
            return Refuse(ParamErrorText(kRequestDelayField));
        DownloadParams edited = params;
        if (threads_ || timeout_ || min_ || max_) {
            auto text = [](const std::optional<std::string>& given, std::uint16_t current) {
                return given ? Utf8ToWide(*given) : NumberText(current);
            };
            auto error = ApplyDownloadParamsInput(edited, text(threads_, params.threadCount),
                                                  text(timeout_, params.timeoutSeconds), text(min_, params.minKB),
                                                  text(max_, params.maxKB));
            if (error) return Refuse(*error);
        }
        if (editedApp != app) {
            if (!settings.UpdateAppSettings(editedApp)) return kExitFailure;  // the failure was shown
            app = editedApp;
        }
        if (threads_ || timeout_ || min_ || max_) {
            if (!settings.UpdateDownloadParams(edited)) return kExitFailure;
            params = edited;
        }
        PrintRow({u"threads", NumberText(params.threadCount)});
        PrintRow({u"timeout", NumberText(params.timeoutSeconds)});
        PrintRow({u"min", NumberText(params.minKB)});
        PrintRow({u"max", NumberText(params.maxKB)});
        PrintRow({u"retries", NumberText(app.retries)});
        PrintRow({u"limit-rate", NumberText(app.limitRateKB)});
        PrintRow({u"delay", NumberText(app.requestDelayMs)});
        return 0;
    }

private:
    // The typed number into `value` when `parse` accepts it.
    static bool Take(const std::string& typed, std::optional<unsigned> (*parse)(const std::u16string&),
                     unsigned& value) {
        const std::optional<unsigned> number = parse(Utf8ToWide(typed));
        if (number) value = *number;
        return number.has_value();
    }

    static int Refuse(const std::u16string& message) {
        PrintLine(stderr, message);
        return kExitUsage;
    }

    // Taken as text: the dialog's own rules read them.
    std::optional<std::string> threads_, timeout_, min_, max_, retries_, limitRate_, delay_;
};

}  // namespace

std::unique_ptr<Command> AddParamsCommand(CLI::App& parent) { return std::make_unique<ParamsCommand>(parent); }

}  // namespace lumora::cli
