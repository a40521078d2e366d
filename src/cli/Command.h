// One lumora-cli command: it adds itself and its options to the parser, and
// runs with what was parsed. Each command lives in its own file.
#pragma once

#include <memory>
#include <string>

namespace CLI {
class App;
}

namespace lumora::cli {

// Options that every command takes, before or after its name.
struct GlobalOptions {
    bool quiet = false;      // only errors and the summary
    std::string logFile;     // the run log's lines go here too
    std::string captureDir;  // every fetched page is written here too (web/PageCapture.h)
};

class Command {
public:
    explicit Command(CLI::App* app) : app_(app) {}
    virtual ~Command() = default;
    // The command's exit status.
    virtual int Run(const GlobalOptions& global) = 0;
    // It was named on the command line.
    bool Chosen() const;

protected:
    CLI::App* app_;
};

std::unique_ptr<Command> AddListCommand(CLI::App& parent);
std::unique_ptr<Command> AddDownloadCommand(CLI::App& parent);
std::unique_ptr<Command> AddRetryCommand(CLI::App& parent);
std::unique_ptr<Command> AddArchiveCommand(CLI::App& parent);
std::unique_ptr<Command> AddOptionsCommand(CLI::App& parent);
std::unique_ptr<Command> AddParamsCommand(CLI::App& parent);
std::unique_ptr<Command> AddNamesCommand(CLI::App& parent);
std::unique_ptr<Command> AddQueueCommand(CLI::App& parent);
std::unique_ptr<Command> AddFollowCommand(CLI::App& parent);
std::unique_ptr<Command> AddSyncCommand(CLI::App& parent);
std::unique_ptr<Command> AddRulesCommand(CLI::App& parent);
std::unique_ptr<Command> AddCheckCommand(CLI::App& parent);
std::unique_ptr<Command> AddVerifyCommand(CLI::App& parent);
std::unique_ptr<Command> AddRepairCommand(CLI::App& parent);

// Exit statuses shared by every command.
constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

// "lumora-cli COMMAND: MESSAGE" on standard error; returns kExitUsage.
int UsageError(const std::string& command, const std::string& message);

}  // namespace lumora::cli
