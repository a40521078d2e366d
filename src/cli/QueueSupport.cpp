#include "cli/QueueSupport.h"

#include <CLI/CLI.hpp>
#include <cstdio>
#include <nlohmann/json.hpp>

#include "app/MainController.h"
#include "app/RunnerLock.h"
#include "base/FailureText.h"
#include "cli/InterruptWatch.h"
#include "cli/Output.h"
#include "cli/RunConsole.h"
#include "settings/SettingsFile.h"
#include "text/Format.h"
#include "text/StringCtrl.h"

namespace lumora::cli {
namespace {

template <class Store>
std::unique_ptr<Store> OpenStore(const char* command) {
    auto opened = Store::Open(ProgramFolder() / kArchiveFileName);
    if (opened) return std::move(*opened);
    std::fprintf(stderr, "lumora-cli %s: 下载记录打不开：%s\n", command,
                 WideToUtf8(FailureText(opened.failure())).c_str());
    return nullptr;
}

class QueueConsole : public QueueListener {
public:
    QueueConsole(MainController& controller, bool json) : controller_(controller), json_(json) {}

    void OrderStarted(const QueuedOrder& order) override {
        if (json_) {
            PrintJsonLine({{"event", "order-started"}, {"order", order.id}, {"address", WideToUtf8(order.address)}});
            return;
        }
        controller_.view().MainStatus(u"队列：开始第" + NumberText(static_cast<std::size_t>(order.id)) + u"号订单 " +
                                      order.address);
    }

    void OrderEnded(const QueuedOrder& order, const DownloadReport&) override {
        if (json_) {
            PrintJsonLine({{"event", "order-ended"},
                           {"order", order.id},
                           {"state", OrderStateName(order.state)},
                           {"albums", order.albumCount},
                           {"pictures", order.total},
                           {"done", order.done},
                           {"failed", order.failed},
                           {"note", WideToUtf8(order.note)}});
            return;
        }
        std::u16string line =
            u"队列：第" + NumberText(static_cast<std::size_t>(order.id)) + u"号订单" + OrderStateText(order.state);
        if (!order.note.empty()) line += u"：" + order.note;
        controller_.view().MainStatus(line);
    }

    void MemberStarted(const FollowedMember& member, std::size_t number, std::size_t count) override {
        if (json_) {
            PrintJsonLine({{"event", "member-started"},
                           {"member", number},
                           {"members", count},
                           {"address", WideToUtf8(member.address)}});
            return;
        }
        controller_.view().MainStatus(u"检查更新：第" + NumberText(number) + u"/" + NumberText(count) + u"个空间 " +
                                      member.address);
    }

    void MemberEnded(const FollowedMember& member, const SyncFinding& finding) override {
        if (!json_) return;  // the table at the end says it
        nlohmann::json line = {
            {"event", "member-ended"},        {"address", WideToUtf8(member.address)}, {"listRead", finding.listRead},
            {"newAlbums", finding.newAlbums}, {"newPictures", finding.newPictures},    {"failed", finding.failed},
            {"deleted", finding.deleted}};
        if (!finding.problem.empty()) line["problem"] = WideToUtf8(finding.problem);
        PrintJsonLine(line);
    }

private:
    MainController& controller_;
    const bool json_;
};

}  // namespace

std::unique_ptr<OrderQueue> OpenOrderQueue(const char* command) { return OpenStore<OrderQueue>(command); }
std::unique_ptr<FollowList> OpenFollowList(const char* command) { return OpenStore<FollowList>(command); }

void AddSaveOption(CLI::App& command, std::optional<std::string>& save, const char* help) {
    command.add_option("--save", save, help)->type_name("DIR")->check([](const std::string& value) {
        return value.empty() ? "--save needs a folder" : "";
    });
}

std::u16string ChosenSaveFolder(const std::optional<std::string>& save, const SettingsBlock& settings) {
    std::u16string folder = save ? Utf8ToWide(*save) : HistoryText(settings, HistoryKind::SaveFolder, 0);
    if (folder.empty()) folder = Utf8ToWide(DefaultSaveFolder().string());
    return folder;
}

int RunUnderRunnerLock(const char* command, const GlobalOptions& global, bool json,
                       const std::function<int(MainController&, QueueRunner&, RunConsole&)>& body) {
    InterruptWatch interrupts;  // before any thread starts
    RunConsole console(global, json);
    if (!console.LogWritable(command)) return kExitUsage;
    RunnerLock lock(ProgramFolder());
    if (lock.heldElsewhere()) {
        std::fprintf(stderr, "lumora-cli %s: %s\n", command, WideToUtf8(kOtherRunnerText).c_str());
        return kExitFailure;
    }
    MainController controller(console.view(), ProgramFolder());
    PrintSettingsProblem(controller.settingsStore());
    console.Attach(controller);
    QueueRunner runner(controller);
    StopActionScope stopAction(interrupts, [&runner] { runner.Stop(); });
    controller.SetReady();
    return interrupts.ExitStatus(body(controller, runner, console));
}

std::unique_ptr<QueueListener> MakeQueueConsole(MainController& controller, bool json) {
    return std::make_unique<QueueConsole>(controller, json);
}

}  // namespace lumora::cli
