#include "web/HeaderLines.h"

#include <algorithm>
#include <cctype>

namespace lumora {

std::vector<std::string> HeaderValues(const std::string& headers, std::string_view name) {
    std::vector<std::string> values;
    std::size_t start = 0;
    while (start < headers.size()) {
        std::size_t end = headers.find('\n', start);
        if (end == std::string::npos) end = headers.size();
        std::string_view line(headers.data() + start, end - start);
        start = end + 1;
        if (line.size() <= name.size() || line[name.size()] != ':') continue;
        if (!std::equal(name.begin(), name.end(), line.begin(),
                        [](char a, char b) { return a == std::tolower(static_cast<unsigned char>(b)); }))
            continue;
        std::string_view value = line.substr(name.size() + 1);
        while (!value.empty() && (value.front() == ' ' || value.front() == '\t')) value.remove_prefix(1);
        while (!value.empty() && (value.back() == '\r' || value.back() == ' ' || value.back() == '\t'))
            value.remove_suffix(1);
        values.emplace_back(value);
    }
    return values;
}

}  // namespace lumora
