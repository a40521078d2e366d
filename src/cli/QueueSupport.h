// What `queue`, `follow` and `sync` share: the stores in the archive file,
// the save folder an order or member gets, and the run under the runner lock.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "app/QueueRunner.h"
#include "cli/Command.h"
#include "download/FollowList.h"
#include "download/OrderQueue.h"

namespace CLI {
class App;
}

namespace lumora {
class MainController;
struct SettingsBlock;
}  // namespace lumora

namespace lumora::cli {

class RunConsole;

// The store in the program folder's archive file; nothing, and why said on
// standard error ("lumora-cli COMMAND: 下载记录打不开：…"), when it cannot be used.
std::unique_ptr<OrderQueue> OpenOrderQueue(const char* command);
std::unique_ptr<FollowList> OpenFollowList(const char* command);

// --save DIR of the commands that save pictures.
void AddSaveOption(CLI::App& command, std::optional<std::string>& save, const char* help);
// --save as given, else the save folder used last, else ~/Documents/Lumora/.
std::u16string ChosenSaveFolder(const std::optional<std::string>& save, const SettingsBlock& settings);

// Runs `body` with a controller whose runs the console shows and a runner
// that Ctrl-C stops, under the runner lock: when another queue run or sync
// holds it, says "另一个下载正在进行" and returns 1. The status `body`
// returns, or 128 + the signal.
int RunUnderRunnerLock(const char* command, const GlobalOptions& global, bool json,
                       const std::function<int(MainController&, QueueRunner&, RunConsole&)>& body);

// Orders and members as they start and end: status lines, or JSON events
// ("order-started", "order-ended", "member-started", "member-ended").
std::unique_ptr<QueueListener> MakeQueueConsole(MainController& controller, bool json);

}  // namespace lumora::cli
