// Reading HTTP/1.1 requests off a test-site connection, and the few text and
// socket helpers that writing the answers shares.
#pragma once

#include <string>
#include <string_view>

#include "testsite/TestSite.h"

namespace lumora::testsite::wire {

std::string toLower(std::string_view s);
bool equalsIgnoreCase(std::string_view a, std::string_view b);
// True if a comma-separated header value such as "Connection" lists `token`.
bool hasToken(std::string_view value, std::string_view token);
// False when the peer went away.
bool sendAll(int fd, std::string_view data);

// Buffered reading of one connection; leftover bytes carry over to the
// next request so pipelined requests are not lost.
class Reader {
public:
    explicit Reader(int fd) : fd_(fd) {}

    // One line without its CR LF; false at end of stream or on an overlong line.
    bool line(std::string& out);
    bool exact(std::size_t count, std::string& out);

private:
    bool fill();

    int fd_;
    std::string buffer_;
};

enum class ReadStatus { Ok, Closed, Bad };

// Reads one request; `keepAlive` tells whether the client allows another.
// Answers "Expect: 100-continue" itself.
ReadStatus readRequest(Reader& reader, int fd, Request& request, bool& keepAlive);

}  // namespace lumora::testsite::wire
