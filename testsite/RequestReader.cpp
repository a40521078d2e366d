#include "testsite/RequestReader.h"

#include <sys/socket.h>

#include <algorithm>
#include <cerrno>

namespace lumora::testsite {

namespace wire {

namespace {

constexpr std::size_t kMaxLine = 64 * 1024;
constexpr std::size_t kMaxHeaderLines = 200;
constexpr std::size_t kMaxBody = 64 * 1024 * 1024;
constexpr auto npos = std::string::npos;

char lowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; }

std::string_view trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
    return s;
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

bool parseSize(std::string_view text, int base, std::size_t& out) {
    text = trim(text);
    if (text.empty()) return false;
    std::size_t value = 0;
    for (char c : text) {
        int digit = (c >= '0' && c <= '9')                 ? c - '0'
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
        if (!parseSize(std::string_view(line).substr(0, line.find(';')), 16, size) || body.size() + size > kMaxBody)
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

}  // namespace

std::string toLower(std::string_view s) {
    std::string out(s);
    std::transform(out.begin(), out.end(), out.begin(), lowerAscii);
    return out;
}

bool equalsIgnoreCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return lowerAscii(x) == lowerAscii(y); });
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

bool sendAll(int fd, std::string_view data) {
    while (!data.empty()) {
        ssize_t n = ::send(fd, data.data(), data.size(), MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        data.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

bool Reader::line(std::string& out) {
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

bool Reader::exact(std::size_t count, std::string& out) {
    while (buffer_.size() < count)
        if (!fill()) return false;
    out.append(buffer_, 0, count);
    buffer_.erase(0, count);
    return true;
}

bool Reader::fill() {
    char chunk[16384];
    for (;;) {
        ssize_t n = ::recv(fd_, chunk, sizeof chunk, 0);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        buffer_.append(chunk, static_cast<std::size_t>(n));
        return true;
    }
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

}  // namespace wire

std::string Request::header(const std::string& name) const {
    for (const auto& [key, value] : headers)
        if (wire::equalsIgnoreCase(key, name)) return value;
    return {};
}

}  // namespace lumora::testsite
