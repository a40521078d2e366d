// lumora-cli archive: what the download archive holds; forgetting and pruning.
#include <CLI/CLI.hpp>
#include <filesystem>
#include <optional>

#include "base/FailureText.h"
#include "cli/Command.h"
#include "download/DownloadArchive.h"
#include "settings/SettingsFile.h"
#include "text/StringCtrl.h"

namespace lumora::cli {
namespace {

class ArchiveCommand : public Command {
public:
    explicit ArchiveCommand(CLI::App& parent)
        : Command(
              parent.add_subcommand("archive", "show the download archive: where it is, its pictures and failures")) {
        auto* forget =
            app_->add_option("--forget", forget_, "forget a picture address, or every picture of an album address")
                ->type_name("ADDRESS");
        app_->add_flag("--prune", prune_, "drop the records whose files are gone or changed")->excludes(forget);
    }

    int Run(const GlobalOptions&) override {
        const std::filesystem::path file = ProgramFolder() / kArchiveFileName;
        Result<std::shared_ptr<DownloadArchive>> opened = DownloadArchive::Open(file);
        if (!opened) {
            std::fprintf(stderr, "lumora-cli archive: cannot open %s: %s\n", file.c_str(),
                         WideToUtf8(FailureText(opened.failure())).c_str());
            return kExitFailure;
        }
        DownloadArchive* archive = opened->get();
        if (forget_) {
            std::printf("forgotten\t%zu\n", archive->Forget(Utf8ToWide(*forget_)));
        } else if (prune_) {
            std::printf("pruned\t%zu\n", archive->Prune());
        }
        std::error_code sizeError;
        const auto bytes = std::filesystem::file_size(file, sizeError);
        std::printf("file\t%s\nbytes\t%llu\npictures\t%zu\nfailures\t%zu\n", file.c_str(),
                    static_cast<unsigned long long>(sizeError ? 0 : bytes), archive->SavedCount(),
                    archive->Failures().size());
        return 0;
    }

private:
    std::optional<std::string> forget_;
    bool prune_ = false;
};

}  // namespace

std::unique_ptr<Command> AddArchiveCommand(CLI::App& parent) { return std::make_unique<ArchiveCommand>(parent); }

}  // namespace lumora::cli
