#include "cli/Output.h"

#include <unistd.h>

#include <cerrno>
#include <mutex>
#include <nlohmann/json.hpp>

#include "base/SystemError.h"
#include "base/WriteAll.h"
#include "cli/Command.h"
#include "settings/SettingsStore.h"
#include "text/StringCtrl.h"

namespace lumora::cli {

std::u16string NumberText(std::uint64_t n) { return Utf8ToWide(std::to_string(n)); }
namespace {

// Workers print events while the run's thread prints status: whole lines only.
std::mutex& PrintMutex() {
    static std::mutex mutex;
    return mutex;
}

// The first failure of each stream (an errno value), under PrintMutex.
struct StreamState {
    int error = 0;
    bool finished = false;  // nothing more goes to it
};
StreamState g_stdout, g_stderr;

StreamState& StateOf(std::FILE* stream) { return stream == stdout ? g_stdout : g_stderr; }

void Write(std::FILE* stream, const std::string& line) {
    std::lock_guard lock(PrintMutex());
    StreamState& state = StateOf(stream);
    if (state.finished) return;
    errno = 0;
    if ((std::fwrite(line.data(), 1, line.size(), stream) != line.size() || std::fflush(stream) != 0) &&
        state.error == 0) {
        state.error = errno != 0 ? errno : EIO;
    }
}

// Flushes and checks one stream; its errno value, or 0 when all arrived.
int Finish(std::FILE* stream, StreamState& state) {
    errno = 0;
    if (std::fflush(stream) != 0 && state.error == 0) state.error = errno != 0 ? errno : EIO;
    if (std::ferror(stream) && state.error == 0) {
        // Written around Write: the stream knows only that it failed. An
        // empty write tells a descriptor that was never open.
        state.error = write(fileno(stream), "", 0) != 0 ? errno : EIO;
    }
    // A file system that reports its write errors only when the file is
    // closed (NFS) does so for every descriptor closed, a copy too.
    const int copy = dup(fileno(stream));
    if (copy >= 0 && close(copy) != 0 && state.error == 0) state.error = errno;
    state.finished = true;
    return state.error;
}

std::u16string LostOutputText(int error, const char16_t* stream) {
    const std::u16string reason = error == EBADF ? u"没有打开" : SystemErrorText(error);
    return u"lumora-cli: 无法写出结果：" + reason + u"（" + stream + u"）\n";
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

void PrintSettingsProblem(const SettingsStore& settings) {
    if (settings.problem()) PrintLine(stderr, settings.ProblemText());
}

void PrintSettingsMessage(const std::u16string& text) { PrintLine(stderr, text); }

int FinishOutput(int status) {
    std::lock_guard lock(PrintMutex());
    const int outError = Finish(stdout, g_stdout);
    const int errError = Finish(stderr, g_stderr);
    if (outError == 0 && errError == 0) return status;
    std::string message;
    if (outError != 0 && outError != EPIPE) message += WideToUtf8(LostOutputText(outError, u"标准输出"));
    if (errError != 0 && errError != EPIPE) message += WideToUtf8(LostOutputText(errError, u"标准错误"));
    // Whichever still works says it; standard error first, as for every message.
    const bool said = message.empty() || (errError == 0 && WriteAll(STDERR_FILENO, message.data(), message.size()));
    if (!said && outError == 0) WriteAll(STDOUT_FILENO, message.data(), message.size());
    return status == 0 ? kExitFailure : status;
}

}  // namespace lumora::cli
