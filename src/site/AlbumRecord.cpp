#include "site/AlbumRecord.h"

#include "text/Format.h"
#include "text/StringCtrl.h"

namespace lumora {
namespace {

// A title as the list keeps it: cleaned, cut, and cleaned again until
// cleaning changes nothing ("a / b" leaves "a  b" after one pass, a cut may
// leave a blank at the end). The album folder, named by cleaning the title
// once more, is then the title itself, so unique titles are unique folders.
// Every pass that changes the text shortens it, or ends at a fixed point.
std::u16string ListTitle(std::u16string title) {
    CleanFileName(title, kTimeStampFallback, true);
    while (true) {
        std::u16string next = ShortTitle(title);
        CleanFileName(next, kTimeStampFallback, true);
        if (next == title) return title;
        title = std::move(next);
    }
}

}  // namespace

std::u16string ShortTitle(const std::u16string& title) {
    if (title.size() <= kMaxTitleLength) return title;
    std::size_t length = kMaxTitleLength;
    const char16_t last = title[length - 1];
    if (last >= 0xD800 && last <= 0xDBFF) --length;
    return title.substr(0, length);
}

std::size_t AlbumList::Add(ST_PERLISTRECORD record) {
    record.imageIndex = -1;
    // Shortened before titles are made unique: two titles that agree in their
    // first 80 units become two numbered titles, never one folder.
    record.title = ListTitle(std::move(record.title));
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

void AlbumList::CopyFrom(const AlbumList& other) {
    if (&other == this) return;
    std::scoped_lock lock(mutex_, other.mutex_);
    records_ = other.records_;
    titleCount_ = other.titleCount_;
    lastNumber_ = other.lastNumber_;
    pickedCount_ = other.pickedCount_;
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
