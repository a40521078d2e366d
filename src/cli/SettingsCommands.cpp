#include "cli/SettingsCommands.h"

#include <cstdio>
#include <map>

#include "app/MainController.h"
#include "app/OptionFlags.h"
#include "cli/ConsoleWindow.h"
#include "settings/AppSettings.h"
#include "settings/SettingsFile.h"
#include "text/Format.h"
#include "text/StringCtrl.h"

namespace lumora::cli {
namespace {

int UsageError(const char* command, const std::string& message, const char* usage) {
    std::fprintf(stderr, "lumora-cli %s: %s\n%s", command, message.c_str(), usage);
    return 2;
}

// Flag/value pairs such as "--threads 5"; false on a flag without a value.
bool CollectValues(const std::vector<std::string>& args, std::map<std::string, std::string>& values,
                   std::string& bad) {
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (!args[i].starts_with("--") || i + 1 >= args.size()) {
            bad = args[i];
            return false;
        }
        values[args[i]] = args[i + 1];
        ++i;
    }
    return true;
}

constexpr const char* kOptionsUsage =
    "usage: lumora-cli options [NAME on|off]\n"
    "  NAME: fix-format, fix-order, name-file, list-only, open-folder, skip-seen, skip-saved\n";

// Kept in lumora.ini, not among the per-site switches of soft.dat.
constexpr const char* kSkipSavedName = "skip-saved";
constexpr const char16_t* kSkipSavedText = u"跳过已下载的图片";

// The controller has printed "设置保存失败：<path>（<reason>）".
constexpr int kSaveFailed = 1;

constexpr const char* kParamsUsage =
    "usage: lumora-cli params [--threads N] [--timeout S] [--min KB] [--max KB] [--retries N]\n";

constexpr const char* kNamesUsage =
    "usage: lumora-cli names [--prefix T] [--suffix T] [--replace-what T] [--replace-with T]\n"
    "                        [--folder-prefix T] [--folder-suffix T]\n"
    "                        [--base description|number|address] [--folder album|none]\n";

}  // namespace

int RunOptions(const std::vector<std::string>& args) {
    ConsoleWindow window(true);
    MainController controller(window, ProgramFolder());
    PrintSettingsProblem(controller);
    if (!args.empty()) {
        if (args.size() != 2 || (args[1] != "on" && args[1] != "off")) {
            return UsageError("options", "expected NAME on|off", kOptionsUsage);
        }
        const bool wanted = args[1] == "on";
        const OptionSwitch* option = FindOptionByName(args[0]);
        if (!option && args[0] == kSkipSavedName) {
            AppSettings settings = controller.CurrentAppSettings();
            settings.skipSaved = wanted;
            if (!controller.UpdateAppSettings(settings)) return kSaveFailed;
        } else if (!option) {
            return UsageError("options", "unknown option '" + args[0] + "'", kOptionsUsage);
        }
        NameRules rules = controller.CurrentNameRules();
        if (option && ((rules.optionFlags & option->bit) != 0) != wanted) {
            ToggleOption(rules.optionFlags, option->menuId);
            if (!controller.UpdateNameRules(rules)) return kSaveFailed;
        }
    }
    const std::uint16_t flags = controller.CurrentNameRules().optionFlags;
    for (const auto& option : OptionSwitches()) {
        if (!option.cliName) continue;
        PrintLine(stdout, FormatText(u"%s\t%s\t%s", {Utf8ToWide(option.cliName),
                                                     std::u16string((flags & option.bit) ? u"on" : u"off"),
                                                     std::u16string(option.menuText)}));
    }
    PrintLine(stdout, FormatText(u"%s\t%s\t%s", {Utf8ToWide(kSkipSavedName),
                                                 std::u16string(controller.CurrentAppSettings().skipSaved ? u"on" : u"off"),
                                                 std::u16string(kSkipSavedText)}));
    return 0;
}

