#include "app/SavedPictureCheck.h"

#include <chrono>
#include <map>
#include <mutex>
#include <thread>

#include "base/FailureText.h"
#include "text/Format.h"
#include "text/StringCtrl.h"

namespace lumora {
namespace {

// Counts come at most this often (and at the last file): a terminal or a
// window's event queue need no more.
constexpr std::chrono::milliseconds kProgressInterval{100};

}  // namespace

SavedPictureReport CheckSavedPictures(const std::filesystem::path& programFolder,
                                      const std::vector<std::u16string>& folders,
                                      const std::function<void(std::size_t checked, std::size_t total)>& progress,
                                      const std::atomic<bool>* stop, const std::set<std::u16string>* only) {
    SavedPictureReport report;
    const std::filesystem::path file = programFolder / kArchiveFileName;
    std::shared_ptr<DownloadArchive> archive;
    std::error_code error;
    // Without an archive (none yet, or a backup disk's) the manifests still tell what pictures must be.
    if (std::filesystem::exists(file, error)) {
        Result<std::shared_ptr<DownloadArchive>> opened = DownloadArchive::Open(file);
        if (opened) {
            archive = *opened;
        } else {
            report.archiveError = Utf8ToWide(file.string()) + u"（" + FailureText(opened.failure()) + u"）";
        }
    }
    SavedFileList list = CollectSavedFiles(folders, archive.get());
    report.missingFolders = std::move(list.missingFolders);
    report.unknownFolders = std::move(list.unknownFolders);
    if (only) {
        std::erase_if(list.files, [only](const SavedFile& saved) { return !only->contains(saved.path); });
    }
    const std::size_t total = list.files.size();
    const unsigned threads = std::max(1u, std::thread::hardware_concurrency());
    std::atomic<std::size_t> checked{0};
    std::mutex told;
    auto lastTold = std::chrono::steady_clock::time_point{};
    report.problems = CheckSavedFiles(
        list.files, threads,
        [&](std::size_t) {
            const std::size_t count = ++checked;  // one call a file, on any thread
            if (!progress) return;
            std::lock_guard lock(told);
            const auto now = std::chrono::steady_clock::now();
            if (count < total && now - lastTold < kProgressInterval) return;
            lastTold = now;
            progress(count, total);
        },
        stop);
    report.checked = checked;
    report.stopped = report.checked < total;
    return report;
}

std::u16string SavedCheckProgressText(std::size_t checked, std::size_t total) {
    return FormatText(u"校验 %d/%d", {static_cast<std::int64_t>(checked), static_cast<std::int64_t>(total)});
}

std::u16string SavedProblemLine(const SavedFileCheck& check) {
    return SavedProblemText(check) + u"\t" + check.file.path;
}

std::u16string SavedPictureSummary(const SavedPictureReport& report) {
    std::u16string text = FormatText(u"已检查%d张图片：", {static_cast<std::int64_t>(report.checked)});
    if (report.problems.empty()) {
        text += u"全部完好";
    } else {
        std::map<SavedProblem, std::size_t> counts;
        for (const SavedFileCheck& check : report.problems) ++counts[check.problem];
        text += FormatText(u"%d张有问题", {static_cast<std::int64_t>(report.problems.size())});
        const std::pair<SavedProblem, const char16_t*> names[] = {{SavedProblem::Missing, u"缺失"},
                                                                  {SavedProblem::Size, u"大小不符"},
                                                                  {SavedProblem::Changed, u"内容已改变"},
                                                                  {SavedProblem::NotPicture, u"不再是完整的图片"}};
        std::u16string parts;
        for (const auto& [problem, name] : names) {
            if (!counts[problem]) continue;
            if (!parts.empty()) parts += u"，";
            parts += name + FormatText(u"%d张", {static_cast<std::int64_t>(counts[problem])});
        }
        text += u"（" + parts + u"）";
    }
    if (report.stopped) text += u"（已终止，其余未检查）";
    return text;
}

std::vector<std::u16string> SavedPictureReportLines(const SavedPictureReport& report) {
    std::vector<std::u16string> lines;
    if (!report.archiveError.empty()) lines.push_back(u"无法打开下载记录：" + report.archiveError);
    for (const std::u16string& folder : report.missingFolders) lines.push_back(u"文件夹不存在\t" + folder);
    for (const std::u16string& folder : report.unknownFolders) {
        lines.push_back(u"下载记录和相册清单中都没有这个文件夹的图片\t" + folder);
    }
    for (const SavedFileCheck& check : report.problems) lines.push_back(SavedProblemLine(check));
    lines.push_back(SavedPictureSummary(report));
    return lines;
}

std::vector<FailedPicture> RepairRows(const SavedPictureReport& report) {
    std::vector<FailedPicture> rows;
    for (const SavedFileCheck& check : report.problems) {
        const SavedFile& file = check.file;
        if (file.address.empty()) continue;  // nothing says where it came from
        FailedPicture row;
        row.albumTitle = file.albumTitle;
        row.albumAddress = file.albumAddress;
        row.albumFolder = file.albumFolder;
        row.fileName = file.path.starts_with(file.albumFolder) ? file.path.substr(file.albumFolder.size()) : file.path;
        row.address = file.address;
        row.reason = SavedProblemText(check);
        rows.push_back(std::move(row));
    }
    return rows;
}

}  // namespace lumora
