#include "web/PageCapture.h"

#include <pthread.h>
#include <signal.h>

#include <curl/curl.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <system_error>

#include "base/UtcTime.h"
#include "text/StringCtrl.h"
#include "web/Address.h"
#include "web/AtomicFile.h"
#include "web/Fetch.h"

namespace lumora {

struct PageCapture::Entry {
    std::string json;     // the manifest's object; empty while the page's files are written
    bool page = false;    // else a fetch into a save file
    std::string address;  // kept for the object made when the files are done
    std::string method;
    long status = 0;
    std::string error;
};

namespace {

namespace fs = std::filesystem;

constexpr const char* kManifestName = "manifest.json";
// The manifest is rewritten whole, so a run of thousands of pictures
// rewrites it a few times a second at most, not once per picture.
constexpr auto kFlushInterval = std::chrono::milliseconds(250);

// Only the hook's first test is paid when no capture runs.
std::atomic<bool> g_capturing{false};
std::mutex g_activeMutex;
std::shared_ptr<PageCapture> g_active;

std::string ValidUtf8(std::string_view text) { return WideToUtf8(Utf8ToWide(text)); }

std::string JsonString(std::string_view text) {
    std::string out = "\"";
    for (const char c : ValidUtf8(text)) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (byte < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", byte);
            out += escaped;
        } else {
            out += c;
        }
    }
    return out + "\"";
}

std::string FileStem(std::size_t position) {
    char name[32];
    std::snprintf(name, sizeof name, "%06zu", position);
    return name;
}

bool AllDigits(std::string_view text) {
    return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// manifest.json, NNNNNN.headers, NNNNNN.body, or a temporary file of one of them.
bool IsCaptureName(std::string name) {
    if (const std::size_t part = name.rfind(".part-"); part != std::string::npos) name.resize(part);
    if (name == kManifestName) return true;
    for (std::string_view suffix : {".headers", ".body"}) {
        if (name.size() > suffix.size() && name.ends_with(suffix) &&
            AllDigits(std::string_view(name).substr(0, name.size() - suffix.size())))
            return true;
    }
    return false;
}

bool IsEarlierManifest(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::string head(4096, '\0');
    in.read(head.data(), static_cast<std::streamsize>(head.size()));
    head.resize(static_cast<std::size_t>(in.gcount()));
    return head.find(std::string("\"format\": \"") + kCaptureFormat + "\"") != std::string::npos;
}

// Makes `folder` ready for a new capture: created (private: its pages may be
// a logged-in member's) or emptied of an earlier capture. Empty on success.
std::string PrepareFolder(const fs::path& folder) {
    std::error_code ec;
    const fs::file_status status = fs::status(folder, ec);
    if (!fs::exists(status)) {
        if (!fs::create_directories(folder, ec) && ec) return "cannot create the folder: " + ec.message();
        fs::permissions(folder, fs::perms::owner_all, ec);
        return {};
    }
    if (!fs::is_directory(status)) return "not a folder";
    std::vector<fs::path> earlier;
    bool manifest = false;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (!IsCaptureName(name) || !it->is_regular_file(ec) || it->is_symlink(ec))
            return "the folder holds files that are not a capture (" + name +
                   "); name a new or empty folder, or an earlier capture";
        if (name == kManifestName) manifest = IsEarlierManifest(it->path());
        earlier.push_back(it->path());
    }
    if (ec) return "cannot read the folder: " + ec.message();
    if (!earlier.empty() && !manifest)
        return "the folder holds files but no capture manifest; name a new or empty folder, or an earlier capture";
    for (const fs::path& file : earlier) {
        if (!fs::remove(file, ec) && ec) return "cannot remove the earlier capture's " + file.filename().string();
    }
    return {};
}

bool IsCredentialOption(std::string name) {
    std::transform(name.begin(), name.end(), name.begin(), [](unsigned char c) { return std::tolower(c); });
    for (const char* word : {"cookie", "password", "passwd", "token", "auth", "secret", "credential"}) {
        if (name.find(word) != std::string::npos) return true;
    }
    return false;
}

std::string WithoutUserInfoText(const std::string& text) {
    if (text.find("://") == std::string::npos) return text;
    return WideToUtf8(WithoutUserInfo(Utf8ToWide(text)));
}

bool StartsWithIgnoreCase(std::string_view text, std::string_view prefix) {
    if (text.size() < prefix.size()) return false;
    for (std::size_t i = 0; i < prefix.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(text[i])) != std::tolower(static_cast<unsigned char>(prefix[i])))
            return false;
    }
    return true;
}

}  // namespace

