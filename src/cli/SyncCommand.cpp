// lumora-cli sync: what is new at the followed members, downloaded.
#include <CLI/CLI.hpp>

#include "app/MainController.h"
#include "cli/AddressCheck.h"
#include "cli/Command.h"
#include "cli/Output.h"
#include "cli/QueueSupport.h"
#include "cli/RunConsole.h"
#include "text/Format.h"
#include "text/StringCtrl.h"

namespace lumora::cli {
namespace {

class SyncCommand : public Command {
public:
    explicit SyncCommand(CLI::App& parent)
        : Command(parent.add_subcommand(
              "sync", "download what is new at the followed members: new albums, and new pictures of known ones")) {
        app_->add_option("ADDRESS", addresses_, "only these followed members (default: all)");
        AddJsonEventsFlag(*app_, json_);
    }

    int Run(const GlobalOptions& global) override {
        std::unique_ptr<FollowList> follows = OpenFollowList("sync");
        if (!follows) return kExitFailure;
        std::vector<FollowedMember> members;
        for (const std::string& given : addresses_) {
            const std::u16string address(TrimBlanks(Utf8ToWide(given), kAddressBlanks));
            std::optional<FollowedMember> member = follows->Find(address);
            if (!member) return UsageError("sync", "'" + given + "' is not followed (see lumora-cli follow add)");
            members.push_back(std::move(*member));
        }
        if (addresses_.empty()) {
            Result<std::vector<FollowedMember>> all = follows->Members();
            if (all && all->empty()) {
                PrintLine(stderr, u"没有关注的空间（lumora-cli follow add ADDRESS）");
                return 0;
            }
        }
        return RunUnderRunnerLock("sync", global, json_,
                                  [&](MainController& controller, QueueRunner& runner, RunConsole& console) {
                                      return SyncMembers(*follows, members, controller, runner, console);
                                  });
    }

private:
    int SyncMembers(FollowList& follows, const std::vector<FollowedMember>& members, MainController& controller,
                    QueueRunner& runner, RunConsole& console) {
        std::unique_ptr<QueueListener> shown = MakeQueueConsole(controller, json_);
        const SyncReport report = runner.Sync(follows, members, *shown);
        if (!report.storeProblem.empty()) PrintLine(stderr, u"无法读写关注列表：" + report.storeProblem);
        const int status = console.Finish(report.combined);
        if (!json_) {
            for (const auto& [member, finding] : report.members) {
                std::vector<std::u16string> cells = {member.address};
                if (!finding.problem.empty()) {
                    cells.push_back(finding.problem);
                } else {
                    cells.push_back(NumberText(finding.newAlbums) + u"个新相册");
                    cells.push_back(NumberText(finding.newPictures) + u"张新图片");
                    cells.push_back(u"失败" + NumberText(finding.failed) + u"张");
                }
                PrintRow(cells);
            }
            PrintLine(stdout, SyncSummaryText(report));
        }
        return report.Complete() && status == 0 ? 0 : kExitFailure;
    }

    std::vector<std::string> addresses_;
    bool json_ = false;
};

}  // namespace

std::unique_ptr<Command> AddSyncCommand(CLI::App& parent) { return std::make_unique<SyncCommand>(parent); }

}  // namespace lumora::cli
