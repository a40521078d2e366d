#include "web/Fetch.h"

#include <cerrno>

#include <curl/curl.h>
#include <zlib.h>

#include <chrono>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <memory>
#include <thread>
#include <vector>

#include "base/SystemError.h"
#include "text/StringCtrl.h"
#include "web/AtomicFile.h"
#include "web/BandwidthLimit.h"
#include "web/CookieStore.h"
#include "web/DiskReserve.h"
#include "web/HeaderLines.h"
#include "web/HostGate.h"
#include "web/PageCapture.h"
#include "web/PageText.h"
#include "web/PictureCheck.h"
#include "web/Retry.h"
#include "web/Sha256.h"

namespace lumora {
namespace {

using Clock = std::chrono::steady_clock;

constexpr const char* kUserAgent =
    "Mozilla/5.0 (Windows NT 5.1) AppleWebKit/537.36 (KHTML, like Gecko) "
    "Chrome/33.0.1750.154 Safari/537.36";
// Request bodies go out in pieces of this size.
constexpr std::size_t kBodyChunk = 1024;
constexpr long kMaxRedirects = 10;
// Body bytes taken per read: a picture arrives in a few reads, not dozens.
constexpr long kReadBuffer = 100 * 1024;
// Most body bytes reserved up front on the strength of Content-Length.
constexpr curl_off_t kMaxReserve = 16 * 1024 * 1024;
// A save file's free space is asked again after at most this many bytes.
constexpr std::uint64_t kRoomCheckStep = 1024 * 1024;

// Counts what a compressed page inflates to without keeping it, so that a
// small body that would inflate beyond the page limit is refused while it
// arrives.
class InflatedSize {
public:
    InflatedSize() = default;
    ~InflatedSize() {
        if (started_) inflateEnd(&stream_);
    }
    InflatedSize(const InflatedSize&) = delete;
    InflatedSize& operator=(const InflatedSize&) = delete;

    // False once the inflated total passes `limit`.
    bool Feed(const char* data, std::size_t length, std::uint64_t limit) {
        if (ended_) return true;
        if (!started_) {
            std::memset(&stream_, 0, sizeof stream_);
            if (inflateInit2(&stream_, 15 + 32) != Z_OK) {  // gzip or zlib header
                ended_ = true;
                return true;
            }
            started_ = true;
        }
        stream_.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data));
        stream_.avail_in = static_cast<uInt>(length);
        unsigned char scratch[16384];
        do {
            stream_.next_out = scratch;
            stream_.avail_out = sizeof scratch;
            const int code = inflate(&stream_, Z_NO_FLUSH);
            total_ += sizeof scratch - stream_.avail_out;
            if (total_ > limit) return false;
            if (code != Z_OK) {
                // The end, damage (the text decoder takes what inflated), or
                // more input needed.
                ended_ = code != Z_BUF_ERROR;
                break;
            }
        } while (stream_.avail_in > 0 || stream_.avail_out == 0);
        return true;
    }

private:
    z_stream stream_{};
    bool started_ = false;
    bool ended_ = false;
    std::uint64_t total_ = 0;
};

bool LengthsDisagree(const std::string& headers) {
    const std::vector<std::string> lengths = HeaderValues(headers, "content-length");
    for (const std::string& length : lengths) {
        if (length != lengths.front()) return true;
    }
    return false;
}

// Content-Type text/... or application/json: the answer says it is a page.
bool SaysPage(const std::string& headers) {
    const std::vector<std::string> types = HeaderValues(headers, "content-type");
    if (types.empty()) return false;
    std::string type = types.back();
    for (char& c : type) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return type.starts_with("text/") || type.starts_with("application/json");
}

struct SlistDeleter {
    void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};
struct EasyDeleter {
    void operator()(CURL* easy) const { curl_easy_cleanup(easy); }
};

// Everything one transfer's callbacks need; lives on FetchOnce's stack.
struct Transfer {
    Transfer(const FetchRequest& request_, FetchResult& result_, CURL* easy_)
        : request(request_), result(result_), easy(easy_) {}

