// Retries of transient failures against a real loopback server: which
// failures are tried again, the waits between them, and a stop that ends them.
#include <atomic>
#include <chrono>
#include <thread>

#include "web/HostGate.h"
#include "web/Retry.h"
#include "web_test_support.h"

namespace lumora::testing {
namespace {

using testsite::Request;
using testsite::Response;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

class RetryTest : public WebTest {
protected:
    // Answers `first` to the first request of `path`, then "fine".
    void FailOnce(const std::string& path, Response first) {
        auto seen = std::make_shared<std::atomic<int>>(0);
        site_.route("", path,
                    [first, seen](const Request&) { return (*seen)++ == 0 ? first : Response::Text("fine"); });
    }

    FetchResult Fetch(const std::string& path, unsigned retries, std::uint32_t timeoutMs = 5000) {
        FetchRequest request(Url(path), u"", timeoutMs);
        request.retries = static_cast<std::uint8_t>(retries);
        request.retryDelaySeconds = 0;
        FetchResult result;
        FetchPage(request, result, 0);
        return result;
    }
};

TEST_F(RetryTest, EachTransientKindIsTriedAgainAndThenSucceeds) {
    FailOnce("/503", Response::Status(503));
    FailOnce("/408", Response::Status(408));
    FailOnce("/429", Response::Status(429));
    FailOnce("/502", Response::Status(502));
    Response cut = Response::Text(std::string(4000, 'x'));
    cut.dropAfterBytes = 1000;
    FailOnce("/cut", cut);
    Response silent = Response::Text("late");
    silent.delayBeforeHeaders = 3s;  // beyond the step time-out below
    FailOnce("/silent", silent);

    for (const char* path : {"/503", "/408", "/429", "/502", "/cut", "/silent"}) {
        SCOPED_TRACE(path);
        const FetchResult result = Fetch(path, 3, 1000);
        EXPECT_EQ(result.error, FetchError::None);
        EXPECT_EQ(result.body, "fine");
        EXPECT_EQ(site_.requestCount(path), 2u);
    }
}

TEST_F(RetryTest, LastingAndLocalFailuresAreNotRetried) {
    site_.route("", "/404", Response::Status(404));
    site_.route("", "/always-503", Response::Status(503));
    EXPECT_EQ(Fetch("/404", 3).error, FetchError::HttpStatus);
    EXPECT_EQ(site_.requestCount("/404"), 1u);

    // No retries asked for: one transaction, as before.
    EXPECT_EQ(Fetch("/always-503", 0).httpStatus, 503);
    EXPECT_EQ(site_.requestCount("/always-503"), 1u);

    // A file that cannot be written is not the server's fault.
    site_.route("", "/good", Response::Text("fine"));
    FetchRequest request(Url("/good"), u"/nonexistent-folder/x.jpg", 5000);
    request.retries = 3;
    request.retryDelaySeconds = 0;
    FetchResult result;
    EXPECT_FALSE(FetchPage(request, result, 0));
    EXPECT_EQ(result.error, FetchError::WriteFile);
    EXPECT_EQ(site_.requestCount("/good"), 1u);
}

TEST_F(RetryTest, RetryAfterIsHonouredAndCapped) {
    const std::time_t now = 1'700'000'000;
    EXPECT_EQ(RetryAfter(u"HTTP/1.1 503 x\r\nRetry-After: 7\r\n\r\n", now), std::chrono::seconds(7));
    EXPECT_EQ(RetryAfter(u"HTTP/1.1 503 x\r\nretry-after:  Tue, 14 Nov 2023 22:13:40 GMT\r\n\r\n", now),
              std::chrono::seconds(20));
    EXPECT_EQ(RetryAfter(u"HTTP/1.1 503 x\r\nRetry-After: soon\r\n\r\n", now), std::nullopt);
    EXPECT_EQ(RetryAfter(u"HTTP/1.1 503 x\r\n\r\n", now), std::nullopt);
    EXPECT_EQ(RetryWait(1, std::chrono::seconds(3600)), kMaxRetryAfter);
    // Without one: about 1 s, 2 s, 4 s.
    for (unsigned retry : {1u, 2u, 3u}) {
        const auto wait = RetryWait(retry, std::nullopt).count();
        const long expected = 1000L << (retry - 1);
        EXPECT_GE(wait, expected * 9 / 10);
        EXPECT_LE(wait, expected * 11 / 10);
    }

    // The server asks for 2 s: the retry does not come earlier.
    FailOnce("/busy", Response::Status(429).Header("Retry-After", "2"));
    const auto started = Clock::now();
    EXPECT_EQ(Fetch("/busy", 1).body, "fine");
    EXPECT_GE(Clock::now() - started, 2s);
}

TEST_F(RetryTest, AStopEndsTheWaitAndAbandonsTheTransfer) {
    site_.route("", "/later", Response::Status(503).Header("Retry-After", "60"));
    Response stalled = Response::Text(std::string(4000, 'x'));
    stalled.stallAfterBytes = 100;
    stalled.stallFor = 60s;
    site_.route("", "/stalled", stalled);

    // The stalled one first: the Retry-After pauses the whole host.
    for (const char* path : {"/stalled", "/later"}) {
        SCOPED_TRACE(path);
        auto stop = std::make_shared<StopToken>();
        FetchRequest request(Url(path), u"", 60000);
        request.retries = 3;
        request.stop = stop;
        std::thread stopper([stop] {
            std::this_thread::sleep_for(300ms);
            stop->Raise();
        });
        FetchResult result;
        const auto started = Clock::now();
        EXPECT_FALSE(FetchPage(request, result, 0));
        stopper.join();
        // Ended by the stop, not by the 60 s the server asked for or stalled.
        EXPECT_LT(Clock::now() - started, 10s);
        EXPECT_EQ(site_.requestCount(path), 1u);
    }
    HostGate::Shared().Forget();  // a later site on the same port must not wait the 60 s
}

}  // namespace
}  // namespace lumora::testing
