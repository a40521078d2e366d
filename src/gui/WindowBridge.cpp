#include "gui/WindowBridge.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QThread>

#include "gui/AlbumGrid.h"
#include "gui/ComboBox2.h"
#include "gui/GuiText.h"
#include "gui/LumoraDlg.h"

CWindowBridge::CWindowBridge(CLumoraDlg& window) : window_(window) {}

CWindowBridge::~CWindowBridge() { Close(); }

void CWindowBridge::Close() {
    std::lock_guard lock(mutex_);
    closing_ = true;
    answered_.notify_all();
}

template <typename T, typename Work>
T CWindowBridge::Ask(Work work, T fallback) {
    if (QThread::currentThread() == thread()) return work();
    // The answer outlives a worker that stopped waiting for it.
    struct Answer {
        bool ready = false;
        T value;
    };
    auto answer = std::make_shared<Answer>();
    std::unique_lock lock(mutex_);
    if (closing_) return fallback;
    QMetaObject::invokeMethod(
        this,
        [this, answer, work = std::move(work)]() mutable {
            if (closing_) return;
            T value = work();
            std::lock_guard done(mutex_);
            answer->value = std::move(value);
            answer->ready = true;
            answered_.notify_all();
        },
        Qt::QueuedConnection);
    answered_.wait(lock, [&] { return answer->ready || closing_; });
    return answer->ready ? std::move(answer->value) : fallback;
}

void CWindowBridge::Tell(std::function<void()> work) {
    if (QThread::currentThread() == thread()) {
        work();
    } else if (!closing_) {
        QMetaObject::invokeMethod(this, std::move(work), Qt::QueuedConnection);
    }
}

void CWindowBridge::SetItemText(int controlId, const std::u16string& text) {
    Tell([this, controlId, text = ToQString(text)] { window_.SetControlText(controlId, text); });
}

void CWindowBridge::EnableItem(int controlId, bool enabled) {
    Tell([this, controlId, enabled] {
        if (QWidget* widget = window_.control(controlId)) widget->setEnabled(enabled);
    });
}

void CWindowBridge::ShowItem(int controlId, bool visible) {
    Tell([this, controlId, visible] {
        if (QWidget* widget = window_.control(controlId)) widget->setVisible(visible);
    });
}

void CWindowBridge::SetCheck(int controlId, bool checked) {
    Tell([this, controlId, checked] {
        if (auto* box = qobject_cast<QAbstractButton*>(window_.control(controlId))) box->setChecked(checked);
    });
}

void CWindowBridge::MessageBox(const std::u16string& text) {
    Ask<bool>(
        [this, text = ToQString(text)] {
            window_.ShowMessage(text);
            return true;
        },
        false);
}

void CWindowBridge::ResetGrid() {
    Tell([this] { window_.ResetAlbumGrid(); });
}

void CWindowBridge::ShowAlbum(std::size_t position) {
    Tell([this, position] { window_.grid()->ShowAlbum(position); });
}

void CWindowBridge::RefreshGrid() {
    Tell([this] { window_.grid()->viewport()->update(); });
}

void CWindowBridge::OpenFolder(const std::u16string& folder) {
    Tell([this, folder = ToQString(folder)] { window_.ShowFolder(folder); });
}

void CWindowBridge::HistoryAdded(int controlId, const std::u16string& text) {
    Tell([this, controlId, text = ToQString(text)] {
        if (auto* combo = qobject_cast<CComboBox2*>(window_.control(controlId))) combo->AddKnownEntry(text);
    });
}

long CWindowBridge::DownloadFinished(unsigned, unsigned) {
    // The album's end needs nothing of the window; answering at once keeps
    // the scheduler from waiting on the GUI thread.
    return 1;
}

void CWindowBridge::RunFinished(bool download) {
    // Also while closing: the window counts the runs that are still ending.
    QMetaObject::invokeMethod(
        this, [this, download] { window_.RunFinished(download); }, Qt::QueuedConnection);
}
