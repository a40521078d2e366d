// At most one queue run or sync per program folder at a time: an advisory
// lock on "runner.lock" there, held while the run goes and let go by the
// system when the process ends, also by a kill.
#pragma once

#include <filesystem>

namespace lumora {

inline constexpr char16_t kOtherRunnerText[] = u"另一个下载正在进行";

class RunnerLock {
public:
    // Takes the lock if nobody holds it; never waits.
    explicit RunnerLock(const std::filesystem::path& programFolder);
    ~RunnerLock();
    RunnerLock(const RunnerLock&) = delete;
    RunnerLock& operator=(const RunnerLock&) = delete;

    // Another process (or another lock of this one) holds it.
    bool heldElsewhere() const { return heldElsewhere_; }

    // Whether someone holds it now, found out without taking it (so that
    // looking never keeps a runner from starting).
    static bool IsHeld(const std::filesystem::path& programFolder);

private:
    int fd_ = -1;
    bool heldElsewhere_ = false;
};

}  // namespace lumora
