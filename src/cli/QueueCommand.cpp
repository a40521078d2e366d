// lumora-cli queue: orders kept in the archive file and run one after the other.
#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>
#include <optional>

#include "app/MainController.h"
#include "app/RunnerLock.h"
#include "app/SiteTable.h"
#include "base/FailureText.h"
#include "cli/AddressCheck.h"
#include "cli/AlbumSelection.h"
#include "cli/Command.h"
#include "cli/ConsoleView.h"
#include "cli/InterruptWatch.h"
#include "cli/Output.h"
#include "cli/QueueSupport.h"
#include "cli/RunConsole.h"
#include "settings/SettingsFile.h"
#include "settings/SettingsStore.h"
#include "text/Format.h"
#include "text/StringCtrl.h"

namespace lumora::cli {
namespace {

std::u16string AlbumsText(const QueuedOrder& order) {
    return order.albums.empty() ? u"全部相册" : NumberText(order.albums.size()) + u"个相册";
}

// An order a killed run left "下载中" is not running when nobody holds the runner lock.
OrderState ShownState(const QueuedOrder& order, bool runnerActive) {
    if (order.state == OrderState::Running && !runnerActive) return OrderState::Waiting;
    return order.state;
}

class QueueCommand : public Command {
public:
    explicit QueueCommand(CLI::App& parent)
        : Command(parent.add_subcommand("queue", "keep orders in a queue that survives a restart, and run them")) {
        app_->require_subcommand(1);
        add_ = app_->add_subcommand("add", "put a member's albums into the queue instead of downloading them now");
        add_->add_option("ADDRESS", address_, "the member's album-space address (http:// or https://)")
            ->required()
            ->check(WebAddressValidator());
        add_->add_option("--albums", albums_,
                         "which albums: all (the default, read when the order runs), or numbers and ranges "
                         "as 1,3-5 of the list as it is now")
            ->type_name("all|N,N-M");
        AddSaveOption(*add_, save_, "the folder to save into (default: the last one used)");
        list_ =
            app_->add_subcommand("list", "show the orders: number, space, albums, folder, state, done/total, failed");
        list_->add_flag("--json", json_, "print the orders as one JSON document");
        run_ = app_->add_subcommand("run", "run the waiting orders one after the other (as download does)");
        AddJsonEventsFlag(*run_, json_);
        run_->add_flag("--again", again_, "also run the orders that ended with failures (有失败) again");
        remove_ = app_->add_subcommand("remove", "take an order out of the queue");
        remove_->add_option("N", number_, "the order's number, as queue list shows it")->required();
        clear_ = app_->add_subcommand("clear", "take every order out of the queue");
        clear_->add_flag("--done", doneOnly_, "only the finished ones (完成)");
        for (CLI::App* sub : {add_, list_, run_, remove_, clear_}) {
            sub->fallthrough();
            sub->set_help_flag("-h,--help", "print this command's help and exit");
        }
    }

    int Run(const GlobalOptions& global) override {
        if (run_->parsed()) return RunQueue(global);
        std::unique_ptr<OrderQueue> queue = OpenOrderQueue(Name());
        if (!queue) return kExitFailure;
        if (add_->parsed()) return Add(global, *queue);
        if (list_->parsed()) return List(*queue);
        if (remove_->parsed()) return Remove(*queue);
        return Clear(*queue);
    }

private:
    const char* Name() const {
        for (const CLI::App* sub : {add_, list_, run_, remove_, clear_}) {
            if (sub->parsed()) names_ = "queue " + sub->get_name();
        }
        return names_.c_str();
    }

    int Add(const GlobalOptions& global, OrderQueue& queue) {
        const std::u16string address(TrimBlanks(Utf8ToWide(address_), kAddressBlanks));
        QueuedOrder order;
        order.address = address;
        SettingsStore settings(ProgramFolder(), PrintSettingsMessage);
        order.saveFolder = ChosenSaveFolder(save_, settings.block());
        if (albums_ != "all") {
            // Numbers are of the list as it is now: its albums are kept by address.
            InterruptWatch interrupts;
            ConsoleView view(ChooseStatusStyle(global.quiet));
            MainController controller(view, ProgramFolder());
            StopActionScope stopAction(interrupts, [&controller] { controller.StopRuns(); });
            controller.SetReady();
            controller.GetAlbums({address, SiteOfAddress(address)});
            controller.WaitForGetAlbums();
            view.Flush();
            if (interrupts.signal()) return interrupts.ExitStatus(kExitFailure);
            const std::vector<ST_PERLISTRECORD> albums = controller.session().albums.all();
            auto picked = ParseAlbumSelection(albums_, albums.size());
            if (!picked) {
                return UsageError(Name(), "bad album selection '" + albums_ + "' (" + std::to_string(albums.size()) +
                                              " albums found)");
            }
            if (picked->empty()) {
                view.PrintStatusIfQuiet();
                std::fprintf(stderr, "lumora-cli %s: no album to queue\n", Name());
                return kExitFailure;
            }
            for (std::size_t position : *picked)
                order.albums.push_back({albums[position].address, albums[position].title});
            order.spaceName = controller.session().spaceName;
            while (!order.spaceName.empty() && order.spaceName.back() == u'/') order.spaceName.pop_back();
        }
        Result<std::int64_t> id = queue.Add(order);
        if (!id) {
            std::fprintf(stderr, "lumora-cli %s: 无法加入队列：%s\n", Name(),
                         WideToUtf8(FailureText(id.failure())).c_str());
            return kExitFailure;
        }
        PrintRow(
            {u"已加入队列", NumberText(static_cast<std::size_t>(*id)), address, AlbumsText(order), order.saveFolder});
        return 0;
    }