    const FetchRequest& request;
    FetchResult& result;
    CURL* easy;

    std::string headerBytes;        // headers of the response being received
    bool headersDone = false;       // final headers seen: body bytes follow
    bool endMarkerReached = false;  // stopped reading on purpose
    std::size_t scannedUpTo = 0;    // body bytes already searched for markers
    FetchError failure = FetchError::None;

    AtomicFileWriter file;  // the save file while the body arrives
    InflatedSize inflated;  // a compressed page's size after inflation

    std::string upload;  // request body, sent in kBodyChunk pieces
    std::size_t uploaded = 0;

    // Until the final headers: when the request (or the redirect's next one)
    // was sent; header lines do not move it, so trickled headers or endless
    // 1xx answers still end at the step time-out.
    Clock::time_point requestSent = Clock::now();
    // Afterwards: the last body bytes.
    Clock::time_point lastActivity = Clock::now();
    curl_off_t lastUp = 0;
    // The low-speed rule: the second being counted, the body bytes at its
    // start, and how many seconds in a row moved too little.
    Clock::time_point secondStart = Clock::now();
    curl_off_t bytesAtSecondStart = 0;
    std::uint32_t slowSeconds = 0;
    bool throttled = false;  // the bandwidth limit held the body back in this second

    // A saved body: whether it is said to be a page, and what its bytes show.
    bool saysPage = false;
    bool firstByteSeen = false;
    PictureEndCheck picture;
    std::optional<Sha256> checksum;  // made with the save file: pages need none

    // The save file's room above its file system's reserve, when last asked.
    std::uint64_t room = UINT64_MAX;
    std::uint64_t writtenSinceRoom = 0;

    std::filesystem::path SaveFolder() const {
        return std::filesystem::path(WideToUtf8(request.savePath)).parent_path();
    }
    // False, with the failure set, once the save file's file system has no room left.
    bool KeepsReserve(std::uint64_t more) {
        if (!request.diskGuard) return true;
        room = request.diskGuard->Room(SaveFolder());
        writtenSinceRoom = 0;
        if (room > more && room > 0) return true;
        failure = FetchError::DiskFull;
        return false;
    }

    std::uint64_t MinBytes() const {
        return request.minSizeKB > 0 ? static_cast<std::uint64_t>(request.minSizeKB) * 1024 : 0;
    }
    bool TooBig(std::uint64_t size) const {
        return request.maxSizeKB > 0 && size > static_cast<std::uint64_t>(request.maxSizeKB) * 1024;
    }
    bool OutsideWindow(std::uint64_t size) const { return size < MinBytes() || TooBig(size); }