std::string CaptureAddress(const std::u16string& url) {
    const std::string text = WideToUtf8(url);
    CURLU* parsed = curl_url();
    std::string address;
    char* out = nullptr;
    if (curl_url_set(parsed, CURLUPART_URL, text.c_str(), 0) == CURLUE_OK) {
        curl_url_set(parsed, CURLUPART_USER, nullptr, 0);
        curl_url_set(parsed, CURLUPART_PASSWORD, nullptr, 0);
        curl_url_set(parsed, CURLUPART_OPTIONS, nullptr, 0);
        curl_url_set(parsed, CURLUPART_FRAGMENT, nullptr, 0);
        if (curl_url_get(parsed, CURLUPART_URL, &out, CURLU_NO_DEFAULT_PORT) == CURLUE_OK) address = out;
        curl_free(out);
    }
    curl_url_cleanup(parsed);
    return address.empty() ? WideToUtf8(WithoutUserInfo(url)) : address;
}

std::string WithoutSetCookie(std::string_view headers) {
    std::string kept;
    bool dropping = false;
    while (!headers.empty()) {
        std::size_t end = headers.find('\n');
        end = end == std::string_view::npos ? headers.size() : end + 1;
        const std::string_view line = headers.substr(0, end);
        headers.remove_prefix(end);
        const bool continuation = !line.empty() && (line[0] == ' ' || line[0] == '\t');
        if (!continuation)
            dropping = StartsWithIgnoreCase(line, "set-cookie:") || StartsWithIgnoreCase(line, "set-cookie2:");
        if (!dropping) kept.append(line);
    }
    return kept;
}

std::vector<std::string> CaptureCommandLine(int argc, const char* const* argv) {
    std::vector<std::string> line;
    bool hideNext = false;
    for (int i = 0; i < argc; ++i) {
        std::string arg = argv[i] ? argv[i] : "";
        if (hideNext) {
            hideNext = false;
            line.push_back("<removed>");
            continue;
        }
        if (arg.starts_with("-")) {
            const std::size_t equals = arg.find('=');
            const std::string name = arg.substr(0, equals);
            if (IsCredentialOption(name)) {
                if (equals == std::string::npos) {
                    hideNext = true;
                    line.push_back(arg);
                } else {
                    line.push_back(name + "=<removed>");
                }
                continue;
            }
            if (equals != std::string::npos) arg = name + "=" + WithoutUserInfoText(arg.substr(equals + 1));
        } else {
            arg = WithoutUserInfoText(arg);
        }
        line.push_back(ValidUtf8(arg));
    }
    return line;
}

PageCapture::PageCapture(std::filesystem::path folder, std::vector<std::string> commandLine)
    : folder_(std::move(folder)), commandLine_(std::move(commandLine)), created_(UtcTimeNow()) {}

PageCapture::~PageCapture() {
    {
        std::lock_guard lock(mutex_);
        stopFlusher_ = true;
    }
    changed_.notify_all();
    if (flusher_.joinable()) flusher_.join();
}

std::shared_ptr<PageCapture> PageCapture::Start(const std::filesystem::path& folder,
                                                std::vector<std::string> commandLine, std::string& error) {
    std::lock_guard active(g_activeMutex);
    if (g_active) {
        error = "a capture is already running";
        return nullptr;
    }
    if (folder.empty()) {
        error = "no folder named";
        return nullptr;
    }
    error = PrepareFolder(folder);
    if (!error.empty()) return nullptr;
    std::shared_ptr<PageCapture> capture(new PageCapture(folder, std::move(commandLine)));
    // A manifest from the start: a run killed before its first page still
    // leaves a capture that a later one may replace.
    if (!WriteFileAtomically(folder / kManifestName, capture->ManifestLocked(), 0600)) {
        error = "cannot write " + (folder / kManifestName).string();
        return nullptr;
    }
    // Signals stay with the threads that wait for them (the interrupt watch).
    sigset_t all, previous;
    sigfillset(&all);
    pthread_sigmask(SIG_SETMASK, &all, &previous);
    capture->flusher_ = std::thread([raw = capture.get()] { raw->FlushLoop(); });
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    g_active = capture;
    g_capturing.store(true);
    return capture;
}

bool PageCapture::Finish(std::string& error) {
    {
        std::lock_guard active(g_activeMutex);
        if (g_active.get() == this) {
            g_capturing.store(false);
            g_active.reset();
        }
    }
    {
        std::unique_lock lock(mutex_);
        closed_ = true;
        changed_.wait(lock, [this] { return writing_ == 0; });
        stopFlusher_ = true;
    }
    changed_.notify_all();
    if (flusher_.joinable()) flusher_.join();
    std::string manifest;
    {
        std::lock_guard lock(mutex_);
        manifest = ManifestLocked();
        dirty_ = false;
    }
    if (!WriteFileAtomically(folder_ / kManifestName, manifest, 0600)) Fail("cannot write the manifest");
    std::lock_guard lock(mutex_);
    error = failure_;
    return failure_.empty();
}

