#include "cli/InterruptWatch.h"

#include <unistd.h>
#include <csignal>
#include <ctime>

#include "base/TempFileRegistry.h"

namespace lumora::cli {
namespace {

// Sent by the destructor: the watcher ends at once instead of at its next
// tick, which every command would otherwise wait for at its end.
constexpr int kWakeSignal = SIGUSR2;

sigset_t WatchedSignals() {
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    sigaddset(&signals, kWakeSignal);
    return signals;
}

}  // namespace

InterruptWatch::InterruptWatch() {
    const sigset_t signals = WatchedSignals();
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
    watcher_ = std::thread([this] { Watch(); });
}

InterruptWatch::~InterruptWatch() {
    done_ = true;
    pthread_kill(watcher_.native_handle(), kWakeSignal);
    watcher_.join();
}

void InterruptWatch::SetStopAction(std::function<void()> action) {
    std::lock_guard lock(actionMutex_);
    action_ = std::move(action);
}

void InterruptWatch::Watch() {
    const sigset_t signals = WatchedSignals();
    const timespec tick{0, 100 * 1000 * 1000};
    while (!done_) {
        const int received = sigtimedwait(&signals, nullptr, &tick);
        if (received == SIGINT || received == SIGTERM) {
            if (signal_ != 0) {
                // The second one: no waiting, but nothing half-written stays.
                RemoveRegisteredTempFiles();
                _exit(128 + signal_);
            }
            signal_ = received;
            static const char kNote[] = "\nlumora-cli: stopping (press Ctrl-C again to quit at once)\n";
            [[maybe_unused]] ssize_t written = write(STDERR_FILENO, kNote, sizeof kNote - 1);
        }
        if (signal_ != 0) {
            std::lock_guard lock(actionMutex_);
            if (action_) action_();
        }
    }
}

}  // namespace lumora::cli
