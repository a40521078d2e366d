// A record of every page a process fetches, written into a folder as the
// pages arrive, so that a user's failing case can be replayed offline
// (lumora-sample-site --replay). The folder holds manifest.json and, for
// each page, NNNNNN.headers (status line and response headers, Set-Cookie
// lines removed) and NNNNNN.body (the body as FetchResult holds it); NNNNNN
// is the fetch's 1-based position in the manifest. Fetches into a save file
// (pictures, covers) are listed by address only. No request header, cookie
// or password is ever written.
#pragma once

#include <condition_variable>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace lumora {

struct FetchRequest;
struct FetchResult;

// The manifest's "format" and "version".
inline constexpr const char* kCaptureFormat = "lumora-capture";
inline constexpr int kCaptureVersion = 1;

class PageCapture {
public:
    // Starts the process's one capture into `folder`, creating it when
    // missing. An earlier capture there is replaced; a folder holding
    // anything else is refused. Null, with `error` saying why, when it
    // cannot start or another capture runs.
    static std::shared_ptr<PageCapture> Start(const std::filesystem::path& folder, std::vector<std::string> commandLine,
                                              std::string& error);
    ~PageCapture();
    PageCapture(const PageCapture&) = delete;
    PageCapture& operator=(const PageCapture&) = delete;

    // Ends the capture: later fetches are not recorded, the pages being
    // written are waited for and the manifest is written a last time. False,
    // with `error` set, when anything of the capture could not be written.
    bool Finish(std::string& error);

    // One finished transaction; FetchOnce calls it through CaptureTransaction.
    void Record(const FetchRequest& request, const FetchResult& result);

    struct Entry;

private:
    PageCapture(std::filesystem::path folder, std::vector<std::string> commandLine);
    void FlushLoop();
    std::string ManifestLocked() const;
    void Fail(std::string why);

    const std::filesystem::path folder_;
    const std::vector<std::string> commandLine_;
    const std::string created_;

    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<Entry> entries_;  // in fetch order; a page's files are written outside the lock
    int writing_ = 0;             // pages whose files are being written
    bool dirty_ = false;          // entries the manifest on disk lacks
    bool closed_ = false;         // Finish began: nothing more is recorded
    bool stopFlusher_ = false;
    std::string failure_;  // the first write that failed
    std::thread flusher_;  // rewrites the manifest, at most a few times a second
};

// Hands a finished transaction to the running capture; nothing when none runs.
void CaptureTransaction(const FetchRequest& request, const FetchResult& result);

// The address as a capture keeps it and the request line sends it: without
// user name, password and fragment, with no default port.
std::string CaptureAddress(const std::u16string& url);

// `headers` without its Set-Cookie and Set-Cookie2 lines (and their folded
// continuation lines).
std::string WithoutSetCookie(std::string_view headers);

// A program's arguments as a capture keeps them: no user name or password in
// an address, and the value of an option named for a cookie, password, token
// or other credential replaced by "<removed>".
std::vector<std::string> CaptureCommandLine(int argc, const char* const* argv);

}  // namespace lumora