void PageCapture::Fail(std::string why) {
    std::lock_guard lock(mutex_);
    if (failure_.empty()) failure_ = std::move(why);
}

void PageCapture::Record(const FetchRequest& request, const FetchResult& result) {
    Entry entry;
    entry.page = request.savePath.empty();
    entry.address = CaptureAddress(request.url);
    entry.method = WideToUtf8(request.verb);
    entry.status = result.httpStatus;
    if (result.error != FetchError::None) entry.error = DescribeFetchError(result.error);
    // Without an answer the headers are an earlier transaction's: nothing to keep.
    const bool files = entry.page && result.httpStatus != 0;
    auto objectOf = [](const Entry& e, const std::string& stem) {
        if (!e.page) return "{\"kind\": \"file\", \"address\": " + JsonString(e.address) + "}";
        std::string json = "{\"kind\": \"page\", \"address\": " + JsonString(e.address) +
                           ", \"method\": " + JsonString(e.method) + ", \"status\": " + std::to_string(e.status);
        if (!stem.empty()) json += ", \"headers\": \"" + stem + ".headers\", \"body\": \"" + stem + ".body\"";
        if (!e.error.empty()) json += ", \"error\": " + JsonString(e.error);
        return json + "}";
    };
    std::size_t position;
    {
        std::lock_guard lock(mutex_);
        if (closed_) return;
        position = entries_.size();
        if (files) {
            ++writing_;
        } else {
            entry.json = objectOf(entry, {});
            dirty_ = true;
        }
        entries_.push_back(std::move(entry));
    }
    if (!files) {
        changed_.notify_all();
        return;
    }
    // The headers as the client read them: FetchResult decoded their bytes as GBK.
    const std::string stem = FileStem(position + 1);
    const bool written =
        WriteFileAtomically(folder_ / (stem + ".headers"), WithoutSetCookie(WideToGbk(result.rawHeaders)), 0600) &&
        WriteFileAtomically(folder_ / (stem + ".body"), result.body, 0600);
    {
        std::lock_guard lock(mutex_);
        Entry& done = entries_[position];
        done.json = objectOf(done, written ? stem : std::string());
        if (!written && failure_.empty()) failure_ = "cannot write the files of " + done.address;
        --writing_;
        dirty_ = true;
    }
    changed_.notify_all();
}

std::string PageCapture::ManifestLocked() const {
    std::string json = "{\n  \"format\": \"" + std::string(kCaptureFormat) +
                       "\",\n  \"version\": " + std::to_string(kCaptureVersion) +
                       ",\n  \"created\": " + JsonString(created_) + ",\n  \"commandLine\": [";
    for (std::size_t i = 0; i < commandLine_.size(); ++i) json += (i ? ", " : "") + JsonString(commandLine_[i]);
    json += "],\n  \"fetches\": [";
    bool first = true;
    for (const Entry& entry : entries_) {
        if (entry.json.empty()) continue;  // its files are still being written
        json += (first ? "\n    " : ",\n    ") + entry.json;
        first = false;
    }
    return json + (first ? "]\n}\n" : "\n  ]\n}\n");
}

void PageCapture::FlushLoop() {
    std::unique_lock lock(mutex_);
    auto lastWrite = std::chrono::steady_clock::now() - kFlushInterval;
    while (true) {
        changed_.wait(lock, [this] { return dirty_ || stopFlusher_; });
        if (stopFlusher_) return;
        // Gathers what arrives within the interval into one write.
        if (changed_.wait_until(lock, lastWrite + kFlushInterval, [this] { return stopFlusher_; })) return;
        std::string manifest = ManifestLocked();
        dirty_ = false;
        lock.unlock();
        const bool written = WriteFileAtomically(folder_ / kManifestName, manifest, 0600);
        lastWrite = std::chrono::steady_clock::now();
        lock.lock();
        if (!written && failure_.empty()) failure_ = "cannot write the manifest";
    }
}

void CaptureTransaction(const FetchRequest& request, const FetchResult& result) {
    if (!g_capturing.load(std::memory_order_relaxed)) return;
    std::shared_ptr<PageCapture> capture;
    {
        std::lock_guard lock(g_activeMutex);
        capture = g_active;
    }
    if (capture) capture->Record(request, result);
}

}  // namespace lumora
