#include "web/Address.h"

#include <curl/curl.h>

#include <algorithm>

#include "text/StringCtrl.h"

namespace lumora {

bool HasWebScheme(const std::u16string& address) {
    std::u16string lower = ToLowerSimple(address.substr(0, 8));
    return lower.starts_with(u"http://") || lower.starts_with(u"https://");
}

std::u16string WithoutUserInfo(const std::u16string& address) {
    const std::size_t scheme = address.find(u"://");
    // "://" in a path or a query begins no host.
    if (scheme == std::u16string::npos || address.find_first_of(u"/?#") < scheme) return address;
    const std::size_t host = scheme + 3;
    // The authority ends where the path, the query or the fragment begins;
    // a user name or password holding one of these is no user name to libcurl either.
    const std::size_t end = std::min(address.find_first_of(u"/?#", host), address.size());
    const std::size_t at = address.rfind(u'@', end - 1);
    if (at == std::u16string::npos || at < host) return address;
    return address.substr(0, host) + address.substr(at + 1);
}

std::u16string ResolveAddress(const std::u16string& base, const std::u16string& address) {
    if (address.empty() || address.find(u"://") != std::u16string::npos) return address;
    CURLU* url = curl_url();
    std::u16string resolved = address;
    if (curl_url_set(url, CURLUPART_URL, WideToUtf8(base).c_str(), 0) == CURLUE_OK &&
        curl_url_set(url, CURLUPART_URL, WideToUtf8(address).c_str(), CURLU_ALLOW_SPACE) == CURLUE_OK) {
        char* text = nullptr;
        if (curl_url_get(url, CURLUPART_URL, &text, 0) == CURLUE_OK) {
            resolved = Utf8ToWide(text);
            curl_free(text);
        }
    }
    curl_url_cleanup(url);
    return resolved;
}

}  // namespace lumora
