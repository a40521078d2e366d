// What a hostile server cannot do to a fetch: hold it past the step time-out
// with trickled headers, or fill memory with a page or a picture.
#include <zlib.h>

#include "web/FileDownload.h"
#include "web/PageText.h"
#include "web_test_support.h"

namespace lumora::testing {
namespace {

using testsite::Response;
using namespace std::chrono_literals;

// A gzip stream of `megabytes` MB of zeros, made without holding them.
std::string GzipBomb(std::size_t megabytes) {
    z_stream stream{};
    deflateInit2(&stream, Z_BEST_COMPRESSION, Z_DEFLATED, 15 + 16, 9, Z_DEFAULT_STRATEGY);
    const std::string zeros(1 << 20, '\0');
    std::string out;
    char buffer[65536];
    for (std::size_t k = 0; k <= megabytes; ++k) {
        const bool last = k == megabytes;
        stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(zeros.data()));
        stream.avail_in = last ? 0 : static_cast<uInt>(zeros.size());
        do {
            stream.next_out = reinterpret_cast<Bytef*>(buffer);
            stream.avail_out = sizeof buffer;
            deflate(&stream, last ? Z_FINISH : Z_NO_FLUSH);
            out.append(buffer, sizeof buffer - stream.avail_out);
        } while (stream.avail_out == 0);
    }
    deflateEnd(&stream);
    return out;
}

class BoundsTest : public WebTest {};

TEST_F(BoundsTest, TrickledHeadersEndAtTheStepTimeOut) {
    Response trickle = Response::Text("late");
    for (int k = 0; k < 30; ++k) trickle.Header("X-Line-" + std::to_string(k), "x");
    trickle.headerLineDelay = 200ms;  // every line inside the time-out, all of them far beyond it
    site_.route("", "/trickle", trickle);
    Response continues = Response::Text("late");
    continues.interimAnswers = 200;
    continues.headerLineDelay = 100ms;
    site_.route("", "/continue", continues);

    for (const char* path : {"/trickle", "/continue"}) {
        SCOPED_TRACE(path);
        FetchRequest request(Url(path), u"", 1000);
        request.retryDelaySeconds = 0;
        FetchResult result;
        const auto started = std::chrono::steady_clock::now();
        EXPECT_FALSE(FetchPage(request, result, 0));
        EXPECT_EQ(result.error, FetchError::Timeout);
        EXPECT_LT(SecondsSince(started), 5.0);
    }
    // A few interim answers within the time-out are fine.
    Response some = Response::Text("fine");
    some.interimAnswers = 2;
    site_.route("", "/some", some);
    FetchRequest request(Url("/some"), u"", 5000);
    FetchResult result;
    EXPECT_TRUE(FetchPage(request, result, 0));
    EXPECT_EQ(result.body, "fine");
}

TEST_F(BoundsTest, PagesStopAtTheLimitWhetherSentOrInflated) {
    site_.route("", "/bomb", Response::Text(GzipBomb(200)).Header("Content-Encoding", "gzip"));
    Response large = Response::Text(std::string(kMaxPageBytes + 1024, 'x'));
    large.announceLength = false;
    site_.route("", "/large", large);
    // Past the end of a small gzip stream, or "gzip" named on a body that is none.
    const std::string tail(kMaxPageBytes + 1024, 'x');
    site_.route("", "/tail",
                Response::Text(testsite::GzipCompress("<p>small</p>") + tail).Header("Content-Encoding", "gzip"));
    site_.route("", "/marked", Response::Text(tail).Header("X-Note", "gzip"));
    for (const char* path : {"/bomb", "/large", "/tail", "/marked"}) {
        SCOPED_TRACE(path);
        FetchRequest request(Url(path), u"", 20000);
        request.retryDelaySeconds = 0;
        FetchResult result;
        EXPECT_FALSE(FetchPage(request, result, 0));
        EXPECT_EQ(result.error, FetchError::PageTooLarge);
        EXPECT_LE(result.body.size(), kMaxPageBytes);
    }
    // Inflating what is held never grows beyond the limit either.
    const std::string bomb = GzipBomb(100);
    std::string inflated;
    EXPECT_FALSE(InflateData(bomb.data(), bomb.size(), inflated, 1 << 20));
    EXPECT_EQ(inflated.size(), 1u << 20);
}

TEST_F(BoundsTest, PicturesStreamToTheirFileAndFailuresLeaveNothing) {
    const std::string picture(3 << 20, 'p');
    Response unannounced = Response::Text(picture, "image/jpeg");
    unannounced.announceLength = false;
    unannounced.chunkSize = 64 * 1024;
    site_.route("", "/big.jpg", unannounced);
    FetchRequest request(Url("/big.jpg"), WidePath("big.jpg"), 20000);
    FetchResult result;
    ASSERT_TRUE(FetchPage(request, result, FETCH_INFLATE | FETCH_CACHED));
    EXPECT_TRUE(result.body.empty());  // on disk, not in memory
    EXPECT_EQ(result.bodySize, picture.size());
    EXPECT_EQ(ReadFile(Path("big.jpg")), picture);

    // Past the maximum while streaming: the file already there stays, and
    // no temporary file is left.
    std::ofstream(Path("old.jpg")) << "old";
    FetchRequest limited(Url("/big.jpg"), WidePath("old.jpg"), 20000);
    limited.maxSizeKB = 1024;
    limited.retryDelaySeconds = 0;
    EXPECT_FALSE(FetchPage(limited, result, FETCH_INFLATE | FETCH_CACHED));
    EXPECT_EQ(result.error, FetchError::SizeWindow);
    EXPECT_EQ(ReadFile(Path("old.jpg")), "old");
    EXPECT_EQ(FileCount(), 2u);
}

}  // namespace
}  // namespace lumora::testing
