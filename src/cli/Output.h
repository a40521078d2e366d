// What lumora-cli prints. Standard output carries results: tab-separated
// rows for people and simple tools, or JSON for scripts. Standard error
// carries status texts and messages. Both take UTF-8.
#pragma once

#include <cstdio>
#include <nlohmann/json_fwd.hpp>
#include <string>
#include <vector>

namespace lumora::cli {

// One line, flushed at once; safe from any thread.
void PrintLine(std::FILE* stream, const std::u16string& text);
// The cells joined by tabs, as one line on standard output.
void PrintRow(const std::vector<std::u16string>& cells);
// A whole document, indented, on standard output.
void PrintJsonDocument(const nlohmann::json& document);
// One object on one line of standard output, for event streams.
void PrintJsonLine(const nlohmann::json& object);

}  // namespace lumora::cli
