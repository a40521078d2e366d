#include "testsite/TestSite.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <linux/sockios.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <list>
#include <mutex>
#include <stdexcept>
#include <string_view>
#include <thread>

namespace lumora::testsite {

namespace {

constexpr std::size_t kMaxLine = 64 * 1024;
constexpr std::size_t kMaxHeaderLines = 200;
constexpr std::size_t kMaxBody = 64 * 1024 * 1024;
constexpr auto npos = std::string::npos;

char lowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; }

std::string toLower(std::string_view s) {
    std::string out(s);
    std::transform(out.begin(), out.end(), out.begin(), lowerAscii);
    return out;
}

bool equalsIgnoreCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(),
                      [](char x, char y) { return lowerAscii(x) == lowerAscii(y); });
}

std::string_view trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
    return s;
}

// True if a comma-separated header value such as "Connection" lists `token`.
bool hasToken(std::string_view value, std::string_view token) {
    while (!value.empty()) {
        auto comma = value.find(',');
        if (equalsIgnoreCase(trim(value.substr(0, comma)), token)) return true;
        if (comma == npos) break;
        value.remove_prefix(comma + 1);
    }
    return false;
}

const char* reasonPhrase(int status) {
    switch (status) {
        case 100: return "Continue";
        case 200: return "OK";
        case 201: return "Created";
        case 204: return "No Content";
        case 206: return "Partial Content";
        case 301: return "Moved Permanently";
        case 302: return "Found";
        case 303: return "See Other";
        case 304: return "Not Modified";
        case 307: return "Temporary Redirect";
        case 308: return "Permanent Redirect";
        case 400: return "Bad Request";
        case 401: return "Unauthorized";
        case 403: return "Forbidden";
        case 404: return "Not Found";
        case 405: return "Method Not Allowed";
        case 408: return "Request Timeout";
        case 410: return "Gone";
        case 429: return "Too Many Requests";
        case 500: return "Internal Server Error";
        case 502: return "Bad Gateway";
        case 503: return "Service Unavailable";
        case 504: return "Gateway Timeout";
        default: return "Unknown";
    }
}

// "user@host:port" or "[::1]:port" -> lower-case host without the port.
std::string hostOf(std::string_view authority) {
    if (auto at = authority.rfind('@'); at != npos) authority.remove_prefix(at + 1);
    if (!authority.empty() && authority.front() == '[') {
        auto close = authority.find(']');
        return toLower(authority.substr(0, close == npos ? npos : close + 1));
    }
    return toLower(authority.substr(0, authority.find(':')));
}

// Fills host, path and query from the target and the Host header.
void splitTarget(Request& request) {
    std::string_view rest = request.target;
    bool absolute = rest.front() != '/' && rest.find("://") != npos;
    if (absolute) {
        rest.remove_prefix(rest.find("://") + 3);
        auto end = rest.find_first_of("/?#");
        request.host = hostOf(rest.substr(0, end));
        rest = end == npos ? std::string_view{} : rest.substr(end);
    } else {
        request.host = hostOf(request.header("Host"));
    }
    rest = rest.substr(0, rest.find('#'));
    auto question = rest.find('?');
    request.path = std::string(rest.substr(0, question));
    request.query = question == npos ? std::string{} : std::string(rest.substr(question + 1));
    if (request.path.empty()) request.path = "/";
}

std::string deflateWith(const std::string& data, int windowBits) {
    z_stream zs{};
    if (deflateInit2(&zs, Z_DEFAULT_COMPRESSION, Z_DEFLATED, windowBits, 8, Z_DEFAULT_STRATEGY) != Z_OK)
        throw std::runtime_error("deflateInit2 failed");
    std::string out(deflateBound(&zs, data.size()), '\0');
    zs.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
    zs.avail_in = static_cast<uInt>(data.size());
    zs.next_out = reinterpret_cast<Bytef*>(out.data());
    zs.avail_out = static_cast<uInt>(out.size());
    int rc = deflate(&zs, Z_FINISH);
    out.resize(zs.total_out);
    deflateEnd(&zs);
    if (rc != Z_STREAM_END) throw std::runtime_error("deflate failed");
    return out;
}

