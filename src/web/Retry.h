// Which failures are worth another attempt, how long to wait before it, and
// the stop that ends such waits.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

#include "web/Fetch.h"

namespace lumora {

// A server's Retry-After is honoured up to this long.
inline constexpr std::chrono::seconds kMaxRetryAfter{60};
// After a stop, running transfers get this long to end by themselves; with
// libcurl's progress calls at least once a second, they are gone within 2 s.
inline constexpr std::chrono::milliseconds kStopGrace{1000};

// Raised once by whoever stops a run; fetches of that run end their retry
// waits at once and abandon a running transfer after kStopGrace.
class StopToken {
public:
    void Raise();
    bool Raised() const;
    // Raised at least `grace` ago: a running transfer should give up now.
    bool GraceOver(std::chrono::milliseconds grace = kStopGrace) const;

private:
    // Steady-clock time of the first Raise in milliseconds; 0: not raised.
    std::atomic<std::int64_t> raisedAtMs_{0};
};

// A connection that failed or broke, a time-out, a body too slow or cut short, and the
// statuses that say "try later" (408, 429, 500, 502, 503, 504).
bool IsTransient(FetchError error, long httpStatus);

// Seconds of a Retry-After header in `rawHeaders` (a number of seconds or an
// HTTP date, taken relative to `now`), or nothing when there is none or it
// cannot be read. Never negative.
std::optional<std::chrono::seconds> RetryAfter(const std::u16string& rawHeaders, std::time_t now);

// The wait before retry number `retry` (1-based): about 1 s, 2 s, 4 s, ...
// with up to a tenth of jitter either way, or the server's Retry-After
// (capped at kMaxRetryAfter) when it gave one.
std::chrono::milliseconds RetryWait(unsigned retry, const std::optional<std::chrono::seconds>& retryAfter);

// Sleeps for `wait`, or less when `stop` is raised meanwhile. False when it
// ended because of the stop.
bool WaitUnlessStopped(std::chrono::milliseconds wait, const StopToken* stop);

}  // namespace lumora