    // Called at the blank line that ends a header block. Returns false to abort.
    bool OnHeadersComplete() {
        long status = 0;
        curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &status);
        if (status >= 100 && status < 200) {  // interim answer, the real one follows
            headerBytes.clear();
            return true;
        }
        char* location = nullptr;
        curl_easy_getinfo(easy, CURLINFO_REDIRECT_URL, &location);
        if (status >= 300 && status < 400 && location) {
            headerBytes.clear();  // the redirect target's headers replace these
            requestSent = Clock::now();
            return true;
        }
        headersDone = true;
        lastActivity = Clock::now();
        secondStart = lastActivity;
        result.httpStatus = status;
        result.rawHeaders = AnsiToWide(headerBytes);
        result.compressed = headerBytes.find("gzip") != std::string::npos;
        if (status >= 400) {
            failure = FetchError::HttpStatus;
            return false;
        }
        curl_off_t announced = -1;
        curl_easy_getinfo(easy, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &announced);
        if (announced >= 0 && OutsideWindow(static_cast<std::uint64_t>(announced))) {
            failure = FetchError::SizeWindow;
            return false;
        }
        if (!request.savePath.empty()) {
            // Nothing asked for a part, and two lengths leave the real one unknown.
            if (status == 206 || LengthsDisagree(headerBytes)) {
                failure = FetchError::BadResponse;
                return false;
            }
            saysPage = SaysPage(headerBytes);
            if (!KeepsReserve(announced > 0 ? static_cast<std::uint64_t>(announced) : 0)) return false;
            if (!file.Open(std::filesystem::path(WideToUtf8(request.savePath)), 0666)) {
                failure = FetchError::WriteFile;
                result.systemError = errno;
                return false;
            }
            checksum.emplace();
            return true;
        }
        // One allocation for the whole body instead of a chain of growing
        // copies, each on fresh pages; a false length only costs the room.
        if (announced > 0) {
            result.body.reserve(static_cast<std::size_t>(std::min<curl_off_t>(announced, kMaxReserve)));
        }
        return true;
    }

    // False, with the failure set, when a body said to be a page starts as
    // one ("<", or JSON's "{" or "[", after white space).
    bool FirstBytesArePicture(std::string_view bytes) {
        if (firstByteSeen) return true;
        const std::optional<bool> page = StartsAsPage(bytes);
        if (!page) return true;
        firstByteSeen = true;
        if (saysPage && *page) {
            failure = FetchError::NotPicture;
            return false;
        }
        return true;
    }

    // Keeps only what follows the last begin marker and stops at the end marker.
    void ApplyStreamingCut() {
        std::string& body = result.body;
        const std::string& begin = request.beginMarker;
        const std::string& end = request.endMarker;
        std::size_t longest = std::max(begin.size(), end.size());
        std::size_t from = scannedUpTo > longest ? scannedUpTo - longest : 0;
        if (!begin.empty()) {
            std::size_t at;
            while ((at = body.find(begin, from)) != std::string::npos) {
                body.erase(0, at + begin.size());
                from = 0;
            }
        }
        if (!end.empty()) {
            std::size_t at = body.find(end, from);
            if (at != std::string::npos) {
                body.erase(at);
                endMarkerReached = true;
            }
        }
        scannedUpTo = body.size();
    }
};

std::size_t OnHeader(char* data, std::size_t size, std::size_t count, void* user) {
    auto* transfer = static_cast<Transfer*>(user);
    const std::size_t length = size * count;
    std::string_view line(data, length);
    if (line.starts_with("HTTP/")) transfer->headerBytes.clear();
    transfer->headerBytes.append(line);
    if (line == "\r\n" || line == "\n") {
        if (!transfer->OnHeadersComplete()) return 0;
    }
    return length;
}

std::size_t OnBody(char* data, std::size_t size, std::size_t count, void* user) {
    auto* transfer = static_cast<Transfer*>(user);
    const std::size_t length = size * count;
    Clock::duration waited{};
    if (!BandwidthLimit::Shared().Take(length, transfer->request.stop.get(), &waited)) {
        transfer->failure = FetchError::Stopped;
        return 0;
    }
    if (waited > Clock::duration::zero()) transfer->throttled = true;
    transfer->lastActivity = Clock::now();
    FetchResult& result = transfer->result;
    result.bodySize += length;
    if (transfer->TooBig(result.bodySize)) {
        transfer->failure = FetchError::SizeWindow;
        return 0;
    }
    if (!transfer->request.savePath.empty()) {
        if (!transfer->FirstBytesArePicture(std::string_view(data, length))) return 0;
        transfer->picture.Feed(std::string_view(data, length));
        if (transfer->checksum) transfer->checksum->Update(std::string_view(data, length));
        if (!transfer->file.Write(std::string_view(data, length))) {
            transfer->failure = FetchError::WriteFile;
            result.systemError = errno;
            return 0;
        }
        transfer->writtenSinceRoom += length;
        if (transfer->writtenSinceRoom >= std::min(kRoomCheckStep, transfer->room / 2) && !transfer->KeepsReserve(0)) {
            return 0;
        }
        return length;
    }
    // A page is held whole: it may not grow beyond the limit as it arrives,
    // nor, when marked compressed, as it would inflate. Both hold always:
    // bytes after the end of a gzip stream, or a "gzip" mark on a body that
    // is none, still count as they arrive.
    const bool tooLarge = result.body.size() + length > kMaxPageBytes ||
                          (result.compressed && !transfer->inflated.Feed(data, length, kMaxPageBytes));
    if (tooLarge) {
        transfer->failure = FetchError::PageTooLarge;
        return 0;
    }
    result.body.append(data, length);
    if (!result.compressed) {
        transfer->ApplyStreamingCut();
        if (transfer->endMarkerReached) return 0;  // no further reads
    }
    return length;
}

