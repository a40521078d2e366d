// How many transfers each host gets at once, and when it may be asked again.
// Fifteen workers that each back off alone keep a rate-limiting host busy
// with refusals; here the whole process backs off from a host together.
//
// A host starts without a limit of its own (the thread setting bounds it).
// A refusal (429, or a 503 with Retry-After) limits it to what it took
// without complaint: the first refusal of a wave to the others in flight,
// each further refusal of a request of that wave to one fewer. Counting the
// wave's refusals, not the refused request's place, does not depend on the
// order in which the host saw requests that went out together.
// Five passing failures in a row halve what is in flight. An isolated 503 or
// a cut connection among clean answers changes nothing. A limited host gets
// one more after a quiet interval (10 s at first); a raise that is refused
// doubles the interval (up to 320 s), one that holds halves it again, so a
// level the host refuses only rarely is tried now and then. A Retry-After
// pauses every new request to the host until it has passed (at most 60 s).
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace lumora {

class StopToken;

// A host's limit went down or its requests were paused (slowed), or its
// limit went up or its pause ended (resumed).
struct HostChange {
    std::string host;  // "img.example.com" or "127.0.0.1:8080"
    bool slowed = true;
    unsigned limit = 0;             // transfers it gets at once now; 0: no limit of its own
    std::chrono::seconds pause{0};  // slowed by a Retry-After: new requests wait this long
};

// What a host's answer says about its load.
enum class HostAnswer {
    Clean,        // an answer that is no passing failure (also a 404)
    Passing,      // a passing failure: a cut, a time-out, a 5xx without Retry-After
    RateLimited,  // 429, or 503 with Retry-After
    None,         // no verdict: the transfer was abandoned
};

class HostGate {
public:
    static constexpr unsigned kMostAtOnce = 15;  // the largest thread setting
    static constexpr unsigned kFailuresInRow = 5;
    static constexpr std::chrono::seconds kFirstProbeInterval{10};
    static constexpr std::chrono::seconds kLongestProbeInterval{320};

    // One transfer's place at its host; leaving it unsaid counts as None.
    class Ticket {
    public:
        Ticket() = default;
        Ticket(Ticket&& other) noexcept { *this = std::move(other); }
        Ticket& operator=(Ticket&& other) noexcept;
        ~Ticket() { Leave(HostAnswer::None); }
        // Once; `retryAfter` is the answer's Retry-After, if it had one.
        void Leave(HostAnswer answer, std::optional<std::chrono::seconds> retryAfter = std::nullopt);

    private:
        friend class HostGate;
        HostGate* gate_ = nullptr;
        std::string host_;
        std::uint64_t wave_ = 0;  // the host's wave when it started
    };

    HostGate() = default;
    // The process's gate, which every fetch passes.
    static HostGate& Shared();

    // Waits until `host` may be asked: its pause has passed, it is below its
    // limit and the delay since its last request is over. Nothing when
    // `stop` (may be null) was raised first.
    std::optional<Ticket> Enter(const std::string& host, const StopToken* stop);

    // The least time between the starts of two requests to one host.
    void SetDelay(std::chrono::milliseconds delay);
    // 0: no limit of its own.
    unsigned LimitOf(const std::string& host) const;
    unsigned InFlight(const std::string& host) const;
    // Forgets every host's limit and pause (for tests, whose sites reuse ports).
    void Forget();

    using Listener = std::function<void(const HostChange&)>;
    // Told of every change, on the thread of the transfer that caused it,
    // until the returned handle goes.
    std::shared_ptr<void> Watch(Listener listener);

private:
    struct Host {
        unsigned inFlight = 0;
        // Requests that started before the last lowering belong to the wave
        // it answered; a refusal of a later one starts a new wave.
        std::uint64_t wave = 0;
        unsigned limit = 0;
        unsigned failuresInRow = 0;
        std::chrono::steady_clock::time_point pausedUntil{};
        bool pauseTold = false;  // a pause was told, its end not yet
        unsigned toldLimit = 0;  // the limit the listeners know
        std::chrono::steady_clock::time_point nextStart{};
        std::chrono::steady_clock::time_point lastComplaint{};
        std::chrono::seconds probeInterval = kFirstProbeInterval;
        bool raisedSinceLowered = false;
    };

    void Leave(const std::string& host, std::uint64_t wave, HostAnswer answer,
               std::optional<std::chrono::seconds> retryAfter);
    // Lowers the limit to `limit` (at least 1) when that is lower.
    static void Lower(Host& state, unsigned limit);
    // Tells the listeners, letting `held` (the gate's lock) go first.
    void Tell(const std::vector<HostChange>& changes, std::unique_lock<std::mutex>& held);

    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::map<std::string, Host> hosts_;
    std::chrono::milliseconds delay_{0};

    std::mutex listenersMutex_;  // held while listeners are told, so a handle that goes waits for them
    std::vector<std::shared_ptr<Listener>> listeners_;
};

// The host and port of a web address as the gate keys it ("example.com",
// "127.0.0.1:8080"), or empty when it has none.
std::string HostKeyOf(const std::string& url);

}  // namespace lumora
