// The main window's controls as WindowView drives them: texts, enable
// states, messages, album rows, a run's end. Nothing is asked of it. The
// desktop window hands each call to its GUI thread; tests record. Every call
// may come from a worker thread.
#pragma once

#include <string>

namespace lumora {

class WindowPort {
public:
    virtual ~WindowPort() = default;

    virtual void SetItemText(int controlId, const std::u16string& text) = 0;
    virtual void EnableItem(int controlId, bool enabled) = 0;
    virtual void ShowItem(int controlId, bool visible) = 0;
    virtual void SetCheck(int controlId, bool checked) = 0;
    // Modal; returns when the user dismissed it.
    virtual void MessageBox(const std::u16string& text) = 0;

    // Album grid.
    virtual void ResetGrid() = 0;  // empty it and rebuild the columns for the mode
    virtual void ShowAlbum(std::size_t position) = 0;
    virtual void RefreshGrid() = 0;

    // Shows a folder to the user (the desktop opens it, the command line prints it).
    virtual void OpenFolder(const std::u16string& folder) = 0;

    // A text entered a history; the combo box adds it to its list.
    virtual void HistoryAdded(int controlId, const std::u16string& text) = 0;
    // One album's pictures are done; returns 1.
    virtual long DownloadFinished(unsigned elapsedSeconds, unsigned pictureCount) = 0;

    // A get-albums run (download false) or a download or retry run (true)
    // has ended; for a download, lastReport() holds its outcome. Called on
    // the run's worker as its very last step.
    virtual void RunFinished(bool /*download*/) {}
};

}  // namespace lumora
