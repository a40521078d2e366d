// The page fetcher against a real loopback server: attempts, size window,
// streaming cut, time-outs, request bodies, status handling and parallel use.
#include <atomic>
#include <thread>
#include <vector>

#include "web/Retry.h"
#include "web_test_support.h"

namespace lumora::testing {
namespace {

using testsite::Request;
using testsite::Response;
using namespace std::chrono_literals;

class FetchTest : public WebTest {};

TEST_F(FetchTest, AttemptsAndAcceptance) {
    site_.route("", "/hundred", Response::Text(std::string(100, 'x')));
    site_.route("", "/ok", Response::Text("fine"));
    site_.route("", "/error-page", Response::Text("<html>Access denied</html>"));

    {  // No attempt allowed: nothing is requested.
        FetchRequest request(Url("/ok"), u"", 5000);
        request.attempts = 0;
        FetchResult result;
        EXPECT_FALSE(FetchPage(request, result, 0));
        EXPECT_EQ(site_.requestCount("/ok"), 0u);
    }
    {  // Without tests the first successful transaction is taken.
        FetchRequest request(Url("/ok"), u"", 5000);
        FetchResult result;
        EXPECT_TRUE(FetchPage(request, result, 0));
        EXPECT_EQ(result.body, "fine");
        EXPECT_EQ(result.httpStatus, 200);
    }
    {  // The body must be strictly longer than the minimum length; each attempt is made.
        FetchRequest request(Url("/hundred"), u"", 5000);
        request.minLength = 100;
        request.attempts = 3;
        request.retryDelaySeconds = 0;
        FetchResult result;
        EXPECT_FALSE(FetchPage(request, result, 0));
        EXPECT_EQ(site_.requestCount("/hundred"), 3u);
        EXPECT_EQ(result.error, FetchError::Rejected);
        EXPECT_EQ(result.body.size(), 100u);  // what the last transaction left
        request.minLength = 99;
        EXPECT_TRUE(FetchPage(request, result, 0));
    }
    {  // Error marker rejects the body.
        FetchRequest request(Url("/error-page"), u"", 5000);
        request.errorMarker = "Access denied";
        request.retryDelaySeconds = 0;
        FetchResult result;
        EXPECT_FALSE(FetchPage(request, result, 0));
    }
}

TEST_F(FetchTest, FailedAttemptIsFollowedByTheRetryPause) {
    site_.route("", "/missing", Response::Status(404));
    FetchRequest request(Url("/missing"), u"", 5000);
    FetchResult result;
    auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(FetchPage(request, result, 0));
    EXPECT_GE(SecondsSince(start), 0.95);
    EXPECT_EQ(result.error, FetchError::HttpStatus);
    EXPECT_EQ(result.httpStatus, 404);
}

TEST_F(FetchTest, AnnouncedLengthOutsideTheWindowFailsBeforeTheBody) {
    Response answer = Response::Text(std::string(2048, 'p'));
    site_.route("", "/small", answer);
    FetchRequest request(Url("/small"), WidePath("small.jpg"), 5000);
    request.minSizeKB = 3;
    FetchResult result;
    EXPECT_FALSE(FetchOnce(request, result, 0));
    EXPECT_EQ(result.error, FetchError::SizeWindow);
    EXPECT_TRUE(result.body.empty());
    EXPECT_FALSE(std::filesystem::exists(Path("small.jpg")));

    request.minSizeKB = 2;  // 2048 bytes is exactly 2 KB: inside; no upper limit with 0
    EXPECT_TRUE(FetchOnce(request, result, 0));
    EXPECT_EQ(ReadFile(Path("small.jpg")).size(), 2048u);
}

TEST_F(FetchTest, MaximumSizeStopsTheTransferMidStream) {
    Response answer = Response::Text(std::string(400 * 1024, 'q'));
    answer.announceLength = false;
    answer.chunkSize = 32 * 1024;
    answer.chunkDelay = 20ms;
    site_.route("", "/big", answer);
    FetchRequest request(Url("/big"), u"", 5000);
    request.maxSizeKB = 100;
    FetchResult result;
    EXPECT_FALSE(FetchOnce(request, result, 0));
    EXPECT_EQ(result.error, FetchError::SizeWindow);
    // Counted up to the piece that crossed the limit, which is not kept.
    EXPECT_GT(result.bodySize, 100u * 1024);
    EXPECT_LE(result.bodySize, 100u * 1024 + 32 * 1024);
    EXPECT_LE(result.body.size(), 100u * 1024);
}

TEST_F(FetchTest, StreamingCutKeepsTextBetweenMarkers) {
    site_.route("", "/twice", Response::Text("head<B>one<B>two<E>tail"));
    FetchRequest request(Url("/twice"), u"", 5000);
    request.beginMarker = "<B>";
    request.endMarker = "<E>";
    FetchResult result;
    ASSERT_TRUE(FetchOnce(request, result, 0));
    EXPECT_EQ(result.body, "two");
    EXPECT_EQ(result.beginMarker, "<B>");

    // Markers split across chunks are still found.
    Response split = Response::Text("xx<B>keep<E>rest");
    split.chunkSize = 3;
    split.chunkDelay = 5ms;
    site_.route("", "/split", split);
    request.url = Url("/split");
    ASSERT_TRUE(FetchOnce(request, result, 0));
    EXPECT_EQ(result.body, "keep");
}

TEST_F(FetchTest, EndMarkerStopsReading) {
    Response answer = Response::Text("wanted<E>" + std::string(1000, 'z'));
    answer.stallAfterBytes = 20;
    answer.stallFor = 10s;
    site_.route("", "/stall-after-marker", answer);
    FetchRequest request(Url("/stall-after-marker"), u"", 20000);
    request.endMarker = "<E>";
    FetchResult result;
    auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(FetchOnce(request, result, 0));
    EXPECT_EQ(result.body, "wanted");
    EXPECT_LT(SecondsSince(start), 5.0);  // did not wait for the stalled rest
}

TEST_F(FetchTest, CompressedOrSavedBodiesAreNeverCutWhileStreaming) {
    const std::string page = "a<B>b<E>c";
    Response gzip = Response::Text(page).Header("Content-Encoding", "gzip");
    gzip.encoding = testsite::BodyEncoding::Gzip;
    site_.route("", "/gz", gzip);
    site_.route("", "/plain", Response::Text(page));

    FetchRequest request(Url("/gz"), u"", 5000);
    request.beginMarker = "<B>";
    request.endMarker = "<E>";
    FetchResult result;
    ASSERT_TRUE(FetchOnce(request, result, 0));
    EXPECT_TRUE(result.compressed);
    EXPECT_EQ(result.body, testsite::GzipCompress(page));

    request.url = Url("/plain");
    request.savePath = WidePath("page.html");
    ASSERT_TRUE(FetchOnce(request, result, 0));
    EXPECT_EQ(result.bodySize, page.size());  // on disk, uncut, not held in memory
    EXPECT_EQ(ReadFile(Path("page.html")), page);
}

TEST_F(FetchTest, StatusAndHeaders) {
    site_.route("", "/gone", Response::Status(404, "not here"));
    site_.route("", "/hop", Response::Redirect("/final"));
    site_.route("", "/final", Response::Text("arrived").Header("X-Note", "gzip-free"));

    FetchRequest request(Url("/gone"), WidePath("gone.jpg"), 5000);
    FetchResult result;
    EXPECT_FALSE(FetchOnce(request, result, 0));
    EXPECT_EQ(result.httpStatus, 404);
    EXPECT_FALSE(std::filesystem::exists(Path("gone.jpg")));

    // Redirects are followed; the raw headers are the final response's, and
    // "gzip" anywhere in them marks the body compressed.
    request = FetchRequest(Url("/hop"), u"", 5000);
    ASSERT_TRUE(FetchOnce(request, result, 0));
    EXPECT_EQ(result.body, "arrived");
    EXPECT_TRUE(result.rawHeaders.starts_with(u"HTTP/1.1 200"));
    EXPECT_NE(result.rawHeaders.find(u"X-Note: gzip-free\r\n"), std::u16string::npos);
    EXPECT_TRUE(result.rawHeaders.ends_with(u"\r\n\r\n"));
    EXPECT_TRUE(result.compressed);

    request.url = u"ftp://127.0.0.1/file";
    EXPECT_FALSE(FetchOnce(request, result, 0));
    EXPECT_EQ(result.error, FetchError::BadAddress);
    request.url = u"";
    EXPECT_FALSE(FetchOnce(request, result, 0));
}

TEST_F(FetchTest, RedirectLoopFails) {
    site_.route("", "/loop", Response::Redirect("/loop"));
    FetchRequest request(Url("/loop"), WidePath("loop.jpg"), 5000);
    FetchResult result;
    EXPECT_FALSE(FetchOnce(request, result, 0));
    EXPECT_LE(site_.requestCount("/loop"), 11u);
    EXPECT_FALSE(std::filesystem::exists(Path("loop.jpg")));
}

TEST_F(FetchTest, TimeOuts) {
    Response stalled = Response::Text(std::string(5000, 's'));
    stalled.stallAfterBytes = 1000;
    stalled.stallFor = 30s;
    site_.route("", "/stall", stalled);
    Response late = Response::Text("late");
    late.delayBeforeHeaders = 30s;
    site_.route("", "/late", late);
    Response steady = Response::Text(std::string(16 * 400, 'w'));
    steady.chunkSize = 400;
    steady.chunkDelay = 150ms;  // 2.4 s in all, but never a pause of a second
    site_.route("", "/steady", steady);

    FetchRequest request(Url("/stall"), WidePath("stall.jpg"), 20000);
    request.readTimeoutMs = 1000;
    FetchResult result;
    auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(FetchOnce(request, result, 0));
    EXPECT_EQ(result.error, FetchError::Timeout);
    EXPECT_LT(SecondsSince(start), 10.0);
    EXPECT_EQ(result.bodySize, 1000u);  // counted, though a saved body is not held
    EXPECT_EQ(FileCount(), 0u);

    request = FetchRequest(Url("/late"), u"", 1000);
    request.readTimeoutMs = 60000;  // the wait for headers is the step time-out's
    start = std::chrono::steady_clock::now();
    EXPECT_FALSE(FetchOnce(request, result, 0));
    EXPECT_EQ(result.error, FetchError::Timeout);
    EXPECT_LT(SecondsSince(start), 10.0);

    // Moving, but too little to ever end: the pause time-out never comes, the low-speed rule does.
    Response trickle = Response::Text(std::string(10000, 't'));
    trickle.chunkSize = 20;
    trickle.chunkDelay = 200ms;  // 100 bytes a second: 100 s in all
    site_.route("", "/trickle", trickle);
    request = FetchRequest(Url("/trickle"), WidePath("trickle.jpg"), 5000);
    request.lowSpeedSeconds = 2;
    start = std::chrono::steady_clock::now();
    EXPECT_FALSE(FetchOnce(request, result, 0));
    EXPECT_EQ(result.error, FetchError::TooSlow);
    EXPECT_LT(SecondsSince(start), 20.0);
    EXPECT_TRUE(IsTransient(result.error, result.httpStatus));  // retried as a passing failure
    EXPECT_EQ(FetchErrorMessage(result.error), u"传输过慢");
    EXPECT_EQ(FileCount(), 0u);

    // Over 1 KB in every second is slow but steady, and ends whole.
    request = FetchRequest(Url("/steady"), u"", 1000);
    request.lowSpeedSeconds = 2;
    EXPECT_TRUE(FetchOnce(request, result, 0));
    EXPECT_EQ(result.body.size(), 16u * 400);
}

TEST_F(FetchTest, RequestBodyArrivesWhole) {
    site_.route("", "/post",
                [](const Request& request) { return Response::Text(request.method + ":" + request.body); });
    std::string body;
    for (int i = 0; i < 2500; ++i) body += static_cast<char>('a' + i % 26);
    FetchRequest request(Url("/post"), u"", 5000);
    request.verb = u"POST";
    request.requestBody = body + std::string("\0ignored", 8);  // only the part before NUL counts
    request.extraHeaders = u"Content-Type: application/x-www-form-urlencoded\r\nX-One: 1";
    FetchResult result;
    ASSERT_TRUE(FetchOnce(request, result, 0));
    EXPECT_EQ(result.body, "POST:" + body);
    auto received = site_.requests().back();
    EXPECT_EQ(received.header("Content-Length"), "2500");
    EXPECT_EQ(received.header("X-One"), "1");
    EXPECT_NE(received.header("User-Agent").find("Chrome/33.0.1750.154"), std::string::npos);
}

TEST_F(FetchTest, SavingReplacesTheTargetOnlyWhenComplete) {
    site_.route("", "/pic", Response::Text("new picture", "image/jpeg"));
    Response broken = Response::Text(std::string(4000, 'b'), "image/jpeg");
    broken.dropAfterBytes = 1500;
    site_.route("", "/broken", broken);
    std::ofstream(Path("pic.jpg")) << "old";

    FetchRequest request(Url("/broken"), WidePath("pic.jpg"), 5000);
    FetchResult result;
    EXPECT_FALSE(FetchOnce(request, result, 0));
    EXPECT_EQ(ReadFile(Path("pic.jpg")), "old");

    request.url = Url("/pic");
    EXPECT_TRUE(FetchOnce(request, result, 0));
    EXPECT_EQ(ReadFile(Path("pic.jpg")), "new picture");
    EXPECT_EQ(FileCount(), 1u);  // no temporary file left

    request.savePath = WidePath("no-such-folder/pic.jpg");
    EXPECT_FALSE(FetchOnce(request, result, 0));
    EXPECT_EQ(result.error, FetchError::WriteFile);
}

TEST_F(FetchTest, FifteenParallelFetches) {
    site_.route("", "/slow", [](const Request& request) {
        Response answer = Response::Text("page " + request.query);
        answer.delayBeforeHeaders = 200ms;
        return answer;
    });
    std::atomic<int> good{0};
    std::vector<std::thread> workers;
    for (int i = 0; i < 15; ++i) {
        workers.emplace_back([&, i] {
            FetchRequest request(Url("/slow?" + std::to_string(i)), WidePath(std::to_string(i) + ".html"), 10000);
            FetchResult result;
            if (FetchPage(request, result, 0) &&
                ReadFile(Path(std::to_string(i) + ".html")) == "page " + std::to_string(i)) {
                ++good;
            }
        });
    }
    for (auto& worker : workers) worker.join();
    EXPECT_EQ(good.load(), 15);
}

}  // namespace
}  // namespace lumora::testing
