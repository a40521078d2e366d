// "检查已下载的相册" and lumora-cli verify and repair: the saved pictures of
// some folders (or of the whole archive) checked against their records, and
// what a repair fetches again.
#pragma once

#include <atomic>
#include <filesystem>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "download/DownloadArchive.h"
#include "download/SavedCheck.h"

namespace lumora {

struct SavedPictureReport {
    std::size_t checked = 0;
    std::vector<SavedFileCheck> problems;  // in path order
    std::vector<std::u16string> missingFolders;
    std::vector<std::u16string> unknownFolders;  // nothing in them is known
    std::u16string archiveError;                 // the archive could not be read: why
    bool stopped = false;

    bool Whole() const {
        return problems.empty() && missingFolders.empty() && unknownFolders.empty() && archiveError.empty() && !stopped;
    }
};

// Checks the pictures of `folders` (every picture in the archive when there
// are none), on as many threads as the machine has cores. With `only`, just
// the files of those paths. `progress` is told the count checked and the
// total, from the checking threads, at most ten times a second and at the end.
SavedPictureReport CheckSavedPictures(const std::filesystem::path& programFolder,
                                      const std::vector<std::u16string>& folders,
                                      const std::function<void(std::size_t checked, std::size_t total)>& progress,
                                      const std::atomic<bool>* stop = nullptr,
                                      const std::set<std::u16string>* only = nullptr);

// "校验 1234/10000": the progress for people.
std::u16string SavedCheckProgressText(std::size_t checked, std::size_t total);
// "缺失\t/path/1.jpg": one problem for people.
std::u16string SavedProblemLine(const SavedFileCheck& check);
// "已检查N张图片：全部完好", or with the count of each problem. Folders that
// are missing or unknown, and a stop, are said beside it.
std::u16string SavedPictureSummary(const SavedPictureReport& report);
// The lines of a whole report: every folder and problem, then the summary.
std::vector<std::u16string> SavedPictureReportLines(const SavedPictureReport& report);

// What a repair fetches: each problem's picture, into its album folder under its name.
std::vector<FailedPicture> RepairRows(const SavedPictureReport& report);

}  // namespace lumora
