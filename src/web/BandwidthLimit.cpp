#include "web/BandwidthLimit.h"

#include <algorithm>
#include <thread>

#include "web/Retry.h"

namespace lumora {
namespace {

using Clock = std::chrono::steady_clock;

// Bytes may run ahead of the rate by this much time: one read's worth.
constexpr std::chrono::milliseconds kBurst{50};
// A wait re-checks the stop this often.
constexpr std::chrono::milliseconds kStopPoll{20};
// libcurl's smallest read buffer.
constexpr long kSmallestRead = 1024;

}  // namespace

BandwidthLimit& BandwidthLimit::Shared() {
    static BandwidthLimit limit;
    return limit;
}

void BandwidthLimit::SetRate(std::uint64_t bytesPerSecond) {
    std::lock_guard lock(mutex_);
    if (rate_ == bytesPerSecond) return;
    rate_ = bytesPerSecond;
    due_ = Clock::now();
}

std::uint64_t BandwidthLimit::Rate() const {
    std::lock_guard lock(mutex_);
    return rate_;
}

bool BandwidthLimit::Take(std::size_t bytes, const StopToken* stop, Clock::duration* waited) {
    Clock::time_point until;
    {
        std::lock_guard lock(mutex_);
        if (rate_ == 0) return true;
        const auto now = Clock::now();
        const auto length = std::chrono::duration_cast<Clock::duration>(
            std::chrono::duration<double>(static_cast<double>(bytes) / static_cast<double>(rate_)));
        due_ = std::max(due_, now) + length;
        until = due_ - kBurst;
    }
    const auto started = Clock::now();
    if (until <= started) return true;  // within the burst: no wait, and none to tell
    for (;;) {
        const auto now = Clock::now();
        if (now >= until) break;
        if (stop && stop->GraceOver()) return false;
        std::this_thread::sleep_for(std::min<Clock::duration>(kStopPoll, until - now));
    }
    if (waited) *waited = Clock::now() - started;
    return true;
}

long BandwidthLimit::ReadSize(long preferred) const {
    std::lock_guard lock(mutex_);
    if (rate_ == 0) return preferred;
    // A twentieth of a second's worth.
    return std::clamp(static_cast<long>(rate_ / 20), kSmallestRead, preferred);
}

}  // namespace lumora
