#include "site/AlbumRecord.h"

#include "text/Format.h"
#include "text/StringCtrl.h"

namespace lumora {

std::size_t AlbumList::Add(ST_PERLISTRECORD record) {
    record.imageIndex = -1;
    CleanFileName(record.title, kTimeStampFallback, true);
    std::lock_guard lock(mutex_);
    record.position = static_cast<std::int32_t>(records_.size());
    // Unique titles: "%s (%u)" always built from the cleaned title, with the
    // first number that no record carries.
    if (Taken(record.title)) {
        const std::u16string cleaned = record.title;
        std::int64_t& number = lastNumber_[cleaned];
        do {
            record.title = FormatText(u"%s (%u)", {cleaned, ++number});
        } while (Taken(record.title));
    }
    ++titleCount_[record.title];
    records_.push_back(std::move(record));
    return records_.size();
}

bool AlbumList::Taken(const std::u16string& title) const {
    const auto it = titleCount_.find(title);
    return it != titleCount_.end() && it->second > 0;
}

void AlbumList::Clear() {
    std::lock_guard lock(mutex_);
    records_.clear();
    titleCount_.clear();
    lastNumber_.clear();
    pickedCount_ = 0;
}

std::size_t AlbumList::size() const {
    std::lock_guard lock(mutex_);
    return records_.size();
}

std::optional<ST_PERLISTRECORD> AlbumList::at(std::size_t position) const {
    std::lock_guard lock(mutex_);
    if (position >= records_.size()) return std::nullopt;
    return records_[position];
}

std::vector<ST_PERLISTRECORD> AlbumList::all() const {
    std::lock_guard lock(mutex_);
    return records_;
}

void AlbumList::SetTitle(std::size_t position, const std::u16string& title) {
    std::lock_guard lock(mutex_);
    if (position >= records_.size() || records_[position].title == title) return;
    --titleCount_[records_[position].title];
    ++titleCount_[title];
    records_[position].title = title;
    // A title given up may free a smaller number than the ones handed out.
    lastNumber_.clear();
}

void AlbumList::SetImageIndex(std::size_t position, std::int32_t index) {
    std::lock_guard lock(mutex_);
    if (position < records_.size()) records_[position].imageIndex = index;
}

std::int32_t AlbumList::pickedCount() const {
    std::lock_guard lock(mutex_);
    return pickedCount_;
}

void AlbumList::setPickedCount(std::int32_t count) {
    std::lock_guard lock(mutex_);
    pickedCount_ = count;
}

}  // namespace lumora

namespace lumora {

std::u16string AlbumCountText(std::int32_t pictureCount) {
    if (pictureCount == -1) return u"未知";
    return FormatText(u"%4u", {static_cast<std::int64_t>(pictureCount)});
}

std::u16string AlbumRemark(std::int32_t albumFlags) {
    if (albumFlags < 0) return FormatText(u"%08u", {static_cast<std::int64_t>(albumFlags & 0x7FFFFFFF)});
    if (albumFlags & 1) return u"加密相册";
    if (albumFlags & 2) return u"私密相册";
    if (albumFlags & 4) return u"好友可见";
    return u"";
}

}  // namespace lumora
