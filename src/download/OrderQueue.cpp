#include "download/OrderQueue.h"

#include <sqlite3.h>

#include <ctime>
#include <functional>
#include <unordered_map>

#include "download/SqliteFile.h"

namespace lumora {
namespace {

constexpr const char* kSchema =
    "CREATE TABLE IF NOT EXISTS queue_orders("
    "  id INTEGER PRIMARY KEY AUTOINCREMENT, position INTEGER NOT NULL, address TEXT NOT NULL,"
    "  space_name TEXT NOT NULL, save_folder TEXT NOT NULL, state TEXT NOT NULL,"
    "  albums INTEGER NOT NULL, total INTEGER NOT NULL, done INTEGER NOT NULL, failed INTEGER NOT NULL,"
    "  note TEXT NOT NULL, added_at INTEGER NOT NULL);"
    "CREATE TABLE IF NOT EXISTS queue_albums("
    "  order_id INTEGER NOT NULL, position INTEGER NOT NULL, address TEXT NOT NULL, title TEXT NOT NULL,"
    "  PRIMARY KEY(order_id, position));"
    "CREATE TABLE IF NOT EXISTS queue_failures("
    "  order_id INTEGER NOT NULL, album_title TEXT NOT NULL, album TEXT NOT NULL, album_first TEXT NOT NULL,"
    "  marker_due INTEGER NOT NULL, folder TEXT NOT NULL, file TEXT NOT NULL, address TEXT NOT NULL,"
    "  header TEXT NOT NULL, reason TEXT NOT NULL);"
    "CREATE INDEX IF NOT EXISTS queue_failures_order ON queue_failures(order_id);";

constexpr OrderState kStates[] = {OrderState::Waiting, OrderState::Running, OrderState::Paused,
                                  OrderState::Done,    OrderState::Failed,  OrderState::Stopped};

OrderState StateNamed(const std::u16string& name) {
    for (OrderState state : kStates) {
        const std::string known = OrderStateName(state);
        if (name == std::u16string(known.begin(), known.end())) return state;
    }
    return OrderState::Waiting;  // a state a later version wrote: run it again rather than lose it
}

std::u16string Name(OrderState state) {
    const std::string name = OrderStateName(state);
    return {name.begin(), name.end()};
}

constexpr const char* kOrderColumns =
    "SELECT id, address, space_name, save_folder, state, albums, total, done, failed, note, added_at "
    "FROM queue_orders ";

QueuedOrder ReadOrder(const SqliteStatement& row) {
    QueuedOrder order;
    order.id = row.Int(0);
    order.address = row.Text(1);
    order.spaceName = row.Text(2);
    order.saveFolder = row.Text(3);
    order.state = StateNamed(row.Text(4));
    order.albumCount = static_cast<std::size_t>(row.Int(5));
    order.total = static_cast<std::size_t>(row.Int(6));
    order.done = static_cast<std::size_t>(row.Int(7));
    order.failed = static_cast<std::size_t>(row.Int(8));
    order.note = row.Text(9);
    order.addedAt = row.Int(10);
    return order;
}

// The statement's end as a result.
Result<void> Finished(sqlite3* db, const SqliteStatement& statement) {
    if (statement.Done()) return {};
    return SqliteFailure(statement.Code(db));
}

}  // namespace

const char16_t* OrderStateText(OrderState state) {
    switch (state) {
    case OrderState::Waiting: return u"等待";
    case OrderState::Running: return u"下载中";
    case OrderState::Paused: return u"已暂停";
    case OrderState::Done: return u"完成";
    case OrderState::Failed: return u"有失败";
    case OrderState::Stopped: return u"已终止";
    }
    return u"";
}

const char* OrderStateName(OrderState state) {
    switch (state) {
    case OrderState::Waiting: return "waiting";
    case OrderState::Running: return "running";
    case OrderState::Paused: return "paused";
    case OrderState::Done: return "done";
    case OrderState::Failed: return "failed";
    case OrderState::Stopped: return "stopped";
    }
    return "";
}

Result<std::unique_ptr<OrderQueue>> OrderQueue::Open(const std::filesystem::path& file) {
    Result<sqlite3*> db = OpenSqliteFile(file);
    if (!db) return db.failure();
    std::unique_ptr<OrderQueue> queue(new OrderQueue(*db));
    if (Result<void> made = queue->Execute(kSchema); !made) return made.failure();
    return queue;
}

OrderQueue::OrderQueue(sqlite3* db) : SqliteStore(db) {}

Result<std::int64_t> OrderQueue::Add(const QueuedOrder& order) {
    std::int64_t id = 0;
    Result<void> added = Transaction([&] {
        SqliteStatement insert(db_,
                               "INSERT INTO queue_orders(position, address, space_name, save_folder, state, albums, "
                               "total, done, failed, note, added_at) "
                               "SELECT COALESCE(MAX(position), 0) + 1, ?1, ?2, ?3, ?4, ?5, 0, 0, 0, '', ?6 "
                               "FROM queue_orders");
        insert.Bind(1, order.address)
            .Bind(2, order.spaceName)
            .Bind(3, order.saveFolder)
            .Bind(4, Name(OrderState::Waiting))
            .Bind(5, static_cast<std::int64_t>(order.albums.size()))
            .Bind(6, static_cast<std::int64_t>(std::time(nullptr)));
        insert.Step();
        if (!insert.Done()) return false;
        id = sqlite3_last_insert_rowid(db_);
        for (std::size_t i = 0; i < order.albums.size(); ++i) {
            SqliteStatement album(
                db_, "INSERT INTO queue_albums(order_id, position, address, title) VALUES(?1, ?2, ?3, ?4)");
            album.Bind(1, id)
                .Bind(2, static_cast<std::int64_t>(i))
                .Bind(3, order.albums[i].address)
                .Bind(4, order.albums[i].title);
            album.Step();
            if (!album.Done()) return false;
        }
        return true;
    });
    if (!added) return added.failure();
    return id;
}

std::vector<QueuedAlbum> OrderQueue::Albums(std::int64_t id) {
    std::vector<QueuedAlbum> albums;
    SqliteStatement rows(db_, "SELECT address, title FROM queue_albums WHERE order_id = ?1 ORDER BY position");
    rows.Bind(1, id);
    while (rows.Step()) albums.push_back({rows.Text(0), rows.Text(1)});
    return albums;
}

Result<std::vector<QueuedOrder>> OrderQueue::Orders() {
    std::vector<QueuedOrder> orders;
    SqliteStatement rows(db_, (std::string(kOrderColumns) + "ORDER BY position").c_str());
    while (rows.Step()) orders.push_back(ReadOrder(rows));
    if (Result<void> read = Finished(db_, rows); !read) return read.failure();
    // One query for every order's albums, not one per order: a queue may hold a thousand.
    std::unordered_map<std::int64_t, std::size_t> byId;
    for (std::size_t i = 0; i < orders.size(); ++i) byId.emplace(orders[i].id, i);
    SqliteStatement albums(db_, "SELECT order_id, address, title FROM queue_albums ORDER BY order_id, position");
    while (albums.Step()) {
        if (auto found = byId.find(albums.Int(0)); found != byId.end()) {
            orders[found->second].albums.push_back({albums.Text(1), albums.Text(2)});
        }
    }
    return orders;
}

std::optional<QueuedOrder> OrderQueue::Find(std::int64_t id) {
    SqliteStatement row(db_, (std::string(kOrderColumns) + "WHERE id = ?1").c_str());
    row.Bind(1, id);
    if (!row.Step()) return std::nullopt;
    QueuedOrder order = ReadOrder(row);
    order.albums = Albums(id);
    return order;
}

std::optional<QueuedOrder> OrderQueue::NextRunnable(const std::set<std::int64_t>& skipped, bool failedToo) {
    SqliteStatement rows(
        db_, (std::string(kOrderColumns) +
              (failedToo ? "WHERE state <> 'done' " : "WHERE state NOT IN ('done', 'failed') ") + "ORDER BY position")
                 .c_str());
    while (rows.Step()) {
        QueuedOrder order = ReadOrder(rows);
        if (skipped.contains(order.id)) continue;
        order.albums = Albums(order.id);
        return order;
    }
    return std::nullopt;
}

Result<bool> OrderQueue::Remove(std::int64_t id) {
    bool removed = false;
    Result<void> done = Transaction([&] {
        if (!Run("DELETE FROM queue_albums WHERE order_id = ?1", {id}) ||
            !Run("DELETE FROM queue_failures WHERE order_id = ?1", {id}) ||
            !Run("DELETE FROM queue_orders WHERE id = ?1", {id})) {
            return false;
        }
        removed = sqlite3_changes(db_) > 0;
        return true;
    });
    if (!done) return done.failure();
    return removed;
}

Result<std::size_t> OrderQueue::Clear(bool doneOnly) {
    constexpr const char* kDoneOrders = "(SELECT id FROM queue_orders WHERE state = 'done')";
    std::size_t removed = 0;
    Result<void> done = Transaction([&] {
        const std::string which = doneOnly ? std::string(" WHERE order_id IN ") + kDoneOrders : "";
        if (!Run(("DELETE FROM queue_albums" + which).c_str(), {}) ||
            !Run(("DELETE FROM queue_failures" + which).c_str(), {}) ||
            !Run(doneOnly ? "DELETE FROM queue_orders WHERE state = 'done'" : "DELETE FROM queue_orders", {})) {
            return false;
        }
        removed = static_cast<std::size_t>(sqlite3_changes(db_));
        return true;
    });
    if (!done) return done.failure();
    return removed;
}

Result<bool> OrderQueue::Move(std::int64_t id, int step) {
    bool moved = false;
    Result<void> done = Transaction([&] {
        // The neighbour in the direction of the step trades places with it.
        SqliteStatement neighbour(
            db_, step < 0 ? "SELECT o.id, o.position, m.position FROM queue_orders o, queue_orders m "
                            "WHERE m.id = ?1 AND o.position < m.position ORDER BY o.position DESC LIMIT 1"
                          : "SELECT o.id, o.position, m.position FROM queue_orders o, queue_orders m "
                            "WHERE m.id = ?1 AND o.position > m.position ORDER BY o.position LIMIT 1");
        neighbour.Bind(1, id);
        if (!neighbour.Step()) return neighbour.Done();
        const std::int64_t other = neighbour.Int(0), otherPosition = neighbour.Int(1), position = neighbour.Int(2);
        constexpr const char* kPlace = "UPDATE queue_orders SET position = ?2 WHERE id = ?1";
        moved = Run(kPlace, {id, otherPosition}) && Run(kPlace, {other, position});
        return moved;
    });
    if (!done) return done.failure();
    return moved;
}

Result<void> OrderQueue::Update(const QueuedOrder& order) {
    SqliteStatement update(db_,
                           "UPDATE queue_orders SET state = ?2, space_name = ?3, albums = ?4, total = ?5, done = ?6, "
                           "failed = ?7, note = ?8 WHERE id = ?1");
    update.Bind(1, order.id)
        .Bind(2, Name(order.state))
        .Bind(3, order.spaceName)
        .Bind(4, static_cast<std::int64_t>(order.albumCount))
        .Bind(5, static_cast<std::int64_t>(order.total))
        .Bind(6, static_cast<std::int64_t>(order.done))
        .Bind(7, static_cast<std::int64_t>(order.failed))
        .Bind(8, order.note);
    update.Step();
    return Finished(db_, update);
}

Result<void> OrderQueue::SetFailures(std::int64_t id, const std::vector<FailedPicture>& failures) {
    return Transaction([&] {
        if (!Run("DELETE FROM queue_failures WHERE order_id = ?1", {id})) return false;
        for (const FailedPicture& f : failures) {
            SqliteStatement insert(db_,
                                   "INSERT INTO queue_failures(order_id, album_title, album, album_first, marker_due, "
                                   "folder, file, address, header, reason) "
                                   "VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10)");
            insert.Bind(1, id)
                .Bind(2, f.albumTitle)
                .Bind(3, f.albumAddress)
                .Bind(4, f.albumFirstAddress)
                .Bind(5, std::int64_t{f.markerDue})
                .Bind(6, f.albumFolder)
                .Bind(7, f.fileName)
                .Bind(8, f.address)
                .Bind(9, f.headerText)
                .Bind(10, f.reason);
            insert.Step();
            if (!insert.Done()) return false;
        }
        return true;
    });
}

std::vector<FailedPicture> OrderQueue::Failures(std::int64_t id) {
    std::vector<FailedPicture> failures;
    SqliteStatement rows(db_,
                         "SELECT album_title, album, album_first, marker_due, folder, file, address, header, reason "
                         "FROM queue_failures WHERE order_id = ?1 ORDER BY rowid");
    rows.Bind(1, id);
    while (rows.Step()) {
        failures.push_back({rows.Text(0), rows.Text(1), rows.Text(2), rows.Int(3) != 0, rows.Text(4), rows.Text(5),
                            rows.Text(6), rows.Text(7), rows.Text(8)});
    }
    return failures;
}

}  // namespace lumora