std::size_t OnUpload(char* buffer, std::size_t size, std::size_t count, void* user) {
    auto* transfer = static_cast<Transfer*>(user);
    std::size_t room = std::min(size * count, kBodyChunk);
    std::size_t n = std::min(room, transfer->upload.size() - transfer->uploaded);
    std::memcpy(buffer, transfer->upload.data() + transfer->uploaded, n);
    transfer->uploaded += n;
    return n;
}

// Enforces the two waits libcurl has no option for: the final response's
// headers must be complete within the step time-out of sending the request,
// and the body may pause at most the read time-out between bytes (a slow but
// steady transfer goes on).
int OnProgress(void* user, curl_off_t, curl_off_t dlnow, curl_off_t, curl_off_t ulnow) {
    auto* transfer = static_cast<Transfer*>(user);
    auto now = Clock::now();
    if (ulnow != transfer->lastUp) {  // still sending the request body
        transfer->lastUp = ulnow;
        transfer->requestSent = now;
    }
    if (transfer->request.stop && transfer->request.stop->GraceOver()) {
        transfer->failure = FetchError::Stopped;
        return 1;
    }
    std::uint32_t limitMs = transfer->headersDone ? transfer->request.readTimeoutMs : transfer->request.stepTimeoutMs;
    const Clock::time_point since = transfer->headersDone ? transfer->lastActivity : transfer->requestSent;
    if (limitMs > 0 && now - since > std::chrono::milliseconds(limitMs)) {
        transfer->failure = FetchError::Timeout;
        return 1;
    }
    // A pause is the read time-out's; this is the body that moves, but too little to ever end.
    if (!transfer->headersDone || transfer->request.lowSpeedSeconds == 0) return 0;
    if (now - transfer->secondStart >= std::chrono::seconds(1)) {
        // A second the shared bandwidth limit held back is not the server's slowness.
        const bool slow =
            static_cast<std::uint64_t>(dlnow - transfer->bytesAtSecondStart) < kLowSpeedBytes && !transfer->throttled;
        transfer->throttled = false;
        transfer->slowSeconds = slow ? transfer->slowSeconds + 1 : 0;
        transfer->secondStart = now;
        transfer->bytesAtSecondStart = dlnow;
        if (transfer->slowSeconds >= transfer->request.lowSpeedSeconds) {
            transfer->failure = FetchError::TooSlow;
            return 1;
        }
    }
    return 0;
}

bool IsWebAddress(const std::string& url) {
    CURLU* parsed = curl_url();
    bool ok = curl_url_set(parsed, CURLUPART_URL, url.c_str(), 0) == CURLUE_OK;
    char* scheme = nullptr;
    if (ok && curl_url_get(parsed, CURLUPART_SCHEME, &scheme, 0) == CURLUE_OK) {
        ok = std::strcmp(scheme, "http") == 0 || std::strcmp(scheme, "https") == 0;
        curl_free(scheme);
    } else {
        ok = false;
    }
    curl_url_cleanup(parsed);
    return ok;
}

// Header lines of the extra-headers text, one per CR LF (or LF) piece.
std::unique_ptr<curl_slist, SlistDeleter> BuildHeaders(const FetchRequest& request, bool hasBody) {
    curl_slist* list = nullptr;
    std::string text = WideToUtf8(request.extraHeaders);
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        std::string line = text.substr(start, end == std::string::npos ? std::string::npos : end - start);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (!line.empty()) list = curl_slist_append(list, line.c_str());
        if (end == std::string::npos) break;
        start = end + 1;
    }
    // No "100-continue" round trip before the body.
    if (hasBody) list = curl_slist_append(list, "Expect:");
    return std::unique_ptr<curl_slist, SlistDeleter>(list);
}

