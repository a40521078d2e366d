// What a front end shows of the runs: status texts, messages, the album rows
// and the starts and ends of runs. Nothing is asked of it: a run's inputs come
// in its order. The desktop program shows them in its window (WindowView),
// the command line prints them, tests record them. Every call may come from
// a worker thread.
#pragma once

#include <cstddef>
#include <string>

#include "settings/SettingsBlock.h"

namespace lumora {

class RunView {
public:
    virtual ~RunView() = default;

    // The two status lines: what the run does ("正在下载第1/3个图集") and how
    // far it is ("已下载5/300").
    virtual void MainStatus(const std::u16string& text) = 0;
    virtual void ProgressStatus(const std::u16string& text) = 0;
    // Modal where a user has to dismiss it; returns when that happened.
    virtual void Message(const std::u16string& text) = 0;
    // Shows a folder to the user (the desktop opens it, the command line prints it).
    virtual void OpenFolder(const std::u16string& folder) = 0;

    // The album list was emptied for a new get-albums run.
    virtual void AlbumsCleared() {}
    // A get-albums run began and ended (`albumsListed`: the list holds some).
    virtual void GetAlbumsStarted() {}
    virtual void GetAlbumsEnded(bool /*albumsListed*/) {}
    // The caption over the album list ("相册列表", then the totals).
    virtual void AlbumCaption(const std::u16string& /*text*/) {}
    virtual void AlbumShown(std::size_t /*position*/) {}
    virtual void AlbumsRefreshed() {}

    virtual void DownloadStarted() {}
    virtual void DownloadEnded() {}
    // One album's pictures are done.
    virtual void AlbumPicturesDone(unsigned /*elapsedSeconds*/, unsigned /*pictureCount*/) {}

    // A text entered a history.
    virtual void HistoryAdded(HistoryKind /*kind*/, const std::u16string& /*text*/) {}

    // A get-albums run (download false) or a download or retry run (true)
    // has ended; for a download, the controller's lastReport() holds its
    // outcome. Called on the run's worker as its very last step.
    virtual void RunFinished(bool /*download*/) {}
};

}  // namespace lumora
