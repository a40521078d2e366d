#include "download/ArchiveQueue.h"

namespace lumora {

ArchiveQueue::ArchiveQueue(std::shared_ptr<DownloadArchive> archive, std::function<void()> onBusy)
    : archive_(std::move(archive)), onBusy_(std::move(onBusy)) {}

void ArchiveQueue::Saved(const SavedPicture& picture) {
    WriteOrKeep({[picture](DownloadArchive& archive) { return archive.RecordSaved(picture); }, 1});
}

void ArchiveQueue::Moved(const std::u16string& address, const std::u16string& from, const std::u16string& to) {
    WriteOrKeep({[address, from, to](DownloadArchive& archive) { return archive.RecordMoved(address, from, to); }, 1});
}

void ArchiveQueue::Filtered(const FilteredPicture& picture) {
    WriteOrKeep({[picture](DownloadArchive& archive) { return archive.RecordFiltered(picture); }, 1});
}

void ArchiveQueue::Failures(const std::vector<FailedPicture>& failures) {
    if (failures.empty()) return;
    WriteOrKeep({[failures](DownloadArchive& archive) { return archive.RecordFailures(failures); }, failures.size()});
}

bool ArchiveQueue::Apply(const Write& write) {
    if (write.apply(*archive_)) return true;
    lastError_ = archive_->LastError();
    if (archive_->LastErrorWasBusy() && !busyTold_) {
        busyTold_ = true;
        if (onBusy_) onBusy_();
    }
    return false;
}

void ArchiveQueue::WriteOrKeep(Write write) {
    if (!archive_) return;
    std::lock_guard lock(mutex_);
    // Once a write waits, later ones wait behind it: their order matters (a
    // move follows its save), and each would only meet the same wait again.
    if (waiting_.empty() && Apply(write)) return;
    waiting_.push_back(std::move(write));
}

std::size_t ArchiveQueue::Flush() {
    std::lock_guard lock(mutex_);
    while (!waiting_.empty() && Apply(waiting_.front())) waiting_.pop_front();
    return WaitingRecords();
}

std::size_t ArchiveQueue::WaitingRecords() const {
    std::size_t records = 0;
    for (const Write& write : waiting_) records += write.records;
    return records;
}

std::u16string ArchiveQueue::LastError() const {
    std::lock_guard lock(mutex_);
    return lastError_;
}

}  // namespace lumora
