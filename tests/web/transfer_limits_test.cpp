// What the process asks of hosts together: how many transfers a host gets
// at once, its pauses, and one bandwidth limit over every transfer.
#include <atomic>
#include <chrono>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

#include "web/BandwidthLimit.h"
#include "web/HostGate.h"
#include "web/Retry.h"
#include "web_test_support.h"

namespace lumora::testing {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using testsite::Request;
using testsite::Response;

class TransferLimitsTest : public WebTest {
protected:
    void TearDown() override {
        HostGate::Shared().SetDelay(0ms);
        BandwidthLimit::Shared().SetRate(0);
        HostGate::Shared().Forget();
        WebTest::TearDown();
    }

    static bool Get(const std::string& url, unsigned retries = 0, std::string* body = nullptr) {
        FetchRequest request(Utf8ToWide(url), u"", 20000);
        request.retries = static_cast<std::uint8_t>(retries);
        request.retryDelaySeconds = 0;
        FetchResult result;
        const bool fetched = FetchPage(request, result, 0);
        if (body) *body = result.body;
        return fetched;
    }

    // Runs `fetch` on `threads` threads at once.
    static void OnThreads(unsigned threads, const std::function<void(unsigned)>& fetch) {
        std::vector<std::thread> running;
        for (unsigned t = 0; t < threads; ++t) running.emplace_back(fetch, t);
        for (std::thread& thread : running) thread.join();
    }

    // The host's changes as the gate told them.
    struct Changes {
        std::mutex mutex;
        std::vector<HostChange> seen;
        std::shared_ptr<void> watch = HostGate::Shared().Watch([this](const HostChange& change) {
            std::lock_guard lock(mutex);
            seen.push_back(change);
        });
    };