    int List(OrderQueue& queue) {
        Result<std::vector<QueuedOrder>> orders = queue.Orders();
        if (!orders) {
            std::fprintf(stderr, "lumora-cli %s: 无法读取队列：%s\n", Name(),
                         WideToUtf8(FailureText(orders.failure())).c_str());
            return kExitFailure;
        }
        const bool runnerActive = RunnerLock::IsHeld(ProgramFolder());
        if (json_) {
            nlohmann::json out = nlohmann::json::array();
            for (const QueuedOrder& order : *orders) {
                nlohmann::json albums = nlohmann::json::array();
                for (const QueuedAlbum& album : order.albums) {
                    albums.push_back({{"address", WideToUtf8(album.address)}, {"title", WideToUtf8(album.title)}});
                }
                out.push_back({{"number", order.id},
                               {"address", WideToUtf8(order.address)},
                               {"spaceName", WideToUtf8(order.spaceName)},
                               {"albums", order.albums.empty() ? nlohmann::json("all") : albums},
                               {"saveFolder", WideToUtf8(order.saveFolder)},
                               {"state", OrderStateName(ShownState(order, runnerActive))},
                               {"albumCount", order.albumCount},
                               {"pictures", order.total},
                               {"done", order.done},
                               {"failed", order.failed},
                               {"note", WideToUtf8(order.note)},
                               {"addedAt", order.addedAt}});
            }
            PrintJsonDocument(out);
            return 0;
        }
        for (const QueuedOrder& order : *orders) {
            PrintRow({NumberText(static_cast<std::size_t>(order.id)),
                      order.spaceName.empty() ? order.address : order.spaceName, AlbumsText(order), order.saveFolder,
                      OrderStateText(ShownState(order, runnerActive)),
                      NumberText(order.done) + u"/" + NumberText(order.total),
                      u"失败" + NumberText(order.failed) + u"张", order.note});
        }
        return 0;
    }

    int Remove(OrderQueue& queue) {
        Result<bool> removed = queue.Remove(number_);
        if (!removed) {
            std::fprintf(stderr, "lumora-cli %s: %s\n", Name(), WideToUtf8(FailureText(removed.failure())).c_str());
            return kExitFailure;
        }
        if (!*removed) {
            std::fprintf(stderr, "lumora-cli %s: 队列中没有第%lld号订单\n", Name(), static_cast<long long>(number_));
            return kExitFailure;
        }
        return 0;
    }

    int Clear(OrderQueue& queue) {
        Result<std::size_t> removed = queue.Clear(doneOnly_);
        if (!removed) {
            std::fprintf(stderr, "lumora-cli %s: %s\n", Name(), WideToUtf8(FailureText(removed.failure())).c_str());
            return kExitFailure;
        }
        PrintLine(stdout, u"已移除" + NumberText(*removed) + u"个订单");
        return 0;
    }

    int RunQueue(const GlobalOptions& global) {
        std::unique_ptr<OrderQueue> queue = OpenOrderQueue(Name());
        if (!queue) return kExitFailure;
        return RunUnderRunnerLock(Name(), global, json_,
                                  [&](MainController& controller, QueueRunner& runner, RunConsole& console) {
                                      return RunOrders(*queue, controller, runner, console);
                                  });
    }

    int RunOrders(OrderQueue& queue, MainController& controller, QueueRunner& runner, RunConsole& console) {
        if (!queue.NextRunnable({}, again_)) {
            PrintLine(stderr, u"队列中没有等待的订单");
            return 0;
        }
        std::unique_ptr<QueueListener> shown = MakeQueueConsole(controller, json_);
        const QueueRunReport report = runner.RunQueue(queue, *shown, again_);
        if (!report.storeProblem.empty()) PrintLine(stderr, u"无法写入队列：" + report.storeProblem);
        const int status = console.Finish(report.combined);
        // Then each order's end: also one that never reached a download says why.
        for (const QueuedOrder& order : report.orders) {
            if (json_) break;
            PrintRow({u"第" + NumberText(static_cast<std::size_t>(order.id)) + u"号订单",
                      order.spaceName.empty() ? order.address : order.spaceName, OrderStateText(order.state),
                      NumberText(order.done) + u"/" + NumberText(order.total), order.note});
        }
        return report.Complete() && status == 0 ? 0 : kExitFailure;
    }

    CLI::App* add_ = nullptr;
    CLI::App* list_ = nullptr;
    CLI::App* run_ = nullptr;
    CLI::App* remove_ = nullptr;
    CLI::App* clear_ = nullptr;
    mutable std::string names_;
    std::string address_;
    std::string albums_ = "all";
    std::optional<std::string> save_;
    std::int64_t number_ = 0;
    bool doneOnly_ = false;
    bool again_ = false;
    bool json_ = false;
};

}  // namespace

std::unique_ptr<Command> AddQueueCommand(CLI::App& parent) { return std::make_unique<QueueCommand>(parent); }

}  // namespace lumora::cli
