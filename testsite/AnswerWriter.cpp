#include "testsite/AnswerWriter.h"

#include <algorithm>
#include <cstdio>
#include <string_view>

#include "testsite/RequestReader.h"

namespace lumora::testsite {

namespace {

constexpr auto npos = std::string::npos;

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

}  // namespace

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

namespace wire {

namespace {

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

std::string encodeBody(const Response& response) {
    switch (response.encoding) {
    case BodyEncoding::Gzip: return GzipCompress(response.body);
    case BodyEncoding::Zlib: return ZlibCompress(response.body);
    case BodyEncoding::None: break;
    }
    return response.body;
}

Framing frame(const Request& request, const Response& response, std::uint64_t length, bool keepAlive) {
    Framing framing;
    framing.streamed = static_cast<bool>(response.streamedBody);
    framing.bodyless =
        request.method == "HEAD" || response.status < 200 || response.status == 204 || response.status == 304;
    framing.chunked = response.chunkedTransfer;
    framing.length = length;
    if (response.announceLength && (response.announcedLength || !framing.chunked))
        framing.announced = response.announcedLength.value_or(length);
    // Broken framing leaves the client unable to find the next answer.
    const bool framed = framing.bodyless || (framing.chunked ? !framing.announced : framing.announced == length);
    for (const auto& [name, value] : response.headers)
        if (equalsIgnoreCase(name, "Connection") && hasToken(value, "close")) framing.routeCloses = true;
    framing.close = !keepAlive || !framed || response.dropAfterBytes.has_value() || framing.routeCloses;
    return framing;
}

std::string headOf(const Response& response, const Framing& framing) {
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
bool trickleHead(int fd, const Response& response, std::string& head, const Pause& pause) {
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
bool isShaped(const Response& response) {
    return response.chunkedTransfer || response.streamedBody || response.chunkSize > 0 || response.stallAfterBytes ||
           response.dropAfterBytes;
}

bool sendChunk(int fd, std::string_view part) {
    char size[32];
    std::snprintf(size, sizeof size, "%zx\r\n", part.size());
    return sendAll(fd, std::string(size) + std::string(part) + "\r\n");
}

// Bytes [from, to) of a streamed body, made a bounded piece at a time so
// that a huge body costs no memory; one HTTP chunk when `chunked`.
bool sendStreamed(int fd, const Response& response, std::size_t from, std::size_t to, bool chunked) {
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

// Bytes [from, to) of the body, one HTTP chunk when chunked.
bool sendPiece(int fd, const Response& response, const Framing& framing, std::string_view body, std::size_t from,
               std::size_t to) {
    if (framing.streamed) return sendStreamed(fd, response, from, to, framing.chunked);
    const std::string_view part = body.substr(from, to - from);
    return framing.chunked ? sendChunk(fd, part) : sendAll(fd, part);
}

// The body in the route's pieces, with its pauses, stall and drop.
Outcome sendShapedBody(int fd, const Response& response, const Framing& framing, std::string_view body,
                       const Pause& pause) {
    const std::size_t size = framing.bodyless ? 0 : framing.length;
    std::size_t stallAt =
        response.stallAfterBytes && *response.stallAfterBytes <= size ? *response.stallAfterBytes : npos;
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

}  // namespace

Outcome writeAnswer(int fd, const Request& request, const Response& response, bool keepAlive, const Pause& pause) {
    const bool streamed = static_cast<bool>(response.streamedBody);
    const std::string encoded = streamed ? std::string() : encodeBody(response);
    const Framing framing = frame(request, response, streamed ? response.streamedLength : encoded.size(), keepAlive);
    std::string head = headOf(response, framing);
    if (!pause(response.delayBeforeHeaders) || !trickleHead(fd, response, head, pause)) return Outcome::Close;
    const std::string_view body = framing.bodyless ? std::string_view{} : std::string_view(encoded);
    if (!isShaped(response))
        return sendAll(fd, head + std::string(body)) && !framing.close ? Outcome::KeepOpen : Outcome::Close;
    if (!sendAll(fd, head)) return Outcome::Close;
    return sendShapedBody(fd, response, framing, body, pause);
}

}  // namespace wire

}  // namespace lumora::testsite
