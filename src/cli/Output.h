// What lumora-cli prints. Standard output carries results: tab-separated
// rows for people and simple tools, or JSON for scripts. Standard error
// carries status texts and messages. Both take UTF-8.
#pragma once

#include <cstdint>
#include <cstdio>
#include <nlohmann/json_fwd.hpp>
#include <string>
#include <vector>

namespace lumora {
class SettingsStore;
}

namespace lumora::cli {

// One line, flushed at once; safe from any thread.
void PrintLine(std::FILE* stream, const std::u16string& text);
// A count as digits, for the cells.
std::u16string NumberText(std::uint64_t n);
// The cells joined by tabs, as one line on standard output.
void PrintRow(const std::vector<std::u16string>& cells);
// A whole document, indented, on standard output.
void PrintJsonDocument(const nlohmann::json& document);
// One object on one line of standard output, for event streams.
void PrintJsonLine(const nlohmann::json& object);

// Tells the user on standard error when "soft.dat" could not be read.
void PrintSettingsProblem(const SettingsStore& settings);
// What the settings commands tell of a failed save: a line on standard error.
void PrintSettingsMessage(const std::u16string& text);

// At the end of the program: flushes standard output and error and checks
// that everything written to them arrived (also what was written around
// these functions). When something was lost, says so ("lumora-cli: 无法写出
// 结果：…") on a stream that still works and turns a `status` of 0 into 1;
// otherwise returns `status`. A reader that went away (a broken pipe) is no
// news to anyone: it changes the status only.
int FinishOutput(int status);

}  // namespace lumora::cli
