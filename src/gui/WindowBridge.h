// The controller's window port for the desktop window. Every WindowPort call
// may come from a worker thread and is carried out on the GUI thread: calls
// that answer something make the worker wait for the answer, the others are
// queued. Once the window closes no worker waits for the GUI thread any more:
// questions get their fallback answer at once, and workers already waiting
// are let go, so the window can wait for them to end without answering.
#pragma once

#include <QObject>

#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>

#include "app/WindowPort.h"

class CLumoraDlg;

class CWindowBridge : public QObject, public lumora::WindowPort {
    Q_OBJECT

public:
    // Lives on the thread that creates it, the window's.
    explicit CWindowBridge(CLumoraDlg& window);
    ~CWindowBridge() override;

    // No worker waits for the GUI thread from now on.
    void Close();

    void SetItemText(int controlId, const std::u16string& text) override;
    void EnableItem(int controlId, bool enabled) override;
    void ShowItem(int controlId, bool visible) override;
    void SetCheck(int controlId, bool checked) override;
    void MessageBox(const std::u16string& text) override;
    void ResetGrid() override;
    void ShowAlbum(std::size_t position) override;
    void RefreshGrid() override;
    void OpenFolder(const std::u16string& folder) override;
    void HistoryAdded(int controlId, const std::u16string& text) override;
    long DownloadFinished(unsigned elapsedSeconds, unsigned pictureCount) override;
    // Queued, never waited for: the controller may join the calling worker
    // from the GUI thread right after this returns.
    void RunFinished(bool download) override;

private:
    // Runs `work` on the GUI thread and waits for its result; `fallback`
    // once the window is closing.
    template <typename T, typename Work>
    T Ask(Work work, T fallback);
    // Queues `work` for the GUI thread (runs it at once when on it); dropped
    // once the window is closing.
    void Tell(std::function<void()> work);

    CLumoraDlg& window_;
    std::mutex mutex_;
    std::condition_variable answered_;  // an answer arrived, or the window closes
    std::atomic<bool> closing_{false};
};