bool sendAll(int fd, std::string_view data) {
    while (!data.empty()) {
        ssize_t n = ::send(fd, data.data(), data.size(), MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        data.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

// Buffered reading of one connection; leftover bytes carry over to the
// next request so pipelined requests are not lost.
class Reader {
public:
    explicit Reader(int fd) : fd_(fd) {}

    // One line without its CR LF; false at end of stream or on an overlong line.
    bool line(std::string& out) {
        std::size_t scanned = 0;
        for (;;) {
            auto nl = buffer_.find('\n', scanned);
            if (nl != npos) {
                std::size_t end = (nl > 0 && buffer_[nl - 1] == '\r') ? nl - 1 : nl;
                out.assign(buffer_, 0, end);
                buffer_.erase(0, nl + 1);
                return true;
            }
            scanned = buffer_.size();
            if (scanned > kMaxLine || !fill()) return false;
        }
    }

    bool exact(std::size_t count, std::string& out) {
        while (buffer_.size() < count)
            if (!fill()) return false;
        out.append(buffer_, 0, count);
        buffer_.erase(0, count);
        return true;
    }

private:
    bool fill() {
        char chunk[16384];
        for (;;) {
            ssize_t n = ::recv(fd_, chunk, sizeof chunk, 0);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) return false;
            buffer_.append(chunk, static_cast<std::size_t>(n));
            return true;
        }
    }

    int fd_;
    std::string buffer_;
};

enum class ReadStatus { Ok, Closed, Bad };

bool parseSize(std::string_view text, int base, std::size_t& out) {
    text = trim(text);
    if (text.empty()) return false;
    std::size_t value = 0;
    for (char c : text) {
        int digit = (c >= '0' && c <= '9') ? c - '0'
                    : (base == 16 && c >= 'a' && c <= 'f') ? c - 'a' + 10
                    : (base == 16 && c >= 'A' && c <= 'F') ? c - 'A' + 10
                                                           : -1;
        if (digit < 0) return false;
        value = value * base + digit;
        if (value > kMaxBody) return false;
    }
    out = value;
    return true;
}

ReadStatus readChunkedBody(Reader& reader, std::string& body) {
    std::string line;
    for (;;) {
        if (!reader.line(line)) return ReadStatus::Closed;
        std::size_t size = 0;
        if (!parseSize(std::string_view(line).substr(0, line.find(';')), 16, size) ||
            body.size() + size > kMaxBody)
            return ReadStatus::Bad;
        if (size == 0) break;
        if (!reader.exact(size, body) || !reader.line(line)) return ReadStatus::Closed;
        if (!line.empty()) return ReadStatus::Bad;
    }
    do {  // trailer fields, ignored
        if (!reader.line(line)) return ReadStatus::Closed;
    } while (!line.empty());
    return ReadStatus::Ok;
}

// Reads one request; `keepAlive` tells whether the client allows another.
ReadStatus readRequest(Reader& reader, int fd, Request& request, bool& keepAlive) {
    std::string line;
    do {  // stray empty lines before a request are allowed
        if (!reader.line(line)) return ReadStatus::Closed;
    } while (line.empty());

    auto firstSpace = line.find(' ');
    auto lastSpace = line.rfind(' ');
    if (firstSpace == npos || lastSpace == firstSpace) return ReadStatus::Bad;
    request.method = line.substr(0, firstSpace);
    request.target = std::string(trim(std::string_view(line).substr(firstSpace + 1, lastSpace - firstSpace - 1)));
    std::string version = line.substr(lastSpace + 1);
    if (request.target.empty() || version.rfind("HTTP/", 0) != 0) return ReadStatus::Bad;

    for (;;) {
        if (!reader.line(line)) return ReadStatus::Closed;
        if (line.empty()) break;
        if (request.headers.size() >= kMaxHeaderLines) return ReadStatus::Bad;
        if ((line.front() == ' ' || line.front() == '\t') && !request.headers.empty()) {
            request.headers.back().second += ' ';  // obsolete line folding
            request.headers.back().second += trim(line);
            continue;
        }
        auto colon = line.find(':');
        if (colon == npos || colon == 0) return ReadStatus::Bad;
        request.headers.emplace_back(line.substr(0, colon),
                                     std::string(trim(std::string_view(line).substr(colon + 1))));
    }
    splitTarget(request);

    std::string connection = request.header("Connection");
    keepAlive = version == "HTTP/1.0" ? hasToken(connection, "keep-alive") : !hasToken(connection, "close");

    bool chunked = hasToken(request.header("Transfer-Encoding"), "chunked");
    std::size_t length = 0;
    std::string lengthText = request.header("Content-Length");
    if (!chunked && !lengthText.empty() && !parseSize(lengthText, 10, length)) return ReadStatus::Bad;
    if ((chunked || length > 0) && hasToken(request.header("Expect"), "100-continue") &&
        !sendAll(fd, "HTTP/1.1 100 Continue\r\n\r\n"))
        return ReadStatus::Closed;
    if (chunked) return readChunkedBody(reader, request.body);
    return reader.exact(length, request.body) ? ReadStatus::Ok : ReadStatus::Closed;
}

}  // namespace

std::string Request::header(const std::string& name) const {
    for (const auto& [key, value] : headers)
        if (equalsIgnoreCase(key, name)) return value;
    return {};
}

Response Response::Text(std::string body, std::string contentType) {
    Response response;
    response.body = std::move(body);
    response.headers.emplace_back("Content-Type", std::move(contentType));
    return response;
}

Response Response::Status(int status, std::string body) {
    Response response;
    response.status = status;
    response.body = std::move(body);
    return response;
}

Response Response::Redirect(const std::string& location, int status) {
    Response response;
    response.status = status;
    response.headers.emplace_back("Location", location);
    return response;
}

Response& Response::Header(std::string name, std::string value) {
    headers.emplace_back(std::move(name), std::move(value));
    return *this;
}

std::string GzipCompress(const std::string& data) { return deflateWith(data, 15 + 16); }
std::string ZlibCompress(const std::string& data) { return deflateWith(data, 15); }

struct TestSite::Impl {
    struct Connection {
        int fd = -1;
        bool done = false;
        std::thread thread;
    };
    enum class Outcome { KeepOpen, Close, Reset };

    int listenFd = -1;
    int wakePipe[2] = {-1, -1};
    std::uint16_t port = 0;
    std::thread acceptThread;

    mutable std::mutex mutex;   // guards everything below
    std::condition_variable wake;  // cuts every pause short when stopping
    bool stopping = false;
    std::list<Connection> connections;  // a list: threads hold references
    std::map<std::pair<std::string, std::string>, Handler> routes;
    Handler fallback;
    std::vector<Request> log;

    Impl() {
        listenFd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (listenFd < 0) fail("socket");
        int one = 1;
        ::setsockopt(listenFd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = 0;
        if (::bind(listenFd, reinterpret_cast<sockaddr*>(&address), sizeof address) < 0) fail("bind");
        if (::listen(listenFd, SOMAXCONN) < 0) fail("listen");
        socklen_t size = sizeof address;
        if (::getsockname(listenFd, reinterpret_cast<sockaddr*>(&address), &size) < 0) fail("getsockname");
        port = ntohs(address.sin_port);
        if (::pipe2(wakePipe, O_CLOEXEC) < 0) fail("pipe2");
        acceptThread = std::thread(&Impl::acceptLoop, this);
    }

    ~Impl() {
        {
            std::lock_guard lock(mutex);
            stopping = true;
            for (auto& connection : connections)
                if (connection.fd >= 0) ::shutdown(connection.fd, SHUT_RDWR);
        }
        wake.notify_all();
        if (wakePipe[1] >= 0) {
            [[maybe_unused]] auto written = ::write(wakePipe[1], "x", 1);
        }
        if (acceptThread.joinable()) acceptThread.join();
        // The accept thread is gone, so the list no longer grows.
        for (auto& connection : connections) connection.thread.join();
        for (int fd : {listenFd, wakePipe[0], wakePipe[1]})
            if (fd >= 0) ::close(fd);
    }

    [[noreturn]] void fail(const char* what) {
        std::string message = std::string("TestSite: ") + what + ": " + std::strerror(errno);
        for (int fd : {listenFd, wakePipe[0], wakePipe[1]})
            if (fd >= 0) ::close(fd);
        listenFd = wakePipe[0] = wakePipe[1] = -1;
        throw std::runtime_error(message);
    }

    // Waits, but returns false at once when the site is stopping.
    bool pause(std::chrono::milliseconds duration) {
        std::unique_lock lock(mutex);
        if (duration.count() > 0) wake.wait_for(lock, duration, [this] { return stopping; });
        return !stopping;
    }

    void acceptLoop() {
        for (;;) {
            pollfd fds[2] = {{listenFd, POLLIN, 0}, {wakePipe[0], POLLIN, 0}};
            if (::poll(fds, 2, -1) < 0) {
                if (errno == EINTR) continue;
                return;
            }
            if (fds[1].revents != 0) return;
            reapFinished();
            int fd = ::accept4(listenFd, nullptr, nullptr, SOCK_CLOEXEC);
            if (fd < 0) {
                // Out of descriptors or similar: do not spin.
                if (errno != EINTR && errno != ECONNABORTED && !pause(std::chrono::milliseconds(10))) return;
                continue;
            }
            int one = 1;
            ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
            std::lock_guard lock(mutex);
            if (stopping) {
                ::close(fd);
                return;
            }
            auto& connection = connections.emplace_back();
            connection.fd = fd;
            connection.thread = std::thread(&Impl::serve, this, std::ref(connection));
        }
    }

    void reapFinished() {
        std::list<Connection> finished;
        {
            std::lock_guard lock(mutex);
            for (auto it = connections.begin(); it != connections.end();) {
                auto next = std::next(it);
                if (it->done) finished.splice(finished.end(), connections, it);
                it = next;
            }
        }
        for (auto& connection : finished) connection.thread.join();
    }

    void serve(Connection& connection) {
        const int fd = connection.fd;  // only this thread changes it
        Reader reader(fd);
        Outcome outcome = Outcome::Close;
        for (;;) {
            Request request;
            bool keepAlive = true;
            ReadStatus status = readRequest(reader, fd, request, keepAlive);
            if (status == ReadStatus::Closed) break;
            if (status == ReadStatus::Bad) {
                sendAll(fd, "HTTP/1.1 400 Bad Request\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
                break;
            }
            {
                std::lock_guard lock(mutex);
                log.push_back(request);
            }
            outcome = answer(fd, request, dispatch(request), keepAlive);
            if (outcome != Outcome::KeepOpen) break;
        }
        finish(connection, outcome == Outcome::Reset);
    }

    void finish(Connection& connection, bool reset) {
        if (reset) {
            // Let the bytes already sent reach the client before the reset
            // overtakes them.
            for (int i = 0; i < 200; ++i) {
                int unsent = 0;
                if (::ioctl(connection.fd, SIOCOUTQ, &unsent) < 0 || unsent == 0) break;
                if (!pause(std::chrono::milliseconds(5))) break;
            }
            linger hard{1, 0};
            ::setsockopt(connection.fd, SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
        } else {
            ::shutdown(connection.fd, SHUT_WR);
        }
        std::lock_guard lock(mutex);
        ::close(connection.fd);
        connection.fd = -1;
        connection.done = true;
    }

    Response dispatch(const Request& request) {
        Handler handler;
        {
            std::lock_guard lock(mutex);
            auto it = routes.find({request.host, request.path});
            if (it == routes.end()) it = routes.find({std::string{}, request.path});
            handler = it != routes.end() ? it->second : fallback;
        }
        if (!handler) return Response::Status(404, "Not Found");
        try {
            return handler(request);
        } catch (const std::exception& error) {
            return Response::Status(500, error.what());
        } catch (...) {
            return Response::Status(500, "handler failed");
        }
    }

    // How an answer goes on the wire, settled before anything is sent.
    struct Framing {
        bool streamed = false;
        bool bodyless = false;
        bool chunked = false;
        std::uint64_t length = 0;                // of the encoded or streamed body
        std::optional<std::uint64_t> announced;  // the Content-Length sent, if any
        bool routeCloses = false;                // the route sent "Connection: close" itself
        bool close = false;                      // the connection ends after this answer
    };

    Outcome answer(int fd, const Request& request, const Response& response, bool keepAlive) {
        const bool streamed = static_cast<bool>(response.streamedBody);
        const std::string encoded = streamed ? std::string() : encodeBody(response);
        const Framing framing =
            frame(request, response, streamed ? response.streamedLength : encoded.size(), keepAlive);
        std::string head = headOf(response, framing);
        if (!pause(response.delayBeforeHeaders) || !trickleHead(fd, response, head)) return Outcome::Close;
        const std::string_view body = framing.bodyless ? std::string_view{} : std::string_view(encoded);
        if (!isShaped(response))
            return sendAll(fd, head + std::string(body)) && !framing.close ? Outcome::KeepOpen : Outcome::Close;
        if (!sendAll(fd, head)) return Outcome::Close;
        return sendShapedBody(fd, response, framing, body);
    }

    static std::string encodeBody(const Response& response) {
        switch (response.encoding) {
            case BodyEncoding::Gzip: return GzipCompress(response.body);
            case BodyEncoding::Zlib: return ZlibCompress(response.body);
            case BodyEncoding::None: break;
        }
        return response.body;
    }

    static Framing frame(const Request& request, const Response& response, std::uint64_t length, bool keepAlive) {
        Framing framing;
        framing.streamed = static_cast<bool>(response.streamedBody);
        framing.bodyless = request.method == "HEAD" || response.status < 200 || response.status == 204 ||
                           response.status == 304;
        framing.chunked = response.chunkedTransfer;
        framing.length = length;
        if (response.announceLength && (response.announcedLength || !framing.chunked))
            framing.announced = response.announcedLength.value_or(length);
        // Broken framing leaves the client unable to find the next answer.
        const bool framed =
            framing.bodyless || (framing.chunked ? !framing.announced : framing.announced == length);
        for (const auto& [name, value] : response.headers)
            if (equalsIgnoreCase(name, "Connection") && hasToken(value, "close")) framing.routeCloses = true;
        framing.close = !keepAlive || !framed || response.dropAfterBytes.has_value() || framing.routeCloses;
        return framing;
    }

    static std::string headOf(const Response& response, const Framing& framing) {
        std::string head = "HTTP/1.1 " + std::to_string(response.status) + ' ' +
                           (response.reason.empty() ? reasonPhrase(response.status) : response.reason) + "\r\n";
        for (const auto& [name, value] : response.headers) head += name + ": " + value + "\r\n";
        if (framing.announced) head += "Content-Length: " + std::to_string(*framing.announced) + "\r\n";
        if (framing.chunked) head += "Transfer-Encoding: chunked\r\n";
        if (framing.close && !framing.routeCloses) head += "Connection: close\r\n";
        head += "\r\n";
        return head;
    }

    // Interim answers and trickled header lines go out here, each line
    // followed by the pause; what is left of `head` is the blank line that
    // ends it, sent with what follows. False when the site is stopping or the
    // client went away.
    bool trickleHead(int fd, const Response& response, std::string& head) {
        if (response.interimAnswers == 0 && response.headerLineDelay.count() == 0) return true;
        std::string lines;
        for (int k = 0; k < response.interimAnswers; ++k) lines += "HTTP/1.1 100 Continue\r\n\r\n";
        lines += head;
        lines.resize(lines.size() - 2);
        for (std::size_t start = 0; start < lines.size();) {
            const std::size_t end = lines.find("\r\n", start) + 2;
            if (!sendAll(fd, std::string_view(lines).substr(start, end - start)) || !pause(response.headerLineDelay))
                return false;
            start = end;
        }
        head = "\r\n";
        return true;
    }

    // Only an answer sent whole can go in one piece with its head.
    static bool isShaped(const Response& response) {
        return response.chunkedTransfer || response.streamedBody || response.chunkSize > 0 ||
               response.stallAfterBytes || response.dropAfterBytes;
    }

    // The body in the route's pieces, with its pauses, stall and drop.
    Outcome sendShapedBody(int fd, const Response& response, const Framing& framing, std::string_view body) {
        const std::size_t size = framing.bodyless ? 0 : framing.length;
        std::size_t stallAt = response.stallAfterBytes && *response.stallAfterBytes <= size
                                  ? *response.stallAfterBytes : npos;
        const std::size_t dropAt = response.dropAfterBytes ? std::min(*response.dropAfterBytes, size) : npos;
        const std::size_t piece = response.chunkSize > 0 ? response.chunkSize : std::max<std::size_t>(size, 1);
        for (std::size_t sent = 0;;) {
            if (sent == stallAt) {
                stallAt = npos;
                if (!pause(response.stallFor)) return Outcome::Close;
            }
            if (sent == dropAt) return Outcome::Reset;
            if (sent == size) break;
            if (sent > 0 && sent % piece == 0 && !pause(response.chunkDelay)) return Outcome::Close;
            // A piece ends early at the stall or the drop, so both happen at their exact byte.
            std::size_t end = std::min(size, (sent / piece + 1) * piece);
            if (stallAt > sent) end = std::min(end, stallAt);
            if (dropAt > sent) end = std::min(end, dropAt);
            if (!sendPiece(fd, response, framing, body, sent, end)) return Outcome::Close;
            sent = end;
        }
        if (framing.chunked && !framing.bodyless && !sendAll(fd, "0\r\n\r\n")) return Outcome::Close;
        return framing.close ? Outcome::Close : Outcome::KeepOpen;
    }

    // Bytes [from, to) of the body, one HTTP chunk when chunked.
    static bool sendPiece(int fd, const Response& response, const Framing& framing, std::string_view body,
                          std::size_t from, std::size_t to) {
        if (framing.streamed) return sendStreamed(fd, response, from, to, framing.chunked);
        const std::string_view part = body.substr(from, to - from);
        return framing.chunked ? sendChunk(fd, part) : sendAll(fd, part);
    }

    static bool sendChunk(int fd, std::string_view part) {
        char size[32];
        std::snprintf(size, sizeof size, "%zx\r\n", part.size());
        return sendAll(fd, std::string(size) + std::string(part) + "\r\n");
    }

    // Bytes [from, to) of a streamed body, made a bounded piece at a time so
    // that a huge body costs no memory; one HTTP chunk when `chunked`.
    static bool sendStreamed(int fd, const Response& response, std::size_t from, std::size_t to, bool chunked) {
        if (chunked) {
            char size[32];
            std::snprintf(size, sizeof size, "%zx\r\n", to - from);
            if (!sendAll(fd, size)) return false;
        }
        std::string piece(std::min<std::size_t>(to - from, 256 * 1024), '\0');
        while (from < to) {
            const std::size_t n = std::min(to - from, piece.size());
            response.streamedBody(from, piece.data(), n);
            if (!sendAll(fd, std::string_view(piece.data(), n))) return false;
            from += n;
        }
        return !chunked || sendAll(fd, "\r\n");
    }
};

TestSite::TestSite() : impl_(std::make_unique<Impl>()) {}
TestSite::~TestSite() = default;

std::uint16_t TestSite::port() const { return impl_->port; }
std::string TestSite::baseUrl() const { return "http://127.0.0.1:" + std::to_string(impl_->port); }
std::string TestSite::proxyUrl() const { return baseUrl(); }

void TestSite::route(const std::string& host, const std::string& path, Handler handler) {
    std::lock_guard lock(impl_->mutex);
    impl_->routes[{toLower(host), path}] = std::move(handler);
}

void TestSite::route(const std::string& host, const std::string& path, Response response) {
    route(host, path, [response = std::move(response)](const Request&) { return response; });
}

void TestSite::fallback(Handler handler) {
    std::lock_guard lock(impl_->mutex);
    impl_->fallback = std::move(handler);
}

std::vector<Request> TestSite::requests() const {
    std::lock_guard lock(impl_->mutex);
    return impl_->log;
}

std::size_t TestSite::requestCount(const std::string& path) const {
    std::lock_guard lock(impl_->mutex);
    return static_cast<std::size_t>(
        std::count_if(impl_->log.begin(), impl_->log.end(), [&](const Request& r) { return r.path == path; }));
}

void TestSite::clearRequests() {
    std::lock_guard lock(impl_->mutex);
    impl_->log.clear();
}

namespace {
constexpr const char* kProxyVariables[] = {"http_proxy", "HTTP_PROXY", "no_proxy", "NO_PROXY"};
}

ProxyEnvironment::ProxyEnvironment(const TestSite& site) {
    for (const char* name : kProxyVariables) {
        const char* value = std::getenv(name);
        saved_[name] = value ? std::optional<std::string>(value) : std::nullopt;
    }
    const std::string proxy = site.proxyUrl();
    ::setenv("http_proxy", proxy.c_str(), 1);
    ::setenv("HTTP_PROXY", proxy.c_str(), 1);
    ::unsetenv("no_proxy");
    ::unsetenv("NO_PROXY");
}

ProxyEnvironment::~ProxyEnvironment() {
    for (const auto& [name, value] : saved_) {
        if (value)
            ::setenv(name.c_str(), value->c_str(), 1);
        else
            ::unsetenv(name.c_str());
    }
}

}  // namespace lumora::testsite