int RunParams(const std::vector<std::string>& args) {
    std::map<std::string, std::string> values;
    std::string bad;
    if (!CollectValues(args, values, bad)) return UsageError("params", "bad argument '" + bad + "'", kParamsUsage);
    for (const auto& [flag, value] : values) {
        if (flag != "--threads" && flag != "--timeout" && flag != "--min" && flag != "--max" && flag != "--retries") {
            return UsageError("params", "unknown option '" + flag + "'", kParamsUsage);
        }
    }
    ConsoleWindow window(true);
    MainController controller(window, ProgramFolder());
    PrintSettingsProblem(controller);
    DownloadParams params = controller.CurrentDownloadParams();
    AppSettings app = controller.CurrentAppSettings();
    if (auto retries = values.find("--retries"); retries != values.end()) {
        const std::optional<unsigned> count = ParseRetries(Utf8ToWide(retries->second));
        if (!count) {
            PrintLine(stderr, kParamErrorMessage);
            return 2;
        }
        app.retries = *count;
        values.erase(retries);
        if (!controller.UpdateAppSettings(app)) return kSaveFailed;
    }
    if (!values.empty()) {
        auto text = [&](const char* flag, std::uint16_t current) {
            auto found = values.find(flag);
            return found != values.end() ? Utf8ToWide(found->second)
                                         : FormatText(u"%d", {static_cast<std::int64_t>(current)});
        };
        DownloadParams edited = params;
        auto error = ApplyDownloadParamsInput(edited, text("--threads", params.threadCount),
                                              text("--timeout", params.timeoutSeconds), text("--min", params.minKB),
                                              text("--max", params.maxKB));
        if (error) {
            PrintLine(stderr, *error);
            return 2;
        }
        if (!controller.UpdateDownloadParams(edited)) return kSaveFailed;
        params = edited;
    }
    std::printf("threads\t%u\ntimeout\t%u\nmin\t%u\nmax\t%u\nretries\t%u\n", params.threadCount,
                params.timeoutSeconds, params.minKB, params.maxKB, app.retries);
    return 0;
}

int RunNames(const std::vector<std::string>& args) {
    std::map<std::string, std::string> values;
    std::string bad;
    if (!CollectValues(args, values, bad)) return UsageError("names", "bad argument '" + bad + "'", kNamesUsage);
    ConsoleWindow window(true);
    MainController controller(window, ProgramFolder());
    PrintSettingsProblem(controller);
    NameRules rules = controller.CurrentNameRules();
    const std::map<std::string, NameText NameRules::*> texts = {
        {"--prefix", &NameRules::filePrefix},          {"--suffix", &NameRules::fileSuffix},
        {"--replace-what", &NameRules::replaceWhat},   {"--replace-with", &NameRules::replaceWith},
        {"--folder-prefix", &NameRules::folderPrefix}, {"--folder-suffix", &NameRules::folderSuffix},
    };
    for (const auto& [flag, value] : values) {
        if (auto field = texts.find(flag); field != texts.end()) {
            std::u16string text = Utf8ToWide(value);
            if (text.size() > kNameTextMaxChars) {
                return UsageError("names", flag + " takes at most 38 characters", kNamesUsage);
            }
            SetFieldText(rules.*(field->second), text);
        } else if (flag == "--base") {
            static const std::map<std::string, std::uint8_t> choices = {{"description", 0}, {"number", 1}, {"address", 2}};
            auto choice = choices.find(value);
            if (choice == choices.end()) return UsageError("names", "--base takes description, number or address", kNamesUsage);
            rules.baseNameChoice = choice->second;
        } else if (flag == "--folder") {
            if (value != "album" && value != "none") return UsageError("names", "--folder takes album or none", kNamesUsage);
            rules.folderChoice = value == "album" ? 0 : 1;
        } else {
            return UsageError("names", "unknown option '" + flag + "'", kNamesUsage);
        }
    }
    if (!values.empty() && !controller.UpdateNameRules(rules)) return kSaveFailed;
    for (const auto& [flag, member] : texts) PrintLine(stdout, Utf8ToWide(flag.substr(2)) + u"\t" + FieldText(rules.*member));
    static const char16_t* bases[] = {u"description", u"number", u"address"};
    PrintLine(stdout, std::u16string(u"base\t") + (rules.baseNameChoice <= 2 ? bases[rules.baseNameChoice] : u"number"));
    PrintLine(stdout, std::u16string(u"folder\t") + (rules.folderChoice == 0 ? u"album" : u"none"));
    return 0;
}

}  // namespace lumora::cli
