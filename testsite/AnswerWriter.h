// Writing a route's answer on a test-site connection: the framing it asks for
// (length, chunks, connection close) and its shaping (trickled headers,
// pieces with pauses, a stall, a cut).
#pragma once

#include <chrono>
#include <functional>

#include "testsite/TestSite.h"

namespace lumora::testsite::wire {

enum class Outcome { KeepOpen, Close, Reset };

// Waits for the duration; false at once when the site is stopping.
using Pause = std::function<bool(std::chrono::milliseconds)>;

Outcome writeAnswer(int fd, const Request& request, const Response& response, bool keepAlive, const Pause& pause);

}  // namespace lumora::testsite::wire