FetchError ErrorFromCurl(CURLcode code) {
    switch (code) {
    case CURLE_OPERATION_TIMEDOUT: return FetchError::Timeout;
    case CURLE_UNSUPPORTED_PROTOCOL:
    case CURLE_URL_MALFORMAT: return FetchError::BadAddress;
    case CURLE_TOO_MANY_REDIRECTS: return FetchError::Redirects;
    case CURLE_PARTIAL_FILE: return FetchError::Incomplete;
    case CURLE_PEER_FAILED_VERIFICATION:
    case CURLE_SSL_CONNECT_ERROR:
    case CURLE_SSL_CERTPROBLEM:
    case CURLE_SSL_CACERT_BADFILE: return FetchError::Tls;
    default: return FetchError::Connect;
    }
}

// What an answer says about its host's load.
HostAnswer HostAnswerOf(const FetchResult& result, bool retryAfter) {
    if (result.error == FetchError::Stopped) return HostAnswer::None;
    if (result.error == FetchError::HttpStatus &&
        (result.httpStatus == 429 || (result.httpStatus == 503 && retryAfter)))
        return HostAnswer::RateLimited;
    return IsTransient(result.error, result.httpStatus) ? HostAnswer::Passing : HostAnswer::Clean;
}

// Clears what an earlier transaction left; the raw headers are replaced
// only when an answer comes.
void StartResult(const FetchRequest& request, FetchResult& result) {
    result.body.clear();
    result.bodySize = 0;
    result.beginMarker = request.beginMarker;
    result.endMarker = request.endMarker;
    result.compressed = false;
    result.error = FetchError::None;
    result.httpStatus = 0;
    result.systemError = 0;
    result.sha256.clear();
}

void SetTransferOptions(Transfer& transfer, const std::string& url) {
    CURL* h = transfer.easy;
    CookieStore::Instance().Attach(h);
    curl_easy_setopt(h, CURLOPT_URL, url.c_str());
    curl_easy_setopt(h, CURLOPT_USERAGENT, kUserAgent);
    curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);  // worker threads: no SIGALRM for resolver time-outs
    curl_easy_setopt(h, CURLOPT_BUFFERSIZE, BandwidthLimit::Shared().ReadSize(kReadBuffer));
    curl_easy_setopt(h, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(h, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(h, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(h, CURLOPT_MAXREDIRS, kMaxRedirects);
    curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(transfer.request.stepTimeoutMs));
    curl_easy_setopt(h, CURLOPT_HEADERFUNCTION, OnHeader);
    curl_easy_setopt(h, CURLOPT_HEADERDATA, &transfer);
    curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, OnBody);
    curl_easy_setopt(h, CURLOPT_WRITEDATA, &transfer);
    curl_easy_setopt(h, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(h, CURLOPT_XFERINFOFUNCTION, OnProgress);
    curl_easy_setopt(h, CURLOPT_XFERINFODATA, &transfer);
}

// The verb, the request body and the header lines. The returned list must
// outlive the transfer: libcurl keeps only a pointer to it.
std::unique_ptr<curl_slist, SlistDeleter> SetRequestOptions(Transfer& transfer) {
    CURL* h = transfer.easy;
    const FetchRequest& request = transfer.request;
    if (request.requestBody) {
        // Only the part before the first zero byte is the body.
        transfer.upload.assign(request.requestBody->c_str());
    }
    const bool hasBody = !transfer.upload.empty();
    if (hasBody) {
        curl_easy_setopt(h, CURLOPT_POST, 1L);
        curl_easy_setopt(h, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(transfer.upload.size()));
        curl_easy_setopt(h, CURLOPT_READFUNCTION, OnUpload);
        curl_easy_setopt(h, CURLOPT_READDATA, &transfer);
    }
    const std::string verb = WideToUtf8(request.verb);
    if (verb == "HEAD") {
        curl_easy_setopt(h, CURLOPT_NOBODY, 1L);
    } else if (verb != "GET" || hasBody) {
        // libcurl copies the custom verb, so the local string may go.
        if (!(verb == "POST" && hasBody)) curl_easy_setopt(h, CURLOPT_CUSTOMREQUEST, verb.c_str());
    }
    auto headers = BuildHeaders(request, hasBody);
    if (headers) curl_easy_setopt(h, CURLOPT_HTTPHEADER, headers.get());
    return headers;
}

// Why the finished transfer does not count, or None; a save file is put in
// place only when everything else passed.
FetchError ClassifyOutcome(Transfer& transfer, CURLcode code) {
    // The end marker aborts the read on purpose.
    if (transfer.endMarkerReached && code == CURLE_WRITE_ERROR) code = CURLE_OK;
    if (code != CURLE_OK) return transfer.failure != FetchError::None ? transfer.failure : ErrorFromCurl(code);
    if (!transfer.headersDone) {  // e.g. a redirect answer that was not followed
        transfer.OnHeadersComplete();
        if (transfer.failure != FetchError::None) return transfer.failure;
    }
    if (transfer.result.httpStatus >= 400) return FetchError::HttpStatus;
    if (transfer.OutsideWindow(transfer.result.bodySize)) return FetchError::SizeWindow;
    if (!transfer.request.savePath.empty() && transfer.picture.Cut()) return FetchError::CutPicture;
    if (!transfer.request.savePath.empty()) {
        if (!transfer.file.Commit()) {
            transfer.result.systemError = errno;
            return FetchError::WriteFile;
        }
        if (transfer.checksum) transfer.result.sha256 = transfer.checksum->HexDigest();
    }
    return FetchError::None;
}

}  // namespace

