#include "web/HostGate.h"

#include <curl/curl.h>

#include <algorithm>
#include <utility>

#include "web/Retry.h"

namespace lumora {
namespace {

using Clock = std::chrono::steady_clock;

// Waits re-check the stop this often.
constexpr std::chrono::milliseconds kStopPoll{20};

}  // namespace

HostGate::Ticket& HostGate::Ticket::operator=(Ticket&& other) noexcept {
    if (this != &other) {
        Leave(HostAnswer::None);
        gate_ = std::exchange(other.gate_, nullptr);
        host_ = std::move(other.host_);
        wave_ = other.wave_;
    }
    return *this;
}

void HostGate::Ticket::Leave(HostAnswer answer, std::optional<std::chrono::seconds> retryAfter) {
    if (!gate_) return;
    std::exchange(gate_, nullptr)->Leave(host_, wave_, answer, retryAfter);
}

HostGate& HostGate::Shared() {
    static HostGate gate;
    return gate;
}

std::optional<HostGate::Ticket> HostGate::Enter(const std::string& host, const StopToken* stop) {
    std::vector<HostChange> changes;
    Ticket ticket;
    std::unique_lock lock(mutex_);
    for (;;) {
        if (stop && stop->Raised()) return std::nullopt;
        Host& state = hosts_[host];
        const auto now = Clock::now();
        const bool paused = now < state.pausedUntil;
        const bool full = state.limit > 0 && state.inFlight >= state.limit;
        const bool early = now < state.nextStart;
        if (!paused && !full && !early) {
            // A wave's refusals lower the limit one by one; the limit it
            // settled at is told once, when the host is asked again.
            if (state.pauseTold || state.limit != state.toldLimit) {
                const bool lower = state.limit != 0 && (state.toldLimit == 0 || state.limit < state.toldLimit);
                changes.push_back({host, lower, state.limit, {}});
                state.toldLimit = state.limit;
                state.pauseTold = false;
            }
            ++state.inFlight;
            state.nextStart = now + delay_;
            ticket.gate_ = this;
            ticket.host_ = host;
            ticket.wave_ = state.wave;
            break;
        }
        auto wake = now + kStopPoll;
        if (paused) wake = std::min(wake, state.pausedUntil);
        if (early) wake = std::min(wake, state.nextStart);
        changed_.wait_until(lock, wake);
    }
    Tell(changes, lock);
    return ticket;
}

void HostGate::Lower(Host& state, unsigned limit) {
    limit = std::max(limit, 1u);
    if (state.limit != 0 && limit >= state.limit) return;
    // A raise that the host refused: try that level less often.
    if (state.raisedSinceLowered) state.probeInterval = std::min(state.probeInterval * 2, kLongestProbeInterval);
    state.raisedSinceLowered = false;
    state.limit = limit;
    ++state.wave;  // what is in flight now was answered by this lowering
}

void HostGate::Leave(const std::string& host, std::uint64_t wave, HostAnswer answer,
                     std::optional<std::chrono::seconds> retryAfter) {
    std::vector<HostChange> changes;
    std::unique_lock lock(mutex_);
    Host& state = hosts_[host];
    --state.inFlight;
    const auto now = Clock::now();
    switch (answer) {
    case HostAnswer::RateLimited:
        state.failuresInRow = 0;
        state.lastComplaint = now;
        if (wave == state.wave) {
            // A new wave: the host took at most the others in flight.
            Lower(state, state.inFlight);
        } else {
            // One more of the wave refused: one fewer was taken.
            if (state.limit > 1) Lower(state, state.limit - 1);
        }
        break;
    case HostAnswer::Passing:
        if (++state.failuresInRow >= kFailuresInRow) {
            state.failuresInRow = 0;
            state.lastComplaint = now;
            const unsigned atOnce = state.limit ? std::min(state.limit, state.inFlight + 1) : state.inFlight + 1;
            Lower(state, atOnce / 2);
        }
        break;
    case HostAnswer::Clean:
        state.failuresInRow = 0;
        if (state.limit > 0 && now - state.lastComplaint >= state.probeInterval) {
            // A raise that held through its interval: the next comes sooner.
            if (state.raisedSinceLowered) state.probeInterval = std::max(state.probeInterval / 2, kFirstProbeInterval);
            state.raisedSinceLowered = true;
            state.lastComplaint = now;  // the interval starts again
            state.limit = state.limit + 1 >= kMostAtOnce ? 0 : state.limit + 1;
        }
        break;
    case HostAnswer::None: break;
    }
    std::chrono::seconds pause{0};
    if (retryAfter && *retryAfter > std::chrono::seconds(0)) {
        pause = std::min(*retryAfter, kMaxRetryAfter);
        state.pausedUntil = std::max(state.pausedUntil, now + pause);
    }
    // A pause is told as it begins; a changed limit when the host is asked again.
    if (pause.count() > 0 && !state.pauseTold) {
        state.pauseTold = true;
        state.toldLimit = state.limit;
        changes.push_back({host, true, state.limit, pause});
    }
    changed_.notify_all();
    Tell(changes, lock);
}

void HostGate::SetDelay(std::chrono::milliseconds delay) {
    std::lock_guard lock(mutex_);
    delay_ = delay;
}

unsigned HostGate::LimitOf(const std::string& host) const {
    std::lock_guard lock(mutex_);
    auto found = hosts_.find(host);
    return found == hosts_.end() ? 0 : found->second.limit;
}

unsigned HostGate::InFlight(const std::string& host) const {
    std::lock_guard lock(mutex_);
    auto found = hosts_.find(host);
    return found == hosts_.end() ? 0 : found->second.inFlight;
}

void HostGate::Forget() {
    std::lock_guard lock(mutex_);
    std::erase_if(hosts_, [](const auto& entry) { return entry.second.inFlight == 0; });
}

std::shared_ptr<void> HostGate::Watch(Listener listener) {
    auto held = std::make_shared<Listener>(std::move(listener));
    {
        std::lock_guard lock(listenersMutex_);
        listeners_.push_back(held);
    }
    return std::shared_ptr<void>(nullptr, [this, held](void*) {
        std::lock_guard lock(listenersMutex_);
        std::erase(listeners_, held);
    });
}

void HostGate::Tell(const std::vector<HostChange>& changes, std::unique_lock<std::mutex>& held) {
    if (changes.empty()) return;
    // Taken before the gate is let go, so that changes are told in the order they were made.
    std::lock_guard lock(listenersMutex_);
    held.unlock();
    for (const HostChange& change : changes) {
        for (const auto& listener : listeners_) (*listener)(change);
    }
}

std::string HostKeyOf(const std::string& url) {
    CURLU* parsed = curl_url();
    std::string key;
    if (curl_url_set(parsed, CURLUPART_URL, url.c_str(), 0) == CURLUE_OK) {
        char* host = nullptr;
        if (curl_url_get(parsed, CURLUPART_HOST, &host, 0) == CURLUE_OK) {
            key = host;
            curl_free(host);
            char* port = nullptr;
            if (curl_url_get(parsed, CURLUPART_PORT, &port, 0) == CURLUE_OK) {
                key += std::string(":") + port;
                curl_free(port);
            }
        }
    }
    curl_url_cleanup(parsed);
    std::transform(key.begin(), key.end(), key.begin(), [](unsigned char c) { return std::tolower(c); });
    return key;
}

}  // namespace lumora
