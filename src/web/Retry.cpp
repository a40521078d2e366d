#include "web/Retry.h"

#include <curl/curl.h>

#include <algorithm>
#include <random>
#include <thread>

#include "text/StringCtrl.h"
#include "web/HeaderLines.h"

namespace lumora {
namespace {

using Clock = std::chrono::steady_clock;

std::int64_t NowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now().time_since_epoch()).count();
}

}  // namespace

void StopToken::Raise() {
    std::int64_t expected = 0;
    raisedAtMs_.compare_exchange_strong(expected, std::max<std::int64_t>(NowMs(), 1));
}

bool StopToken::Raised() const { return raisedAtMs_ != 0; }

bool StopToken::GraceOver(std::chrono::milliseconds grace) const {
    const std::int64_t at = raisedAtMs_;
    return at != 0 && NowMs() - at >= grace.count();
}

bool IsTransient(FetchError error, long httpStatus) {
    switch (error) {
    case FetchError::Connect:
    case FetchError::Incomplete:
    case FetchError::Timeout:
    case FetchError::TooSlow:
    case FetchError::BadResponse:
    case FetchError::CutPicture: return true;
    case FetchError::HttpStatus:
        return httpStatus == 408 || httpStatus == 429 || httpStatus == 500 || httpStatus == 502 || httpStatus == 503 ||
               httpStatus == 504;
    default: return false;
    }
}

std::optional<std::chrono::seconds> RetryAfter(const std::u16string& rawHeaders, std::time_t now) {
    const std::vector<std::string> values = HeaderValues(WideToUtf8(rawHeaders), "retry-after");
    const std::optional<std::string> value = values.empty() ? std::nullopt : std::optional(values.back());
    if (!value || value->empty()) return std::nullopt;
    if (std::all_of(value->begin(), value->end(), [](char c) { return c >= '0' && c <= '9'; })) {
        // Anything of more than 9 digits is beyond every cap anyway.
        if (value->size() > 9) return kMaxRetryAfter;
        return std::chrono::seconds(std::stol(*value));
    }
    const std::time_t at = curl_getdate(value->c_str(), nullptr);
    if (at == -1) return std::nullopt;
    return std::chrono::seconds(std::max<std::time_t>(at - now, 0));
}

std::chrono::milliseconds RetryWait(unsigned retry, const std::optional<std::chrono::seconds>& retryAfter) {
    if (retryAfter) return std::min<std::chrono::milliseconds>(*retryAfter, kMaxRetryAfter);
    const unsigned shift = std::min(retry, 7u) - 1;  // 1 s, 2 s, 4 s ... at most 64 s
    const double base = 1000.0 * static_cast<double>(1u << shift);
    thread_local std::mt19937 engine{std::random_device{}()};
    std::uniform_real_distribution<double> jitter(0.9, 1.1);
    return std::chrono::milliseconds(static_cast<long long>(base * jitter(engine)));
}

bool WaitUnlessStopped(std::chrono::milliseconds wait, const StopToken* stop) {
    // Short naps: a stop is seen within one of them.
    constexpr std::chrono::milliseconds kNap{20};
    const auto until = Clock::now() + wait;
    for (;;) {
        if (stop && stop->Raised()) return false;
        const auto now = Clock::now();
        if (now >= until) return true;
        std::this_thread::sleep_for(std::min<Clock::duration>(kNap, until - now));
    }
}

}  // namespace lumora
