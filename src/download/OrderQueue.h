// The queue of download orders in "archive.sqlite3": a member's address, the
// albums picked (or all), the save folder, and how far the order got. It
// survives a stop, a kill and a restart; the desktop program and lumora-cli
// see the same queue. Orders run one at a time, in queue order.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "base/Result.h"
#include "download/DownloadArchive.h"  // FailedPicture
#include "download/SqliteFile.h"

namespace lumora {

enum class OrderState : std::uint8_t {
    Waiting,  // "等待"
    Running,  // "下载中"; after a kill, until the next queue run takes it again
    Paused,   // "已暂停"
    Done,     // "完成"
    Failed,   // "有失败"
    Stopped,  // "已终止"
};

// "等待", "下载中", ...
const char16_t* OrderStateText(OrderState state);
// "waiting", "running", ...: the stored and the JSON form.
const char* OrderStateName(OrderState state);

struct QueuedAlbum {
    std::u16string address;
    std::u16string title;
    bool operator==(const QueuedAlbum&) const = default;
};

struct QueuedOrder {
    std::int64_t id = 0;
    std::u16string address;  // the member's album-space address
    std::u16string spaceName;
    std::vector<QueuedAlbum> albums;  // none: every album the member has
    std::u16string saveFolder;
    OrderState state = OrderState::Waiting;
    // Of its last run: albums taken, pictures listed, saved or found saved, failed.
    std::size_t albumCount = 0;
    std::size_t total = 0;
    std::size_t done = 0;
    std::size_t failed = 0;
    std::u16string note;  // why it failed when no picture could be, e.g. the list was unreadable
    std::int64_t addedAt = 0;
};

class OrderQueue : private SqliteStore {
public:
    static Result<std::unique_ptr<OrderQueue>> Open(const std::filesystem::path& file);

    // Appends the order as waiting; its id.
    Result<std::int64_t> Add(const QueuedOrder& order);
    // Every order in queue order.
    Result<std::vector<QueuedOrder>> Orders();
    std::optional<QueuedOrder> Find(std::int64_t id);
    // The first order a queue run takes next, `skipped` left out: every one
    // not finished, and with `failedToo` the ones that ended "有失败" too.
    std::optional<QueuedOrder> NextRunnable(const std::set<std::int64_t>& skipped = {}, bool failedToo = false);
    // False when there is no such order.
    Result<bool> Remove(std::int64_t id);
    // Removes every order, or only the finished ones ("完成"); how many went.
    Result<std::size_t> Clear(bool doneOnly);
    // One place up (negative) or down; false at an end.
    Result<bool> Move(std::int64_t id, int step);
    // The state, space name, counts and note of an order.
    Result<void> Update(const QueuedOrder& order);
    // An order's failures, replaced as a whole after each of its runs.
    Result<void> SetFailures(std::int64_t id, const std::vector<FailedPicture>& failures);
    std::vector<FailedPicture> Failures(std::int64_t id);

private:
    explicit OrderQueue(sqlite3* db);
    std::vector<QueuedAlbum> Albums(std::int64_t id);
};

}  // namespace lumora
