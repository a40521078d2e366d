// The album records of one get-albums run, shared between the reader that
// appends them, the grid that shows them and the download run.
#pragma once

#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

namespace lumora {

struct ST_PERLISTRECORD {
    std::u16string title;
    std::u16string address;  // the album's picture page
    std::u16string coverAddress;
    std::u16string extraText1;
    std::u16string extraText2;
    std::int32_t pictureCount = -1;  // -1: unknown
    std::int32_t albumFlags = 0;
    std::int32_t extraNumber1 = 0;
    std::int32_t extraNumber2 = 0;
    std::int32_t position = 0;
    std::int32_t imageIndex = -1;  // thumbnail, -1 until loaded
};

// Ordered album records. Appends come from a worker while the window reads,
// so every access takes the lock and hands out copies.
class AlbumList {
public:
    // Completes the record (position, unique cleaned title of at most
    // kMaxTitleLength units before its number) and appends it; returns the
    // new number of records.
    std::size_t Add(ST_PERLISTRECORD record);
    void Clear();
    // Becomes a copy of `other`, records and numbering as they are.
    void CopyFrom(const AlbumList& other);
    std::size_t size() const;
    std::optional<ST_PERLISTRECORD> at(std::size_t position) const;
    std::vector<ST_PERLISTRECORD> all() const;
    // The grid sets thumbnails in place; titles stay as added.
    void SetImageIndex(std::size_t position, std::int32_t index);

    std::int32_t pickedCount() const;
    void setPickedCount(std::int32_t count);

private:
    bool Taken(const std::u16string& title) const;

    mutable std::mutex mutex_;
    std::vector<ST_PERLISTRECORD> records_;
    std::int32_t pickedCount_ = 0;
    // How many records carry each title, so that a page of thousands of
    // albums of one title is not compared record by record for each number.
    std::unordered_map<std::u16string, std::size_t> titleCount_;
    // Per cleaned title: the last number handed out. Titles are only added,
    // so every smaller number is still taken.
    std::unordered_map<std::u16string, std::int64_t> lastNumber_;
};

}  // namespace lumora

namespace lumora {

// Titles are cut to this many UTF-16 units when an album is added; the grid
// shows no more of any title.
inline constexpr std::size_t kMaxTitleLength = 80;

// The first kMaxTitleLength units of `title`, one fewer when the cut would
// split a surrogate pair (half a character turns into "?" in file names).
std::u16string ShortTitle(const std::u16string& title);

// Texts the album table shows: "未知" for an unknown count, and the remark
// for the album kind flags.
std::u16string AlbumCountText(std::int32_t pictureCount);
std::u16string AlbumRemark(std::int32_t albumFlags);

}  // namespace lumora