    static std::string Key(const testsite::TestSite& site) { return HostKeyOf(site.baseUrl()); }
};

// A host that refuses any request beyond three at once, as rate-limited
// sites do with 429: the process settles at what it takes, after one wave
// of refusals, and every picture still arrives. A host whose failures are
// isolated keeps its full share.
TEST_F(TransferLimitsTest, ARefusingHostSettlesAtWhatItTakesAndIsolatedFailuresChangeNothing) {
    std::atomic<int> active{0}, refused{0}, mostAtOnce{0};
    site_.route("", "/busy", [&](const Request&) {
        if (active >= 3) {
            ++refused;
            return Response::Status(429).Header("Retry-After", "1");
        }
        const int now = ++active;
        mostAtOnce = std::max(mostAtOnce.load(), now);
        std::this_thread::sleep_for(60ms);
        --active;
        return Response::Text("ok");
    });
    Changes changes;
    std::atomic<int> fetched{0};
    OnThreads(12, [&](unsigned) {
        for (int i = 0; i < 4; ++i) fetched += Get(site_.baseUrl() + "/busy", 6);
    });
    EXPECT_EQ(fetched, 48);
    const unsigned limit = HostGate::Shared().LimitOf(Key(site_));
    EXPECT_GE(limit, 2u) << "what it took, whatever order the wave arrived in";
    EXPECT_LE(limit, 3u);
    EXPECT_LE(refused, 15) << "the first wave's nine, and hardly more";
    {
        std::lock_guard lock(changes.mutex);
        ASSERT_FALSE(changes.seen.empty());
        EXPECT_EQ(changes.seen.front().host, Key(site_));
        EXPECT_TRUE(changes.seen.front().slowed);
        EXPECT_EQ(changes.seen.front().pause, 1s);
    }

    // Every fourth request fails, as the host happens to answer, but no fetch
    // twice: a fetch meets at most one failure, however the threads interleave.
    testsite::TestSite flaky;
    std::atomic<int> answered{0};
    std::mutex failedMutex;
    std::set<std::string> failedOnce;
    flaky.route("", "/flaky", [&](const Request& request) {
        const bool due = ++answered % 4 == 0;
        std::lock_guard lock(failedMutex);
        return due && failedOnce.insert(request.query).second ? Response::Status(503) : Response::Text("ok");
    });
    std::atomic<int> flakyFetched{0};
    OnThreads(8, [&](unsigned thread) {
        for (int i = 0; i < 5; ++i) {
            flakyFetched += Get(flaky.baseUrl() + "/flaky?" + std::to_string(thread * 5 + i), 3);
        }
    });
    EXPECT_EQ(flakyFetched, 40);
    EXPECT_EQ(HostGate::Shared().LimitOf(Key(flaky)), 0u);
}

// A Retry-After holds every new request to that host, not only the one that
// got it; a pause between requests spaces them out.
TEST_F(TransferLimitsTest, ARetryAfterPausesTheWholeHostAndTheDelaySpacesRequests) {
    std::atomic<int> busyAnswers{0};
    site_.route("", "/busy", [&](const Request&) {
        return busyAnswers++ == 0 ? Response::Status(503).Header("Retry-After", "2") : Response::Text("fine");
    });
    site_.route("", "/other", Response::Text("other"));
    Changes changes;
    std::thread first([&] { EXPECT_TRUE(Get(site_.baseUrl() + "/busy", 1)); });
    while (busyAnswers == 0) std::this_thread::sleep_for(5ms);
    std::this_thread::sleep_for(100ms);
    const auto asked = Clock::now();
    EXPECT_TRUE(Get(site_.baseUrl() + "/other"));
    EXPECT_GE(Clock::now() - asked, 1500ms) << "the other request waited for the host";
    first.join();
    {
        std::lock_guard lock(changes.mutex);
        ASSERT_EQ(changes.seen.size(), 2u);
        EXPECT_TRUE(changes.seen[0].slowed);
        EXPECT_EQ(changes.seen[0].pause, 2s);
        EXPECT_EQ(changes.seen[0].limit, 1u) << "refused with nothing else in flight: one at a time";
        EXPECT_FALSE(changes.seen[1].slowed);
        EXPECT_EQ(changes.seen[1].limit, 1u);
    }

    HostGate::Shared().SetDelay(300ms);
    const auto started = Clock::now();
    for (int i = 0; i < 4; ++i) EXPECT_TRUE(Get(site_.baseUrl() + "/other"));
    EXPECT_GE(Clock::now() - started, 900ms);
}

// One limit for all transfers together: neither one transfer nor fifteen
// beat it, and fifteen share it so that all of them move all the time.
TEST_F(TransferLimitsTest, OneTransferAndFifteenStayWithinTheLimitAndAllOfThemMove) {
    constexpr std::uint64_t kRate = 256 * 1024;
    BandwidthLimit::Shared().SetRate(kRate);
    site_.route("", "/big", Response::Text(std::string(512 * 1024, 'b'), "image/jpeg"));
    site_.route("", "/small", Response::Text(std::string(60 * 1024, 's'), "image/jpeg"));

    auto started = Clock::now();
    std::string body;
    EXPECT_TRUE(Get(site_.baseUrl() + "/big", 0, &body));
    EXPECT_EQ(body.size(), 512u * 1024);
    const double one = SecondsSince(started);
    EXPECT_GE(one, 512.0 / 256 * 0.87) << "a single transfer stays within the limit";
    EXPECT_LT(one, 20.0);

    std::vector<double> ends(15);
    started = Clock::now();
    OnThreads(15, [&](unsigned t) {
        std::string small;
        EXPECT_TRUE(Get(site_.baseUrl() + "/small", 0, &small));
        EXPECT_EQ(small.size(), 60u * 1024);
        ends[t] = SecondsSince(started);
    });
    const double all = SecondsSince(started);
    EXPECT_GE(all, 15 * 60.0 / 256 * 0.87) << "fifteen transfers share one limit";
    EXPECT_LT(all, 30.0);
    for (double end : ends) EXPECT_GE(end, all * 0.5) << "no transfer waits while others finish";

    // A body the limit never holds back is the server's slowness: a trickle still ends.
    Response trickle = Response::Text(std::string(10000, 't'));
    trickle.chunkSize = 20;
    trickle.chunkDelay = 200ms;
    site_.route("", "/trickle", trickle);
    FetchRequest request(Url("/trickle"), u"", 5000);
    request.lowSpeedSeconds = 2;
    FetchResult result;
    EXPECT_FALSE(FetchOnce(request, result, 0));
    EXPECT_EQ(result.error, FetchError::TooSlow);
}

}  // namespace
}  // namespace lumora::testing
