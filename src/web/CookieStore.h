// The one cookie store of the process. Every transfer is attached to it, so
// a cookie set by one response is sent by the next request of any thread.
// It also shares the DNS cache, TLS sessions and open connections between
// transfers. Persistent cookies live in a Netscape cookie file (mode 0600),
// kept within the limits browsers use: 180 cookies a domain, 3000 in all,
// 4096 bytes of name and value each. No cookie is kept for a domain on the
// public suffix list.
#pragma once

#include <cstdint>
#include <filesystem>
#include <mutex>
#include <string>
#include <vector>

typedef void CURLSH;
typedef void CURL;

namespace lumora {

struct Cookie {
    std::string domain;             // "example.com" or ".example.com"
    bool includeSubdomains = true;  // the Netscape "tail match" column
    std::string path = "/";
    bool secure = false;
    bool httpOnly = false;
    std::int64_t expires = 0;  // Unix time; 0 = session cookie
    std::string name;
    std::string value;

    bool isSession() const { return expires == 0; }
};

class CookieStore {
public:
    static CookieStore& Instance();

    // Attaches an easy handle to the shared store (and enables its cookie engine).
    void Attach(CURL* easy);

    // Adds or replaces a cookie (same domain, path and name); one whose name
    // and value come to more than 4096 bytes is dropped, and so is one for a
    // public suffix (".com.cn"), here as when loaded from the file.
    void Add(const Cookie& cookie);
    // Removes the cookie with this domain, path and name, if any.
    void Remove(const std::string& domain, const std::string& path, const std::string& name);
    std::vector<Cookie> All() const;
    void Clear();

    // Binds the store to a cookie file: loads its persistent cookies now,
    // those within the limits; Save() writes them back there. Missing file,
    // or one that is not a regular file: no cookies.
    void BindFile(const std::filesystem::path& file);
    // Trims the store to the limits and writes its persistent cookies to the
    // bound file atomically, mode 0600, unless the file already holds them.
    // False when the bound path is something other than a regular file.
    bool Save() const;

    // Netscape cookie-file lines, exposed for tests and tools.
    static std::string ToNetscapeLine(const Cookie& cookie);
    static bool FromNetscapeLine(const std::string& line, Cookie& cookie);

private:
    CookieStore();
    ~CookieStore();
    CookieStore(const CookieStore&) = delete;
    CookieStore& operator=(const CookieStore&) = delete;

    // The engine is reached through one attached handle, engine_; these need
    // engineMutex_ held. CommandLocked runs one CURLOPT_COOKIELIST command.
    void CommandLocked(const std::string& command) const;
    std::vector<std::string> LinesLocked() const;
    // Drops what lies beyond the limits; returns the persistent cookies kept.
    std::vector<Cookie> TrimLocked() const;

    CURLSH* share_ = nullptr;
    CURL* engine_ = nullptr;
    mutable std::mutex engineMutex_;
    // Held before engineMutex_ when both are.
    mutable std::mutex fileMutex_;
    std::filesystem::path file_;
    // What Save would write for the cookies BindFile read or Save last
    // wrote; Save writes nothing while the store still gives this text.
    mutable std::string fileText_;
};

}  // namespace lumora
