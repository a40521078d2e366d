#include "web/CookieStore.h"

#include "web/AtomicFile.h"

#include <curl/curl.h>
#include <libpsl.h>
#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <ctime>
#include <numeric>
#include <sstream>
#include <stdexcept>
#include <unordered_map>

#include "base/RegularFile.h"

namespace lumora {
namespace {

// The limits browsers keep.
constexpr std::size_t kMaxCookiesPerDomain = 180;
constexpr std::size_t kMaxCookies = 3000;
constexpr std::size_t kMaxCookieBytes = 4096;  // name and value together
// 3000 cookies of 4096 bytes come to some 12 MB; more is not read.
constexpr std::size_t kMaxFileBytes = std::size_t{16} << 20;
// Removing one cookie makes the engine scan the whole jar once; past this
// many removals, emptying the jar and adding back the rest is far cheaper.
constexpr std::size_t kMaxRemovedOneByOne = 500;

constexpr char kFileHeader[] = "# Netscape HTTP Cookie File\n";

// One lock per kind of shared data, so cookie look-ups do not wait for
// connection-cache updates and vice versa. Recursive: trimming holds the
// cookie lock across several engine calls of its own thread, so that no
// transfer sees the jar half rebuilt or sets a cookie that is then lost.
std::array<std::recursive_mutex, CURL_LOCK_DATA_LAST> g_shareLocks;

void LockShare(CURL*, curl_lock_data data, curl_lock_access, void*) {
    g_shareLocks[static_cast<std::size_t>(data)].lock();
}

void UnlockShare(CURL*, curl_lock_data data, void*) { g_shareLocks[static_cast<std::size_t>(data)].unlock(); }

// Open connections kept for reuse: every download worker's and the page
// reader's, with room to spare.
constexpr long kKeptConnections = 32;

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

bool FitsInSize(const Cookie& cookie) { return cookie.name.size() + cookie.value.size() <= kMaxCookieBytes; }

// ".example.com" and "example.com" count as one domain; so do "Example.com"
// and "example.com", as in the engine. ASCII only, whatever the locale.
std::string DomainKey(const std::string& domain) {
    std::string key = domain.starts_with('.') ? domain.substr(1) : domain;
    for (char& c : key) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return key;
}

// A domain under which anyone may register names ("com.cn", "cn", "com",
// "github.io"): its cookie would go to every site below it. The implicit
// rule that makes every unknown top-level name one is left out, so that
// "localhost" and hosts of a local network keep their cookies.
bool IsPublicSuffix(const std::string& domain) {
    static const psl_ctx_t* const list = [] {
        const psl_ctx_t* latest = psl_latest(nullptr);  // the system's list, or the library's own
        return latest ? latest : psl_builtin();
    }();
    std::string key = DomainKey(domain);
    while (key.ends_with('.')) key.pop_back();
    return list && !key.empty() && psl_is_public_suffix2(list, key.c_str(), PSL_TYPE_ANY | PSL_TYPE_NO_STAR_RULE);
}

// Which of `cookies` (all persistent) stay within the limits. The cookie file
// keeps no creation time, so browsers' order (oldest out first) cannot be
// followed: the cookies that expire first go first.
std::vector<bool> WithinLimits(const std::vector<Cookie>& cookies) {
    std::vector<std::size_t> order(cookies.size());
    std::iota(order.begin(), order.end(), std::size_t{0});
    std::stable_sort(order.begin(), order.end(),
                     [&](std::size_t a, std::size_t b) { return cookies[a].expires > cookies[b].expires; });
    std::vector<bool> keep(cookies.size(), false);
    std::unordered_map<std::string, std::size_t> perDomain;
    std::size_t total = 0;
    for (std::size_t index : order) {
        if (total == kMaxCookies) break;
        if (!FitsInSize(cookies[index])) continue;
        std::size_t& count = perDomain[DomainKey(cookies[index].domain)];
        if (count == kMaxCookiesPerDomain) continue;
        ++count;
        ++total;
        keep[index] = true;
    }
    return keep;
}

// The file's text for these cookies, sorted so that the same cookies always
// give the same text, whatever order the engine lists them in.
std::string FileText(const std::vector<Cookie>& cookies) {
    std::vector<std::string> lines;
    lines.reserve(cookies.size());
    for (Cookie cookie : cookies) {
        // The engine drops the dot and writes it back for domain cookies only.
        if (cookie.domain.starts_with('.')) cookie.domain.erase(0, 1);
        lines.push_back(CookieStore::ToNetscapeLine(cookie));
    }
    std::sort(lines.begin(), lines.end());
    std::string text = kFileHeader;
    for (const std::string& line : lines) text.append(line).push_back('\n');
    return text;
}

// At most kMaxFileBytes of `path`, if it is a regular file or a link to one.
bool ReadCookieText(const std::filesystem::path& path, std::string& text) {
    FileContents read = ReadRegularFile(path, kMaxFileBytes + 1);
    if (!read || !*read) return false;
    text = std::move(**read);
    if (text.size() > kMaxFileBytes) {
        // The line cut at the cap would be a damaged cookie.
        text.resize(kMaxFileBytes);
        const std::size_t lastEnd = text.rfind('\n');
        text.resize(lastEnd == std::string::npos ? 0 : lastEnd + 1);
    }
    return true;
}

// The live persistent cookies of a cookie file, one per domain, path and
// name (the last line wins, as when the engine reads them in turn), within
// the limits.
std::vector<Cookie> ReadCookieFile(const std::filesystem::path& path) {
    std::string text;
    if (!ReadCookieText(path, text)) return {};
    std::vector<Cookie> cookies;
    std::unordered_map<std::string, std::size_t> slots;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(start, end - start);
        start = end + 1;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        Cookie cookie;
        if (!CookieStore::FromNetscapeLine(line, cookie) || cookie.isSession() || IsExpired(cookie) ||
            !FitsInSize(cookie) || IsPublicSuffix(cookie.domain)) {
            continue;
        }
        std::string key = DomainKey(cookie.domain);
        key.append(cookie.includeSubdomains ? "\tT\t" : "\tF\t").append(cookie.path).append("\t").append(cookie.name);
        const auto [slot, added] = slots.try_emplace(std::move(key), cookies.size());
        if (added) {
            cookies.push_back(std::move(cookie));
        } else {
            cookies[slot->second] = std::move(cookie);
        }
    }
    const std::vector<bool> keep = WithinLimits(cookies);
    std::vector<Cookie> kept;
    kept.reserve(cookies.size());
    for (std::size_t i = 0; i < cookies.size(); ++i) {
        if (keep[i]) kept.push_back(std::move(cookies[i]));
    }
    return kept;
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
    engine_ = curl_easy_init();
    if (!engine_) throw std::runtime_error("libcurl could not make a handle");
    Attach(engine_);
}

CookieStore::~CookieStore() {
    curl_easy_cleanup(engine_);
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

void CookieStore::CommandLocked(const std::string& command) const {
    curl_easy_setopt(engine_, CURLOPT_COOKIELIST, command.c_str());
}

std::vector<std::string> CookieStore::LinesLocked() const {
    std::vector<std::string> lines;
    curl_slist* list = nullptr;
    if (curl_easy_getinfo(engine_, CURLINFO_COOKIELIST, &list) != CURLE_OK) return lines;
    for (curl_slist* item = list; item; item = item->next) lines.emplace_back(item->data);
    curl_slist_free_all(list);
    return lines;
}

void CookieStore::Add(const Cookie& cookie) {
    // Responses the engine reads are checked by the engine itself (libcurl on
    // libpsl); what is added here, by the login browser, is not.
    if (!FitsInSize(cookie) || IsPublicSuffix(cookie.domain)) return;
    std::lock_guard lock(engineMutex_);
    CommandLocked(ToNetscapeLine(cookie));
}

void CookieStore::Remove(const std::string& domain, const std::string& path, const std::string& name) {
    std::lock_guard lock(engineMutex_);
    // Replacing a cookie by an expired copy makes the engine drop it.
    for (const std::string& line : LinesLocked()) {
        Cookie existing;
        if (!FromNetscapeLine(line, existing)) continue;
        if (DomainKey(existing.domain) == DomainKey(domain) && existing.path == path && existing.name == name) {
            Cookie gone = existing;
            gone.expires = 1;
            gone.value.clear();
            CommandLocked(ToNetscapeLine(gone));
        }
    }
}

std::vector<Cookie> CookieStore::All() const {
    std::vector<Cookie> cookies;
    std::lock_guard lock(engineMutex_);
    for (const std::string& line : LinesLocked()) {
        Cookie cookie;
        if (FromNetscapeLine(line, cookie) && !IsExpired(cookie)) cookies.push_back(std::move(cookie));
    }
    return cookies;
}

void CookieStore::Clear() {
    std::lock_guard lock(engineMutex_);
    CommandLocked("ALL");
}

std::vector<Cookie> CookieStore::TrimLocked() const {
    std::lock_guard cookieLock(g_shareLocks[CURL_LOCK_DATA_COOKIE]);
    const std::vector<std::string> lines = LinesLocked();
    std::vector<Cookie> persistent;
    std::vector<std::size_t> lineOf;
    std::vector<bool> expired(lines.size(), false);
    for (std::size_t i = 0; i < lines.size(); ++i) {
        Cookie cookie;
        if (!FromNetscapeLine(lines[i], cookie) || cookie.isSession()) continue;
        if (IsExpired(cookie)) {
            expired[i] = true;
            continue;
        }
        persistent.push_back(std::move(cookie));
        lineOf.push_back(i);
    }
    const std::vector<bool> keep = WithinLimits(persistent);
    std::vector<Cookie> kept;
    std::vector<std::size_t> dropped;
    for (std::size_t i = 0; i < persistent.size(); ++i) {
        if (keep[i]) {
            kept.push_back(persistent[i]);
        } else {
            dropped.push_back(i);
        }
    }
    if (dropped.empty()) return kept;

    if (dropped.size() <= kMaxRemovedOneByOne) {
        for (std::size_t i : dropped) {
            Cookie gone = persistent[i];
            gone.expires = 1;
            gone.value.clear();
            CommandLocked(ToNetscapeLine(gone));
        }
    } else {
        // The engine's own lines go back as they were, those this parser
        // cannot read included; the cookie lock keeps transfers out meanwhile.
        std::vector<bool> skip = std::move(expired);
        for (std::size_t i : dropped) skip[lineOf[i]] = true;
        CommandLocked("ALL");
        for (std::size_t i = 0; i < lines.size(); ++i) {
            if (!skip[i]) CommandLocked(lines[i]);
        }
    }
    return kept;
}

void CookieStore::BindFile(const std::filesystem::path& file) {
    std::lock_guard fileLock(fileMutex_);
    file_ = file;
    const std::vector<Cookie> loaded = ReadCookieFile(file);
    fileText_ = FileText(loaded);
    if (loaded.empty()) return;
    std::lock_guard engineLock(engineMutex_);
    for (const Cookie& cookie : loaded) CommandLocked(ToNetscapeLine(cookie));
    // Cookies the store held before may now be too many.
    TrimLocked();
}

bool CookieStore::Save() const {
    std::lock_guard fileLock(fileMutex_);
    if (file_.empty()) return false;
    std::vector<Cookie> persistent;
    {
        std::lock_guard engineLock(engineMutex_);
        persistent = TrimLocked();
    }
    // A run that received no cookie leaves the file alone.
    std::string text = FileText(persistent);
    if (text == fileText_) return true;

    // A FIFO, a folder or a device there (or a link to one) is not ours to replace.
    struct stat info {};
    if (stat(file_.c_str(), &info) == 0 ? !S_ISREG(info.st_mode) : errno != ENOENT) return false;
    std::error_code ignored;
    std::filesystem::create_directories(file_.parent_path(), ignored);
    if (!WriteFileAtomically(file_, text, 0600)) return false;
    fileText_ = std::move(text);
    return true;
}

std::string CookieStore::ToNetscapeLine(const Cookie& cookie) {
    std::string domain = cookie.domain;
    if (cookie.includeSubdomains && !domain.starts_with('.')) domain.insert(0, ".");
    std::ostringstream line;
    line << (cookie.httpOnly ? "#HttpOnly_" : "") << domain << '\t' << (cookie.includeSubdomains ? "TRUE" : "FALSE")
         << '\t' << (cookie.path.empty() ? "/" : cookie.path) << '\t' << (cookie.secure ? "TRUE" : "FALSE") << '\t'
         << cookie.expires << '\t' << cookie.name << '\t' << cookie.value;
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
