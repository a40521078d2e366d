#include "cli/Output.h"

#include <mutex>
#include <nlohmann/json.hpp>

#include "text/StringCtrl.h"

namespace lumora::cli {
namespace {

// Workers print events while the run's thread prints status: whole lines only.
std::mutex& PrintMutex() {
    static std::mutex mutex;
    return mutex;
}

void Write(std::FILE* stream, const std::string& line) {
    std::lock_guard lock(PrintMutex());
    std::fwrite(line.data(), 1, line.size(), stream);
    std::fflush(stream);
}

}  // namespace

void PrintLine(std::FILE* stream, const std::u16string& text) { Write(stream, WideToUtf8(text) + "\n"); }

void PrintRow(const std::vector<std::u16string>& cells) {
    std::u16string line;
    for (std::size_t i = 0; i < cells.size(); ++i) {
        if (i > 0) line += u'\t';
        line += cells[i];
    }
    PrintLine(stdout, line);
}

void PrintJsonDocument(const nlohmann::json& document) { Write(stdout, document.dump(2) + "\n"); }

void PrintJsonLine(const nlohmann::json& object) {
    // Text that is not valid UTF-8 (a server's bytes) is replaced, never a reason to stop.
    Write(stdout, object.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) + "\n");
}

}  // namespace lumora::cli
