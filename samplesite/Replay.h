// Answers again what lumora-cli --capture wrote: every captured page with its
// status, headers and body, matched by the request's absolute address, so a
// user's failing case runs offline (lumora-sample-site --replay).
#pragma once

#include <cstddef>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "testsite/TestSite.h"

namespace lumora::samplesite {

class CaptureReplay {
public:
    // Reads the capture's manifest and header files; throws
    // std::runtime_error saying what is wrong. Bodies are read when asked for.
    explicit CaptureReplay(const std::filesystem::path& folder);

    // The answer to `request`: the next captured answer for its method and
    // address (in capture order, the last one again once they are used up),
    // a small JPEG for a picture address the capture lists, else 404.
    testsite::Response Answer(const testsite::Request& request);

    // The captured command line, as the capture kept it.
    const std::vector<std::string>& commandLine() const { return commandLine_; }
    std::size_t pageCount() const { return pageCount_; }
    std::size_t pictureCount() const { return pictures_.size(); }

private:
    struct Page {
        int status = 0;
        std::string reason;
        std::vector<std::pair<std::string, std::string>> headers;
        std::filesystem::path body;
    };
    struct Answers {
        std::vector<Page> pages;
        std::size_t next = 0;
    };

    std::filesystem::path folder_;
    std::vector<std::string> commandLine_;
    std::size_t pageCount_ = 0;
    std::map<std::pair<std::string, std::string>, Answers> answers_;  // by method and address
    std::map<std::string, int> pictures_;                             // address -> its number, for its artwork
    std::mutex mutex_;
};

// "http://host[:port]/path?query" as a replay compares it: scheme and host in
// lower case, no default port, no fragment.
std::string ReplayAddressKey(const std::string& address);
// The absolute address a request asks for: its proxy-form target, or the
// Host header and the origin-form target.
std::string RequestAddress(const testsite::Request& request);

// Lets `site` answer from `replay` every request its routes do not take;
// `onRequest`, when set, sees each one first.
void ServeReplay(testsite::TestSite& site, std::shared_ptr<CaptureReplay> replay,
                 std::function<void(const testsite::Request&)> onRequest = {});

}  // namespace lumora::samplesite
