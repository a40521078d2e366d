#include <cstdlib>

#include "testsite/TestSite.h"

namespace lumora::testsite {

namespace {
constexpr const char* kProxyVariables[] = {"http_proxy", "HTTP_PROXY", "no_proxy", "NO_PROXY"};
}

ProxyEnvironment::ProxyEnvironment(const TestSite& site) {
    for (const char* name : kProxyVariables) {
        const char* value = std::getenv(name);
        saved_[name] = value ? std::optional<std::string>(value) : std::nullopt;
    }
    const std::string proxy = site.proxyUrl();
    ::setenv("http_proxy", proxy.c_str(), 1);
    ::setenv("HTTP_PROXY", proxy.c_str(), 1);
    ::unsetenv("no_proxy");
    ::unsetenv("NO_PROXY");
}

ProxyEnvironment::~ProxyEnvironment() {
    for (const auto& [name, value] : saved_) {
        if (value)
            ::setenv(name.c_str(), value->c_str(), 1);
        else
            ::unsetenv(name.c_str());
    }
}

}  // namespace lumora::testsite
