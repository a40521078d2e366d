// The queue and follow-and-sync as a user runs them: orders that survive a
// kill, one runner at a time, and syncs that fetch exactly what is new.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <csignal>
#include <nlohmann/json.hpp>

#include "cli/cli_fixture.h"

namespace lumora::testing {
namespace {

using QueueTest = CliTest;

// Album 1 of the member gets `count` pictures, the first at once and the
// others slowly, so that a run is still going when a test acts on it.
void ServeSlowAlbum(testsite::TestSite& site, int count) {
    std::string page;
    for (int n = 1; n <= count; ++n) {
        const std::string name = "/slow/" + std::to_string(n);
        page += "<li class=\"picture\"><img src=\"//img.pconline.com.cn" + name + "_mthumb.jpg\">";
        Response picture = Response::Text("JPEG" + std::to_string(n), "image/jpeg");
        picture.delayBeforeHeaders = std::chrono::milliseconds(n == 1 ? 0 : 300);
        site.route("img.pconline.com.cn", name + ".jpg", picture);
    }
    site.route("dp.pconline.com.cn", "/photo/list_1.html", Response::Text(page));
}

TEST_F(QueueTest, AnOrderKilledMidRunIsTakenAgainAndFetchesOnlyWhatIsMissing) {
    ServeSlowAlbum(site_, 12);
    const std::string save = (home_ / "save").string();
    CliRun added = Cli("queue add http://dp.pconline.com.cn/m/ --albums 1 --save '" + save + "'");
    ASSERT_EQ(added.status, 0);
    EXPECT_NE(added.out.find("已加入队列\t1\thttp://dp.pconline.com.cn/m/\t1个相册\t" + save), std::string::npos)
        << added.out;
    // "all" is read when the order runs: nothing is fetched to add it.
    const std::size_t listReads = site_.requestCount("/m/myphoto_p1_n15.html");
    ASSERT_EQ(Cli("queue add http://dp.pconline.com.cn/m/ --save '" + save + "'").status, 0);
    EXPECT_EQ(site_.requestCount("/m/myphoto_p1_n15.html"), listReads);

    const fs::path album = home_ / "save" / "Member" / "Album 1";
    const pid_t runner = Spawn("queue run", home_ / "first.txt");
    for (int wait = 0; wait < 500 && !fs::exists(album / "Album 1 (1).jpg"); ++wait) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    // One runner per program folder.
    CliRun second = Cli("queue run", true);
    EXPECT_EQ(second.status, 1);
    EXPECT_NE(second.out.find("另一个下载正在进行"), std::string::npos) << second.out;
    EXPECT_NE(Cli("queue list").out.find("\t下载中\t"), std::string::npos);
    kill(runner, SIGKILL);
    waitpid(runner, nullptr, 0);

    // Nobody runs it now: it waits for the next run, which takes it again.
    EXPECT_NE(Cli("queue list").out.find("\t等待\t"), std::string::npos);
    CliRun again = Cli("queue run --json");
    EXPECT_EQ(again.status, 0) << again.out;
    EXPECT_EQ(site_.requestCount("/slow/1.jpg"), 1u);  // saved before the kill, not fetched again
    for (int n = 1; n <= 12; ++n) {
        EXPECT_TRUE(fs::exists(album / ("Album 1 (" + std::to_string(n) + ").jpg"))) << n;
    }
    EXPECT_TRUE(fs::exists(home_ / "save" / "Member" / "Album 3" / "Album 3 (1).jpg"));
    EXPECT_NE(again.out.find("\"event\":\"order-ended\""), std::string::npos);

    const nlohmann::json orders = nlohmann::json::parse(Cli("queue list --json").out);
    ASSERT_EQ(orders.size(), 2u);
    EXPECT_EQ(orders[0]["state"], "done");
    EXPECT_EQ(orders[0]["spaceName"], "Member");
    EXPECT_EQ(orders[0]["albums"][0]["address"], "http://dp.pconline.com.cn/photo/list_1.html");
    EXPECT_EQ(orders[1]["albums"], "all");
    EXPECT_EQ(orders[1]["done"], 14);  // 12 + 1 + 1, the first album found saved
    EXPECT_EQ(Cli("queue run", true).out, "队列中没有等待的订单\n");

    EXPECT_EQ(Cli("queue remove 7").status, 1);
    EXPECT_EQ(Cli("queue remove 1").status, 0);
    EXPECT_EQ(Cli("queue clear --done").out, "已移除1个订单\n");
    EXPECT_EQ(Cli("queue list").out, "");
}

TEST_F(QueueTest, AnOrderOfAlbumsTheMemberNoLongerHasFailsAndSaysSo) {
    const std::string save = (home_ / "save").string();
    ASSERT_EQ(Cli("queue add http://dp.pconline.com.cn/m/ --albums 2 --save '" + save + "'").status, 0);
    site_.route("dp.pconline.com.cn", "/m/myphoto_p1_n15.html",
                Response::Text("<title>【x】Member_太平洋</title><div class=\"picbox\"><a href=\"/photo/1.html\" "
                               "title=\"Album 1\"><img src=\"//img.pconline.com.cn/c1.jpg\"></a></div>"));
    EXPECT_EQ(Cli("queue run").status, 1);
    const std::string listed = Cli("queue list").out;
    EXPECT_NE(listed.find("\t有失败\t"), std::string::npos) << listed;
    EXPECT_NE(listed.find("1个选中的相册已不在相册列表中"), std::string::npos) << listed;
    // A failed order waits to be asked for again, and then runs once, not round and round.
    EXPECT_EQ(Cli("queue run", true).out, "队列中没有等待的订单\n");
    const std::size_t reads = site_.requestCount("/m/myphoto_p1_n15.html");
    EXPECT_EQ(Cli("queue run --again").status, 1);
    EXPECT_EQ(site_.requestCount("/m/myphoto_p1_n15.html"), reads + 1);
}

using SyncTest = CliTest;

TEST_F(SyncTest, ASyncFetchesExactlyWhatIsNewAndGoesOnPastAnUnreadableMember) {
    const std::string save = (home_ / "save").string();
    ASSERT_EQ(Cli("follow add http://dp.pconline.com.cn/gone/ --save '" + save + "'").status, 0);
    ASSERT_EQ(Cli("follow add http://dp.pconline.com.cn/m/ --save '" + save + "'").status, 0);
    // A member whose page is gone says so; the sync goes on with the next and fails.
    CliRun first = Cli("sync");
    EXPECT_EQ(first.status, 1);
    EXPECT_NE(first.out.find("http://dp.pconline.com.cn/gone/\t无法读取相册列表：HTTP 错误 404"), std::string::npos)
        << first.out;
    EXPECT_NE(first.out.find("http://dp.pconline.com.cn/m/\t3个新相册\t3张新图片\t失败0张"), std::string::npos)
        << first.out;

    // The site gains an album and, in a known album, a picture.
    site_.route("dp.pconline.com.cn", "/photo/list_1.html",
                Response::Text("<li class=\"picture\"><img src=\"//img.pconline.com.cn/1/1_mthumb.jpg\">"
                               "<li class=\"picture\"><img src=\"//img.pconline.com.cn/1/2_mthumb.jpg\">"));
    site_.route("img.pconline.com.cn", "/1/2.jpg", Response::Text("JPEG1b", "image/jpeg"));
    std::string blocks;
    for (int k = 1; k <= 4; ++k) {
        const std::string id = std::to_string(k);
        blocks += "<div class=\"picbox\"><a href=\"/photo/" + id + ".html\" title=\"Album " + id +
                  "\"><img src=\"//img.pconline.com.cn/c" + id + ".jpg\"></a></div>";
    }
    site_.route("dp.pconline.com.cn", "/m/myphoto_p1_n15.html",
                Response::Text("<title>【x】Member_太平洋</title>" + blocks));
    site_.route("dp.pconline.com.cn", "/photo/list_4.html",
                Response::Text("<li class=\"picture\"><img src=\"//img.pconline.com.cn/4/1_mthumb.jpg\">"));
    site_.route("img.pconline.com.cn", "/4/1.jpg", Response::Text("JPEG4", "image/jpeg"));

    CliRun second = Cli("sync --json http://dp.pconline.com.cn/m/");
    EXPECT_EQ(second.status, 0) << second.out;
    for (const char* old : {"/1/1.jpg", "/2/1.jpg", "/3/1.jpg"}) EXPECT_EQ(site_.requestCount(old), 1u) << old;
    EXPECT_EQ(site_.requestCount("/1/2.jpg"), 1u);
    EXPECT_EQ(site_.requestCount("/4/1.jpg"), 1u);
    EXPECT_NE(second.out.find("\"event\":\"member-ended\",\"failed\":0,\"listRead\":true,\"newAlbums\":1,"
                              "\"newPictures\":2"),
              std::string::npos)
        << second.out;

    const nlohmann::json members = nlohmann::json::parse(Cli("follow list --json").out);
    ASSERT_EQ(members.size(), 2u);
    EXPECT_EQ(members[0]["lastSync"]["problem"], "无法读取相册列表：HTTP 错误 404");
    EXPECT_EQ(members[1]["spaceName"], "Member");
    EXPECT_EQ(members[1]["lastSync"]["newPictures"], 2);
    EXPECT_EQ(Cli("sync http://dp.pconline.com.cn/other/").status, 2);

    // A backup folder that was moved is not filled anew somewhere else.
    fs::rename(home_ / "save", home_ / "moved");
    CliRun moved = Cli("sync http://dp.pconline.com.cn/m/");
    EXPECT_EQ(moved.status, 1);
    EXPECT_NE(moved.out.find("保存文件夹不存在：" + save), std::string::npos) << moved.out;
    EXPECT_FALSE(fs::exists(home_ / "save"));
    EXPECT_EQ(Cli("follow remove http://dp.pconline.com.cn/m/").status, 0);
    EXPECT_EQ(Cli("follow remove http://dp.pconline.com.cn/m/").status, 1);
}

TEST_F(SyncTest, AStoppedSyncIsTakenUpByTheNextAndLosesNothing) {
    ServeSlowAlbum(site_, 12);
    ASSERT_EQ(Cli("follow add http://dp.pconline.com.cn/m/ --save '" + (home_ / "save").string() + "'").status, 0);
    const fs::path album = home_ / "save" / "Member" / "Album 1";
    const pid_t sync = Spawn("sync", home_ / "first.txt");
    for (int wait = 0; wait < 500 && !fs::exists(album / "Album 1 (1).jpg"); ++wait) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    kill(sync, SIGINT);
    int raw = 0;
    waitpid(sync, &raw, 0);
    ASSERT_TRUE(WIFEXITED(raw));
    EXPECT_EQ(WEXITSTATUS(raw), 130);
    EXPECT_NE(ReadText(home_ / "first.txt").find("（已终止）"), std::string::npos);

    CliRun next = Cli("sync");
    EXPECT_EQ(next.status, 0) << next.out;
    // The album it was in counts as new still: the stopped sync had not finished it.
    EXPECT_NE(next.out.find("http://dp.pconline.com.cn/m/\t3个新相册"), std::string::npos) << next.out;
    for (int n = 1; n <= 12; ++n) EXPECT_TRUE(fs::exists(album / ("Album 1 (" + std::to_string(n) + ").jpg"))) << n;
    EXPECT_EQ(site_.requestCount("/slow/1.jpg"), 1u);
}

// Titles alike are told apart by their place in the list; a new album of the
// same title listed first must not move the old ones into each other's folders.
TEST_F(SyncTest, AlbumsKeepTheirFoldersWhenANewAlbumOfTheSameTitleComesFirst) {
    const auto serveList = [&](const std::vector<std::string>& ids) {
        std::string blocks;
        for (const std::string& id : ids) {
            blocks += "<div class=\"picbox\"><a href=\"/photo/" + id +
                      ".html\" title=\"Sea\"><img src=\"//img.pconline.com.cn/c" + id + ".jpg\"></a></div>";
            site_.route(
                "dp.pconline.com.cn", "/photo/list_" + id + ".html",
                Response::Text("<li class=\"picture\"><img src=\"//img.pconline.com.cn/" + id + "/1_mthumb.jpg\">"));
            site_.route("img.pconline.com.cn", "/" + id + "/1.jpg", Response::Text("JPEG" + id, "image/jpeg"));
        }
        site_.route("dp.pconline.com.cn", "/m/myphoto_p1_n15.html",
                    Response::Text("<title>【x】Member_太平洋</title>" + blocks));
    };
    serveList({"1", "2"});
    ASSERT_EQ(Cli("follow add http://dp.pconline.com.cn/m/ --save '" + (home_ / "save").string() + "'").status, 0);
    ASSERT_EQ(Cli("sync").status, 0);
    const fs::path member = home_ / "save" / "Member";
    ASSERT_EQ(ReadText(member / "Sea" / "Sea (1).jpg"), "JPEG1");
    ASSERT_EQ(ReadText(member / "Sea (1)" / "Sea (1) (1).jpg"), "JPEG2");

    serveList({"5", "1", "2"});
    CliRun next = Cli("sync");
    EXPECT_EQ(next.status, 0) << next.out;
    EXPECT_EQ(ReadText(member / "Sea" / "Sea (1).jpg"), "JPEG1");
    EXPECT_EQ(ReadText(member / "Sea (1)" / "Sea (1) (1).jpg"), "JPEG2");
    EXPECT_EQ(site_.requestCount("/1/1.jpg"), 1u);
    EXPECT_EQ(site_.requestCount("/2/1.jpg"), 1u);
    EXPECT_EQ(site_.requestCount("/5/1.jpg"), 1u);
    EXPECT_TRUE(fs::exists(member / "Sea (2)")) << next.out;
}

TEST_F(SyncTest, WhatTheUserDeletedStaysDeletedOnlyWhenAsked) {
    const std::string save = (home_ / "save").string();
    ASSERT_EQ(Cli("follow add http://dp.pconline.com.cn/m/ --save '" + save + "'").status, 0);
    ASSERT_EQ(Cli("sync").status, 0);
    const fs::path deleted = home_ / "save" / "Member" / "Album 2" / "Album 2 (1).jpg";
    ASSERT_TRUE(fs::remove(deleted));

    ASSERT_EQ(Cli("options skip-deleted on").status, 0);
    EXPECT_NE(Cli("options").out.find("skip-deleted\ton\t不再下载已删除的图片"), std::string::npos);
    CliRun kept = Cli("sync");
    EXPECT_EQ(kept.status, 0) << kept.out;
    EXPECT_NE(kept.out.find("已删除1张，未重新下载"), std::string::npos) << kept.out;
    EXPECT_FALSE(fs::exists(deleted));
    EXPECT_EQ(site_.requestCount("/2/1.jpg"), 1u);
    // Switched off, a missing file is fetched again.
    ASSERT_EQ(Cli("options skip-deleted off").status, 0);
    EXPECT_EQ(Cli("sync").status, 0);
    EXPECT_TRUE(fs::exists(deleted));
    EXPECT_EQ(site_.requestCount("/2/1.jpg"), 2u);
}

}  // namespace
}  // namespace lumora::testing
