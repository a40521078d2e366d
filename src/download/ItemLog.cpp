#include "download/ItemLog.h"

#include <algorithm>
#include <ctime>

#include "text/Format.h"
#include "text/StringCtrl.h"

namespace lumora {

std::u16string DescribeFailure(const FailedItem& failure) {
    std::u16string reason = Utf8ToWide(DescribeFetchError(failure.error));
    if (failure.error == FetchError::HttpStatus && failure.httpStatus > 0) {
        reason += FormatText(u" %d", {static_cast<std::int64_t>(failure.httpStatus)});
    }
    return reason;
}

std::u16string FailureMessage(const FailedItem& failure) {
    return FetchErrorMessage(failure.error, failure.httpStatus, failure.systemError);
}

ItemLog::ItemLog(std::shared_ptr<ArchiveQueue> records, std::u16string albumAddress, SizeWindow window,
                 ItemEvents events)
    : records_(std::move(records)),
      albumAddress_(std::move(albumAddress)),
      window_(window),
      events_(std::move(events)) {}

std::uint64_t ItemLog::Record(const std::u16string& address, const std::u16string& path, const std::string& sha256) {
    SavedPicture picture{address, path, 0, static_cast<std::int64_t>(std::time(nullptr)), albumAddress_, sha256};
    std::error_code error;
    picture.size = std::filesystem::file_size(std::filesystem::path(WideToUtf8(path)), error);
    if (error) return 0;
    if (records_) records_->Saved(picture);
    return picture.size;
}

void ItemLog::Moved(const std::u16string& address, const std::u16string& from, const std::u16string& to) {
    if (records_) records_->Moved(address, from, to);
}

void ItemLog::Saved(std::size_t index, const std::u16string& address, const std::u16string& savePath,
                    const std::string& sha256) {
    const std::uint64_t bytes = Record(address, savePath, sha256);
    {
        std::lock_guard lock(mutex_);
        ends_.push_back({index, ItemEnd::Kind::Saved, bytes, sha256, {}});
    }
    if (events_.saved) events_.saved(index, address, savePath, bytes);
}

void ItemLog::Skipped(std::size_t index) {
    {
        std::lock_guard lock(mutex_);
        ends_.push_back({index, ItemEnd::Kind::Skipped, 0, {}, {}});
    }
    if (events_.skipped) events_.skipped(index);
}

void ItemLog::Deleted(std::size_t index) {
    {
        std::lock_guard lock(mutex_);
        ends_.push_back({index, ItemEnd::Kind::Deleted, 0, {}, {}});
    }
    if (events_.deleted) events_.deleted(index);
}

void ItemLog::Filtered(FailedItem item, bool known) {
    if (!known && records_) records_->Filtered({item.address, item.savePath, window_, albumAddress_});
    if (events_.filtered) events_.filtered(item);
    std::lock_guard lock(mutex_);
    ends_.push_back({item.index, ItemEnd::Kind::Filtered, 0, {}, FailureMessage(item)});
}

void ItemLog::Failed(FailedItem failure) {
    if (events_.failed) events_.failed(failure);
    std::lock_guard lock(mutex_);
    ends_.push_back({failure.index, ItemEnd::Kind::Failed, 0, {}, FailureMessage(failure)});
    failures_.push_back(std::move(failure));
}

std::vector<FailedItem> ItemLog::Failures() const {
    std::lock_guard lock(mutex_);
    return failures_;
}

std::size_t ItemLog::Count(ItemEnd::Kind kind) const {
    std::lock_guard lock(mutex_);
    return static_cast<std::size_t>(
        std::count_if(ends_.begin(), ends_.end(), [kind](const ItemEnd& end) { return end.kind == kind; }));
}

std::size_t ItemLog::SavedCount() const { return Count(ItemEnd::Kind::Saved); }
std::size_t ItemLog::SkippedCount() const { return Count(ItemEnd::Kind::Skipped); }
std::size_t ItemLog::DeletedCount() const { return Count(ItemEnd::Kind::Deleted); }
std::size_t ItemLog::FilteredCount() const { return Count(ItemEnd::Kind::Filtered); }

std::vector<ItemEnd> ItemLog::Ends() const {
    std::lock_guard lock(mutex_);
    return ends_;
}

std::vector<std::size_t> ItemLog::DoneIndexes() const {
    std::lock_guard lock(mutex_);
    std::vector<std::size_t> done;
    for (const ItemEnd& end : ends_) {
        if (end.kind == ItemEnd::Kind::Saved || end.kind == ItemEnd::Kind::Skipped) done.push_back(end.index);
    }
    return done;
}

}  // namespace lumora
