// One HTTP transaction per call: FetchOnce makes it, FetchPage repeats it
// and accepts a result only if it passes a length and an error-text test.
// Safe to call from many threads at once: all state lives in the caller's
// FetchRequest and FetchResult; transfers share only the process-wide
// cookie store and connection cache (CookieStore.h).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace lumora {

class DiskGuard;
class StopToken;

// The most a page (not a saved file) may hold after inflation.
inline constexpr std::size_t kMaxPageBytes = 64 * 1024 * 1024;

// Fetch flags.
enum FetchFlags : unsigned {
    FETCH_INFLATE = 1,  // FetchPage inflates a compressed body before its tests
    FETCH_CACHED = 2,   // a cached answer would do (no local cache: no effect)
};

struct FetchRequest {
    FetchRequest(std::u16string url, std::u16string savePath, std::uint32_t timeoutMs);

    std::u16string url;
    std::u16string verb = u"GET";
    // Header lines handed on unchanged; several lines are separated by CR LF.
    std::u16string extraHeaders;
    // Streaming cut: the body keeps only what follows the last begin marker
    // and stops before the first end marker (only for uncompressed, unsaved bodies).
    std::string beginMarker;
    std::string endMarker;
    // A body that contains it is not accepted by FetchPage.
    std::string errorMarker;
    // File that receives a complete body (written as it arrives, renamed
    // into place when every check passed); empty: do not save.
    std::u16string savePath;
    // Sent after the headers; only the part before its first zero byte counts.
    std::optional<std::string> requestBody;
    // Longest pause allowed between body bytes.
    std::uint32_t readTimeoutMs;
    // Longest wait to connect and for the response headers.
    std::uint32_t stepTimeoutMs;
    // Seconds in a row below kLowSpeedBytes a second after which the body is too slow; 0: no such rule.
    std::uint32_t lowSpeedSeconds = 30;
    // Size window in kilobytes (x 1024 bytes); maximum 0 = no limit.
    std::int32_t minSizeKB = 0;
    std::int32_t maxSizeKB = 0;
    // FetchPage accepts only a body strictly longer than this.
    std::uint32_t minLength = 0;
    std::uint8_t attempts = 1;
    std::uint8_t retryDelaySeconds = 1;
    // Within each attempt, a transient failure (Retry.h) is tried again this
    // many more times after a growing wait; 0 keeps one transaction per attempt.
    std::uint8_t retries = 0;
    // When raised, waits end at once and a running transfer is abandoned
    // after a grace period. May be null.
    std::shared_ptr<const StopToken> stop;
    // Keeps the save file's file system above its reserve. May be null.
    std::shared_ptr<DiskGuard> diskGuard;
};

// Why the last transaction failed, so callers can tell users.
enum class FetchError {
    None,
    BadAddress,    // not an http or https address
    Connect,       // could not connect, or the connection broke
    Incomplete,    // the body ended before its announced length
    Tls,           // the secure connection failed: untrusted certificate, TLS error
    Redirects,     // more than 10 redirects, such as a redirect loop
    Timeout,       // connect, response or a body read took too long
    HttpStatus,    // final status 400 or above
    SizeWindow,    // announced, streamed or final size outside the window
    WriteFile,     // the save file could not be written
    Rejected,      // FetchPage: too short, or contains the error marker
    NoAttempt,     // FetchPage with attempts 0
    Stopped,       // abandoned because the user stopped the run
    PageTooLarge,  // a page, inflated, beyond kMaxPageBytes
    TooSlow,       // the body moved fewer than kLowSpeedBytes in each of lowSpeedSeconds seconds in a row
    DiskFull,      // the save file's file system reached its reserve (DiskReserve.h)
    NotPicture,    // a saved body that is a page or JSON (by its type and first bytes)
    BadResponse,   // an unasked 206, or Content-Length values that disagree
    CutPicture,    // a JPEG without its end marker, a PNG without its IEND chunk
};

// A body that moves fewer bytes than this in every second of a run of
// FetchRequest::lowSpeedSeconds ends as too slow: a trickle never ends by
// the read time-out, which only bounds pauses.
inline constexpr std::uint64_t kLowSpeedBytes = 1024;

// A short English code of a failure, stable for scripts ("timed out").
const char* DescribeFetchError(FetchError error);

// The failure in the interface's words: "连接失败", "超时", "HTTP 错误 503",
// "文件写入失败：磁盘已满", "磁盘空间不足". `systemError` is the errno of a failed file write.
std::u16string FetchErrorMessage(FetchError error, long httpStatus = 0, int systemError = 0);

struct FetchResult {
    // Status line and header lines of the final response, CR LF line ends.
    std::u16string rawHeaders;
    // The body as received (after the streaming cut, if one applied). Empty
    // when it went to a save file: files stream to disk, never held whole.
    std::string body;
    // Body bytes received, also those written to the save file.
    std::uint64_t bodySize = 0;
    // Copies of the request's markers, for GetPageText.
    std::string beginMarker;
    std::string endMarker;
    // The raw headers contain "gzip" somewhere.
    bool compressed = false;

    FetchError error = FetchError::None;
    long httpStatus = 0;  // final status, 0 when no response arrived
    int systemError = 0;  // errno of a save file that could not be written
    // SHA-256 of a saved file's bytes (64 hex digits), computed as they arrived; empty otherwise.
    std::string sha256;
};

bool FetchPage(FetchRequest& request, FetchResult& result, unsigned flags);
bool FetchOnce(FetchRequest& request, FetchResult& result, unsigned flags);

}  // namespace lumora
