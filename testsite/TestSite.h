// A real HTTP/1.1 server on 127.0.0.1 that plays the photo community for
// tests, benchmarks and the sample site. It answers origin-form targets
// ("/path?q") and absolute-form targets ("http://host/path?q"), so with
// http_proxy pointing at it, requests for any host reach it unchanged.
//
// Each route can shape its answer: status, headers, a gzip- or
// zlib-compressed body, a right, wrong or missing Content-Length, the body in
// timed chunks, a stall before the headers or mid-body, a dropped connection,
// redirects and cookies.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace lumora::testsite {

struct Request {
    std::string method;
    std::string target;  // exactly as received on the request line
    std::string host;    // from an absolute-form target, else the Host header (without port)
    std::string path;    // without the query, e.g. "/photo/1.html"
    std::string query;   // without the "?"
    std::vector<std::pair<std::string, std::string>> headers;  // in arrival order
    std::string body;

    // First header of that name (case-insensitive), or empty.
    std::string header(const std::string& name) const;
};

enum class BodyEncoding { None, Gzip, Zlib };

struct Response {
    int status = 200;
    std::string reason;  // empty: the usual phrase for the status
    std::vector<std::pair<std::string, std::string>> headers;
    std::string body;  // uncompressed; compressed on the way out per `encoding`

    // Compress the body before sending. Adds no header by itself: a route
    // that wants "Content-Encoding: gzip" adds it to `headers`.
    BodyEncoding encoding = BodyEncoding::None;

    // A body too large to hold: when set, it replaces `body`, is sent as it
    // is (never compressed) and is `streamedLength` bytes long; it is asked
    // to fill `size` bytes from `offset` on, piece by piece as they go out.
    std::function<void(std::uint64_t offset, char* out, std::size_t size)> streamedBody;
    std::uint64_t streamedLength = 0;

    // Content-Length: the real length unless `announceLength` is false (then
    // no length is sent and the connection closes after the body) or
    // `announcedLength` gives another value to send.
    bool announceLength = true;
    std::optional<std::uint64_t> announcedLength;

    // Wait before the status line is sent.
    std::chrono::milliseconds delayBeforeHeaders{0};
    // Before the answer: this many "100 Continue" interim answers, and
    // after every header line (interim ones included) this pause, for a
    // server that trickles its headers.
    int interimAnswers = 0;
    std::chrono::milliseconds headerLineDelay{0};
    // Send the (encoded) body in pieces of `chunkSize` bytes with
    // `chunkDelay` before each piece after the first; 0 sends it whole.
    std::size_t chunkSize = 0;
    std::chrono::milliseconds chunkDelay{0};
    // After this many body bytes: stall for `stallFor`, then go on.
    std::optional<std::size_t> stallAfterBytes;
    std::chrono::milliseconds stallFor{0};
    // After this many body bytes: close the connection (a reset mid-body).
    std::optional<std::size_t> dropAfterBytes;
    // Send the body with "Transfer-Encoding: chunked", one HTTP chunk per
    // piece; no Content-Length unless `announcedLength` forces one.
    bool chunkedTransfer = false;
    // The site adds Content-Length, Transfer-Encoding and "Connection: close"
    // itself; a route's own "Connection: close" header closes after the
    // answer. HEAD requests and 1xx, 204 and 304 answers carry no body.

    // Helpers for common answers.
    static Response Text(std::string body, std::string contentType = "text/html");
    static Response Status(int status, std::string body = {});
    static Response Redirect(const std::string& location, int status = 302);
    Response& Header(std::string name, std::string value);
};

using Handler = std::function<Response(const Request&)>;

class TestSite {
public:
    // Binds 127.0.0.1 on `port` (0: any free port) and starts serving;
    // throws std::runtime_error when the port cannot be bound.
    explicit TestSite(std::uint16_t port = 0);
    ~TestSite();  // stops at once, also cutting stalled answers short
    TestSite(const TestSite&) = delete;
    TestSite& operator=(const TestSite&) = delete;

    std::uint16_t port() const;
    // "http://127.0.0.1:<port>" for direct requests, and the same value as a
    // proxy address for http_proxy.
    std::string baseUrl() const;
    std::string proxyUrl() const;

    // Routes match host and path exactly (query ignored); an empty host
    // matches any host. Later routes for the same key replace earlier ones.
    // Unrouted requests get 404.
    void route(const std::string& host, const std::string& path, Handler handler);
    void route(const std::string& host, const std::string& path, Response response);
    // Answers every request that matches no route (instead of the 404).
    void fallback(Handler handler);

    // Every request received so far, in arrival order (thread-safe copies).
    std::vector<Request> requests() const;
    std::size_t requestCount(const std::string& path) const;
    void clearRequests();

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

// Compression helpers, also handy for building expected bodies in tests.
std::string GzipCompress(const std::string& data);
std::string ZlibCompress(const std::string& data);

// Sets http_proxy / HTTP_PROXY (and clears no_proxy) for this process so that
// every plain-http request goes to `site`; restores the old values on
// destruction.
class ProxyEnvironment {
public:
    explicit ProxyEnvironment(const TestSite& site);
    ~ProxyEnvironment();
    ProxyEnvironment(const ProxyEnvironment&) = delete;
    ProxyEnvironment& operator=(const ProxyEnvironment&) = delete;

private:
    std::map<std::string, std::optional<std::string>> saved_;
};

}  // namespace lumora::testsite