FetchRequest::FetchRequest(std::u16string url_, std::u16string savePath_, std::uint32_t timeoutMs)
    : url(std::move(url_)), savePath(std::move(savePath_)), readTimeoutMs(timeoutMs), stepTimeoutMs(timeoutMs) {}

const char* DescribeFetchError(FetchError error) {
    switch (error) {
    case FetchError::None: return "ok";
    case FetchError::BadAddress: return "not a web address";
    case FetchError::Connect: return "connection failed";
    case FetchError::Incomplete: return "body cut short";
    case FetchError::Tls: return "secure connection failed (certificate or TLS error)";
    case FetchError::Redirects: return "too many redirects";
    case FetchError::Timeout: return "timed out";
    case FetchError::HttpStatus: return "HTTP error status";
    case FetchError::SizeWindow: return "size outside the allowed window";
    case FetchError::WriteFile: return "could not write the file";
    case FetchError::Rejected: return "page rejected (too short or error text)";
    case FetchError::NoAttempt: return "no attempt allowed";
    case FetchError::Stopped: return "stopped";
    case FetchError::PageTooLarge: return "page too large";
    case FetchError::TooSlow: return "transfer too slow";
    case FetchError::DiskFull: return "not enough disk space";
    case FetchError::NotPicture: return "not a picture (the server sent a page)";
    case FetchError::BadResponse: return "incomplete response";
    case FetchError::CutPicture: return "picture cut short";
    }
    return "unknown";
}

