#include "cli/AlbumSelection.h"

#include <charconv>
#include <set>

namespace lumora::cli {
namespace {

std::optional<std::size_t> ParseNumber(const std::string& text) {
    std::size_t value = 0;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || text.empty()) return std::nullopt;
    return value;
}

}  // namespace

std::optional<std::vector<std::size_t>> ParseAlbumSelection(const std::string& spec, std::size_t count) {
    std::vector<std::size_t> all;
    if (spec == "all") {
        for (std::size_t i = 0; i < count; ++i) all.push_back(i);
        return all;
    }
    std::set<std::size_t> picked;
    std::size_t start = 0;
    while (start <= spec.size()) {
        std::size_t comma = spec.find(',', start);
        std::string part = spec.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
        std::size_t dash = part.find('-');
        auto first = ParseNumber(dash == std::string::npos ? part : part.substr(0, dash));
        auto last = dash == std::string::npos ? first : ParseNumber(part.substr(dash + 1));
        if (!first || !last || *first < 1 || *last < *first || *last > count) return std::nullopt;
        for (std::size_t n = *first; n <= *last; ++n) picked.insert(n - 1);
        if (comma == std::string::npos) break;
        start = comma + 1;
    }
    return std::vector<std::size_t>(picked.begin(), picked.end());
}

}  // namespace lumora::cli
