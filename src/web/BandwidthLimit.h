// One limit on the bytes a second that all transfers of the process receive
// together. libcurl's own limit is per transfer: fifteen transfers would
// take fifteen times the limit. Every body read takes its bytes here, and
// waits until the process is back within the rate.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <mutex>

namespace lumora {

class StopToken;

class BandwidthLimit {
public:
    BandwidthLimit() = default;
    // The process's limit, which every fetch passes.
    static BandwidthLimit& Shared();

    // Bytes a second; 0: no limit.
    void SetRate(std::uint64_t bytesPerSecond);
    std::uint64_t Rate() const;

    // Counts `bytes` just received and returns when the process's total is
    // back within the rate: reads queue for their turn in the order they
    // came, so every transfer keeps moving. The wait is true time spent
    // waiting, for the caller's slow-transfer rule. False when `stop` (may be
    // null) is past its grace meanwhile.
    bool Take(std::size_t bytes, const StopToken* stop, std::chrono::steady_clock::duration* waited = nullptr);

    // A read size that keeps each read a small share of a second's worth at
    // the current rate, so that no one read holds the others' turns long.
    long ReadSize(long preferred) const;

private:
    mutable std::mutex mutex_;
    std::uint64_t rate_ = 0;
    // When the bytes taken so far are all due at the rate.
    std::chrono::steady_clock::time_point due_{};
};

}  // namespace lumora