std::u16string FetchErrorMessage(FetchError error, long httpStatus, int systemError) {
    switch (error) {
    case FetchError::None: return u"成功";
    case FetchError::BadAddress: return u"地址无效";
    case FetchError::Connect: return u"连接失败";
    case FetchError::Incomplete: return u"传输中断，内容不完整";
    case FetchError::Tls: return u"安全连接失败（证书或 TLS 错误）";
    case FetchError::Redirects: return u"重定向过多";
    case FetchError::Timeout: return u"超时";
    case FetchError::HttpStatus:
        return httpStatus > 0 ? u"HTTP 错误 " + Utf8ToWide(std::to_string(httpStatus)) : u"HTTP 错误";
    case FetchError::SizeWindow: return u"大小不在设定范围内";
    case FetchError::WriteFile: return u"文件写入失败：" + SystemErrorText(systemError);
    case FetchError::Rejected: return u"页面内容不符合要求";
    case FetchError::NoAttempt: return u"未尝试下载";
    case FetchError::Stopped: return u"已终止";
    case FetchError::PageTooLarge: return u"页面过大";
    case FetchError::TooSlow: return u"传输过慢";
    case FetchError::DiskFull: return u"磁盘空间不足";
    case FetchError::NotPicture: return u"不是图片（服务器返回了网页）";
    case FetchError::BadResponse: return u"回应不完整";
    case FetchError::CutPicture: return u"图片不完整";
    }
    return u"未知错误";
}

bool FetchOnce(FetchRequest& request, FetchResult& result, unsigned /*flags*/) {
    StartResult(request, result);
    const std::string url = WideToUtf8(request.url);
    if (!IsWebAddress(url)) {
        result.error = FetchError::BadAddress;
        return false;
    }
    std::unique_ptr<CURL, EasyDeleter> easy(curl_easy_init());
    if (!easy) {
        result.error = FetchError::Connect;
        return false;
    }
    Transfer transfer(request, result, easy.get());
    // No new picture starts on a file system at its reserve.
    if (!request.savePath.empty() && !transfer.KeepsReserve(0)) {
        result.error = transfer.failure;
        return false;
    }
    std::optional<HostGate::Ticket> ticket = HostGate::Shared().Enter(HostKeyOf(url), request.stop.get());
    if (!ticket) {
        result.error = FetchError::Stopped;
        return false;
    }
    SetTransferOptions(transfer, url);
    const auto headers = SetRequestOptions(transfer);
    const CURLcode code = curl_easy_perform(easy.get());
    result.error = ClassifyOutcome(transfer, code);
    const std::optional<std::chrono::seconds> retryAfter =
        result.error == FetchError::HttpStatus ? RetryAfter(result.rawHeaders, std::time(nullptr)) : std::nullopt;
    ticket->Leave(HostAnswerOf(result, retryAfter.has_value()), retryAfter);
    CaptureTransaction(request, result);
    return result.error == FetchError::None;
}

namespace {

// One attempt: a transaction, and more after transient failures while the
// request's retries last and no stop came.
bool FetchWithRetries(FetchRequest& request, FetchResult& result, unsigned flags) {
    for (unsigned retry = 1;; ++retry) {
        if (FetchOnce(request, result, flags)) return true;
        if (retry > request.retries || !IsTransient(result.error, result.httpStatus)) return false;
        // Headers stay from an earlier answer when none came; only a status has its own.
        const bool answered = result.error == FetchError::HttpStatus;
        const auto wait = RetryWait(retry, answered ? RetryAfter(result.rawHeaders, std::time(nullptr)) : std::nullopt);
        if (!WaitUnlessStopped(wait, request.stop.get())) return false;
    }
}

}  // namespace

bool FetchPage(FetchRequest& request, FetchResult& result, unsigned flags) {
    if (request.attempts == 0) {
        result.error = FetchError::NoAttempt;
        return false;
    }
    for (unsigned made = 1;; ++made) {
        if (FetchWithRetries(request, result, flags)) {
            if (request.minLength == 0 && request.errorMarker.empty()) return true;
            std::string inflated;
            const std::string* test = &result.body;
            if ((flags & FETCH_INFLATE) && result.compressed) {
                InflateData(result.body.data(), result.body.size(), inflated);
                test = &inflated;
            }
            if (test->size() > request.minLength &&
                (request.errorMarker.empty() || test->find(request.errorMarker) == std::string::npos)) {
                return true;
            }
            result.error = FetchError::Rejected;
        }
        if (!WaitUnlessStopped(std::chrono::seconds(request.retryDelaySeconds), request.stop.get())) return false;
        if (made >= request.attempts) return false;
    }
}

}  // namespace lumora
