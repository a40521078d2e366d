#include "web/CookieStore.h"

#include "web/AtomicFile.h"

#include <curl/curl.h>

#include <array>
#include <ctime>
#include <fstream>
#include <memory>
#include <sstream>
#include <stdexcept>

namespace lumora {
namespace {

// One lock per kind of shared data, so cookie look-ups do not wait for
// connection-cache updates and vice versa.
std::array<std::mutex, CURL_LOCK_DATA_LAST> g_shareLocks;

void LockShare(CURL*, curl_lock_data data, curl_lock_access, void*) {
    g_shareLocks[static_cast<std::size_t>(data)].lock();
}

void UnlockShare(CURL*, curl_lock_data data, void*) {
    g_shareLocks[static_cast<std::size_t>(data)].unlock();
}

// Open connections kept for reuse: every download worker's and the page
// reader's, with room to spare.
constexpr long kKeptConnections = 32;

struct EasyDeleter {
    void operator()(CURL* easy) const { curl_easy_cleanup(easy); }
};
using EasyHandle = std::unique_ptr<CURL, EasyDeleter>;

std::vector<std::string> SplitFields(const std::string& line) {
    std::vector<std::string> fields;
    std::size_t start = 0;
    while (true) {
        std::size_t tab = line.find('\t', start);
        fields.push_back(line.substr(start, tab == std::string::npos ? std::string::npos : tab - start));
        if (tab == std::string::npos) break;
        start = tab + 1;
    }
    return fields;
}

bool IsExpired(const Cookie& cookie) {
    return !cookie.isSession() && cookie.expires <= static_cast<std::int64_t>(std::time(nullptr));
}

}  // namespace

CookieStore& CookieStore::Instance() {
    // Never destroyed: detached workers may still run transfers at exit.
    static CookieStore* store = new CookieStore();
    return *store;
}

CookieStore::CookieStore() {
    if (curl_global_init(CURL_GLOBAL_DEFAULT) != CURLE_OK) {
        throw std::runtime_error("libcurl could not be initialised");
    }
    share_ = curl_share_init();
    curl_share_setopt(share_, CURLSHOPT_LOCKFUNC, LockShare);
    curl_share_setopt(share_, CURLSHOPT_UNLOCKFUNC, UnlockShare);
    curl_share_setopt(share_, CURLSHOPT_SHARE, CURL_LOCK_DATA_COOKIE);
    curl_share_setopt(share_, CURLSHOPT_SHARE, CURL_LOCK_DATA_DNS);
    curl_share_setopt(share_, CURLSHOPT_SHARE, CURL_LOCK_DATA_SSL_SESSION);
    curl_share_setopt(share_, CURLSHOPT_SHARE, CURL_LOCK_DATA_CONNECT);
}

CookieStore::~CookieStore() {
    curl_share_cleanup(share_);
}

void CookieStore::Attach(CURL* easy) {
    curl_easy_setopt(easy, CURLOPT_SHARE, share_);
    // A transfer that ends closes idle connections while the shared cache
    // holds more than this; libcurl's default of 5 closed nearly every
    // connection of 15 parallel workers instead of keeping it for the next.
    curl_easy_setopt(easy, CURLOPT_MAXCONNECTS, kKeptConnections);
    // An empty file name switches the cookie engine on without reading a file.
    curl_easy_setopt(easy, CURLOPT_COOKIEFILE, "");
}

void CookieStore::Command(const std::string& command) const {
    EasyHandle easy(curl_easy_init());
    if (!easy) return;
    const_cast<CookieStore*>(this)->Attach(easy.get());
    curl_easy_setopt(easy.get(), CURLOPT_COOKIELIST, command.c_str());
}

void CookieStore::Add(const Cookie& cookie) {
    Command(ToNetscapeLine(cookie));
}

void CookieStore::Remove(const std::string& domain, const std::string& path, const std::string& name) {
    // Replacing a cookie by an expired copy makes the engine drop it.
    for (const Cookie& existing : All()) {
        auto bare = [](const std::string& d) { return d.starts_with('.') ? d.substr(1) : d; };
        if (bare(existing.domain) == bare(domain) && existing.path == path && existing.name == name) {
            Cookie gone = existing;
            gone.expires = 1;
            gone.value.clear();
            Command(ToNetscapeLine(gone));
        }
    }
}

std::vector<Cookie> CookieStore::All() const {
    std::vector<Cookie> cookies;
    EasyHandle easy(curl_easy_init());
    if (!easy) return cookies;
    const_cast<CookieStore*>(this)->Attach(easy.get());
    curl_slist* list = nullptr;
    if (curl_easy_getinfo(easy.get(), CURLINFO_COOKIELIST, &list) != CURLE_OK) return cookies;
    for (curl_slist* item = list; item; item = item->next) {
        Cookie cookie;
        if (FromNetscapeLine(item->data, cookie) && !IsExpired(cookie)) cookies.push_back(cookie);
    }
    curl_slist_free_all(list);
    return cookies;
}

void CookieStore::Clear() {
    Command("ALL");
}

void CookieStore::BindFile(const std::filesystem::path& file) {
    {
        std::lock_guard lock(fileMutex_);
        file_ = file;
    }
    std::ifstream in(file, std::ios::binary);
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        Cookie cookie;
        if (FromNetscapeLine(line, cookie) && !cookie.isSession() && !IsExpired(cookie)) Add(cookie);
    }
}

