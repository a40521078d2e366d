// Ctrl-C and SIGTERM act as the stop button: the first one asks the running
// work to stop (it then ends normally, with its summary), a second one ends
// the process at once, after removing the temporary files it was writing.
#pragma once

#include <atomic>
#include <functional>
#include <mutex>
#include <thread>

namespace lumora::cli {

class InterruptWatch {
public:
    // Blocks SIGINT and SIGTERM for this thread and every thread started
    // after it, so create it before anything starts a thread.
    InterruptWatch();
    ~InterruptWatch();
    InterruptWatch(const InterruptWatch&) = delete;
    InterruptWatch& operator=(const InterruptWatch&) = delete;

    // Called on the watcher thread after the first signal, and again every
    // tenth of a second while the watch lives, so a run that was just
    // starting is stopped too. It must only stop, never start, work.
    void SetStopAction(std::function<void()> action);
    // The first signal received, or 0.
    int signal() const { return signal_; }
    // 128 + the signal after one was received (130 for Ctrl-C, 143 for
    // SIGTERM), else `normal`.
    int ExitStatus(int normal) const { return signal_ ? 128 + signal_ : normal; }

private:
    void Watch();

    std::atomic<int> signal_{0};
    std::atomic<bool> done_{false};
    std::mutex actionMutex_;
    std::function<void()> action_;
    std::thread watcher_;
};

// Gives the watch a stop action for its own lifetime; declare it after the
// object the action uses, so the action goes first.
class StopActionScope {
public:
    StopActionScope(InterruptWatch& watch, std::function<void()> action) : watch_(watch) {
        watch_.SetStopAction(std::move(action));
    }
    ~StopActionScope() { watch_.SetStopAction({}); }
    StopActionScope(const StopActionScope&) = delete;
    StopActionScope& operator=(const StopActionScope&) = delete;

private:
    InterruptWatch& watch_;
};

}  // namespace lumora::cli
