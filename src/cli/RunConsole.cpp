#include "cli/RunConsole.h"

#include <unistd.h>

#include <CLI/CLI.hpp>
#include <cstdlib>
#include <cstring>

#include "app/MainController.h"
#include "cli/Output.h"
#include "text/Format.h"

namespace lumora::cli {

StatusStyle ChooseStatusStyle(bool quiet) {
    if (quiet) return StatusStyle::Quiet;
    const char* term = std::getenv("TERM");
    const bool canRewrite = term && *term && std::strcmp(term, "dumb") != 0;
    return ::isatty(STDERR_FILENO) && canRewrite ? StatusStyle::Terminal : StatusStyle::Lines;
}

std::unique_ptr<ProgressLine> MakeProgressLine(StatusStyle style) {
    return style == StatusStyle::Terminal ? std::make_unique<ProgressLine>(stderr) : nullptr;
}

void AddJsonEventsFlag(CLI::App& command, bool& json) {
    command.add_flag("--json", json, "print each event as one JSON object per line on standard output");
}

RunConsole::RunConsole(const GlobalOptions& global, bool json)
    : style_(ChooseStatusStyle(global.quiet)),
      json_(json),
      progress_(MakeProgressLine(style_)),
      events_(json ? MakeJsonEvents() : nullptr),
      log_(global.logFile.empty() ? nullptr : std::make_unique<RunLog>(global.logFile)),
      view_(style_, progress_.get()) {}

bool RunConsole::LogWritable(const char* command) const {
    if (!log_) return true;
    std::string error;
    if (log_->Append(std::string("lumora-cli ") + command, &error)) return true;
    std::fprintf(stderr, "lumora-cli %s: cannot write the log %s: %s\n", command, log_->file().c_str(), error.c_str());
    return false;
}

void RunConsole::Attach(MainController& controller) {
    if (progress_) controller.runListeners().Add(*progress_);
    if (events_) controller.runListeners().Add(*events_);
    if (log_) controller.runListeners().Add(*log_);
}

int RunConsole::Finish(const DownloadReport& report) {
    view_.Flush();
    if (progress_) progress_->Finish();
    if (!json_) PrintSummary(report);
    return DownloadExitStatus(report);
}

void PrintSummary(const DownloadReport& report) {
    auto number = [](std::size_t n) { return FormatText(u"%d", {static_cast<std::int64_t>(n)}); };
    for (const auto& album : report.albums) {
        if (!album.page.fetched) {
            PrintRow({album.title, album.folder, u"相册页面读取失败：" + DescribePageFailure(album.page)});
            continue;
        }
        if (album.listFileOnly) {
            PrintRow({album.title, album.folder, album.listFileWritten ? u"列表文件已写入" : u"列表文件写入失败",
                      number(album.listed) + u"张图片"});
            continue;
        }
        // Saved counts only what this run fetched; what an earlier run saved is said apart.
        std::vector<std::u16string> cells = {album.title, album.folder, u"图片" + number(album.listed) + u"张",
                                             u"已保存" + number(album.saved) + u"张",
                                             u"失败" + number(album.failures.size()) + u"张"};
        if (album.skipped > 0) cells.push_back(u"跳过" + number(album.skipped) + u"张（以前已下载）");
        if (album.filtered > 0) cells.push_back(u"跳过" + number(album.filtered) + u"张（大小不在设定范围内）");
        if (album.deleted > 0) cells.push_back(u"已删除" + number(album.deleted) + u"张，未重新下载");
        const std::size_t done = album.saved + album.skipped + album.filtered + album.deleted + album.failures.size();
        if (album.stopped && done < album.listed) cells.push_back(u"未下载" + number(album.listed - done) + u"张");
        PrintRow(cells);
        for (const auto& failure : album.failures) {
            PrintRow({u"  失败：" + failure.savePath, failure.address, FailureMessage(failure)});
        }
    }
    if (report.stopped) PrintLine(stdout, u"已终止下载");
}

int DownloadExitStatus(const DownloadReport& report) { return report.Complete() ? 0 : kExitFailure; }

}  // namespace lumora::cli