std::filesystem::path CookieStore::boundFile() const {
    std::lock_guard lock(fileMutex_);
    return file_;
}

bool CookieStore::Save() const {
    std::lock_guard lock(fileMutex_);
    if (file_.empty()) return false;
    std::ostringstream text;
    text << "# Netscape HTTP Cookie File\n";
    for (const Cookie& cookie : All()) {
        if (!cookie.isSession()) text << ToNetscapeLine(cookie) << '\n';
    }
    const std::string data = text.str();

    std::error_code ignored;
    std::filesystem::create_directories(file_.parent_path(), ignored);
    return WriteFileAtomically(file_, data, 0600);
}

std::string CookieStore::ToNetscapeLine(const Cookie& cookie) {
    std::string domain = cookie.domain;
    if (cookie.includeSubdomains && !domain.starts_with('.')) domain.insert(0, ".");
    std::ostringstream line;
    line << (cookie.httpOnly ? "#HttpOnly_" : "") << domain << '\t'
         << (cookie.includeSubdomains ? "TRUE" : "FALSE") << '\t' << (cookie.path.empty() ? "/" : cookie.path)
         << '\t' << (cookie.secure ? "TRUE" : "FALSE") << '\t' << cookie.expires << '\t' << cookie.name << '\t'
         << cookie.value;
    return line.str();
}

bool CookieStore::FromNetscapeLine(const std::string& line, Cookie& cookie) {
    static const std::string kHttpOnly = "#HttpOnly_";
    cookie = Cookie{};
    // The engine takes C strings: a NUL would cut the cookie short.
    if (line.find('\0') != std::string::npos) return false;
    std::string text = line;
    if (text.starts_with(kHttpOnly)) {
        cookie.httpOnly = true;
        text.erase(0, kHttpOnly.size());
    } else if (text.empty() || text[0] == '#') {
        return false;
    }
    std::vector<std::string> fields = SplitFields(text);
    if (fields.size() != 7 || fields[0].empty() || fields[5].empty()) return false;
    cookie.domain = fields[0];
    cookie.includeSubdomains = fields[1] == "TRUE";
    cookie.path = fields[2];
    cookie.secure = fields[3] == "TRUE";
    try {
        cookie.expires = std::stoll(fields[4]);
    } catch (...) {
        return false;
    }
    cookie.name = fields[5];
    cookie.value = fields[6];
    return true;
}

}  // namespace lumora
