// lumora-cli: the command-line front end. It runs the same controller as the
// desktop program and shares its program folder and settings.
#include <CLI/CLI.hpp>
#include <cstdio>

#include "LumoraVersion.h"
#include "base/StandardStreams.h"
#include "base/TempFileRegistry.h"
#include "cli/Command.h"
#include "cli/Output.h"
#include "web/PageCapture.h"

namespace lumora::cli {

bool Command::Chosen() const { return app_->parsed(); }

int UsageError(const std::string& command, const std::string& message) {
    std::fprintf(stderr, "lumora-cli %s: %s (see lumora-cli %s --help)\n", command.c_str(), message.c_str(),
                 command.c_str());
    return kExitUsage;
}

}  // namespace lumora::cli

namespace {

constexpr const char* kFooter =
    "Settings live in $XDG_CONFIG_HOME/lumora/ (default ~/.config/lumora/), shared with\n"
    "the desktop program; LUMORA_HOME names another folder. Proxies come from http_proxy\n"
    "and https_proxy. Ctrl-C stops a download as the stop button does (exit status 130);\n"
    "a second Ctrl-C quits at once.\n"
    "\n"
    "Exit status: 0 when everything asked for was done, 1 when something failed or was\n"
    "stopped, 2 for a usage error. \"lumora-cli COMMAND --help\" describes each command.";

int RunCommandLine(int argc, char** argv) {
    using namespace lumora::cli;
    CLI::App app("Downloads whole photo albums of a member of the photo community.", "lumora-cli");
    app.set_version_flag("--version", std::string("lumora-cli ") + LUMORA_VERSION, "print the version and exit");
    app.set_help_flag("-h,--help", "print this help and exit");
    app.require_subcommand(1);
    GlobalOptions global;
    app.add_flag("-q,--quiet", global.quiet, "print only errors and the summary");
    app.add_option("--log", global.logFile, "append the run log's lines (start, albums, failures, end) to FILE")
        ->type_name("FILE");
    app.add_option("--capture", global.captureDir,
                   "write every page fetched into DIR (no cookies; pictures by address only), for "
                   "lumora-sample-site --replay")
        ->type_name("DIR");

    std::vector<std::unique_ptr<Command>> commands;
    commands.push_back(AddListCommand(app));
    commands.push_back(AddDownloadCommand(app));
    commands.push_back(AddRetryCommand(app));
    commands.push_back(AddArchiveCommand(app));
    commands.push_back(AddOptionsCommand(app));
    commands.push_back(AddParamsCommand(app));
    commands.push_back(AddNamesCommand(app));
    commands.push_back(AddQueueCommand(app));
    commands.push_back(AddFollowCommand(app));
    commands.push_back(AddSyncCommand(app));
    commands.push_back(AddRulesCommand(app));
    commands.push_back(AddCheckCommand(app));
    commands.push_back(AddVerifyCommand(app));
    commands.push_back(AddRepairCommand(app));
    CLI::App* help = app.add_subcommand("help", "print this help, or a command's, and exit");
    std::string helpTopic;
    help->add_option("COMMAND", helpTopic, "the command to describe");
    for (CLI::App* sub : app.get_subcommands({})) {
        sub->fallthrough();  // the global options may follow the command
        sub->set_help_flag("-h,--help", "print this command's help and exit");
    }
    app.footer(kFooter);  // after the commands, which would copy it
    app.failure_message([](const CLI::App* top, const CLI::Error& error) {
        std::string command = "lumora-cli";
        for (const CLI::App* sub : top->get_subcommands()) command += " " + sub->get_name();
        return command + ": " + error.what() + " (see " + command + " --help)\n";
    });

    try {
        app.parse(argc, argv);
    } catch (const CLI::Success& done) {
        return app.exit(done);  // --help or --version, on standard output
    } catch (const CLI::ParseError& error) {
        app.exit(error);  // the message, and where to look for help
        return kExitUsage;
    }
    if (help->parsed()) {
        const CLI::App* topic = &app;
        if (!helpTopic.empty()) {
            try {
                topic = app.get_subcommand(helpTopic);
            } catch (const CLI::OptionNotFound&) {
                return UsageError("help", "no command '" + helpTopic + "'");
            }
        }
        // Through the formatter: App::help() would describe the help command itself.
        const std::string text = app.get_formatter()->make_help(
            topic, topic == &app ? "lumora-cli" : "lumora-cli " + helpTopic, CLI::AppFormatMode::Normal);
        std::fputs(text.c_str(), stdout);
        return 0;
    }
    std::shared_ptr<lumora::PageCapture> capture;
    if (!global.captureDir.empty()) {
        std::string error;
        capture = lumora::PageCapture::Start(global.captureDir, lumora::CaptureCommandLine(argc, argv), error);
        if (!capture) {
            std::fprintf(stderr, "lumora-cli: --capture %s: %s\n", global.captureDir.c_str(), error.c_str());
            return kExitUsage;
        }
    }
    int status = kExitUsage;
    for (const auto& command : commands) {
        if (command->Chosen()) {
            status = command->Run(global);
            break;
        }
    }
    if (std::string error; capture && !capture->Finish(error)) {
        // The user asked for the capture: a partial one is no success.
        std::fprintf(stderr, "lumora-cli: the capture in %s is incomplete: %s\n", global.captureDir.c_str(),
                     error.c_str());
        if (status == 0) status = kExitFailure;
    }
    return status;
}

}  // namespace

int main(int argc, char** argv) {
    // Before anything opens a file or a socket, which would take a closed stream's number.
    lumora::ReserveStandardStreams();
    const int status = RunCommandLine(argc, argv);
    // Transfers that a stop abandoned will never finish their files.
    lumora::RemoveRegisteredTempFiles();
    return lumora::cli::FinishOutput(status);
}
