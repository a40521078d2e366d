// lumora-cli verify and repair as a script sees them: the lines, the JSON
// and the exit statuses.
#include <nlohmann/json.hpp>
#include <sstream>

#include "cli_fixture.h"

namespace lumora::testing {
namespace {

TEST_F(CliTest, VerifyTellsEachProblemAndRepairMendsThem) {
    const std::string save = (home_ / "save").string();
    ASSERT_EQ(Cli("download http://dp.pconline.com.cn/m/ --save '" + save + "'").status, 0);
    const fs::path album = home_ / "save" / "Member" / "Album 2";
    ASSERT_TRUE(fs::exists(album / "album.json"));
    CliRun run = Cli("verify");
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, "已检查3张图片：全部完好\n");

    fs::remove(album / "Album 2 (1).jpg");
    run = Cli("verify '" + save + "'");
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, "缺失\t" + (album / "Album 2 (1).jpg").string() + "\n已检查3张图片：1张有问题（缺失1张）\n");
    run = Cli("verify --json '" + album.string() + "' '" + (home_ / "none").string() + "'");
    EXPECT_EQ(run.status, 1);
    std::vector<nlohmann::json> lines;
    std::istringstream in(run.out);
    for (std::string line; std::getline(in, line);) lines.push_back(nlohmann::json::parse(line));
    ASSERT_EQ(lines.size(), 3u) << run.out;
    EXPECT_EQ(lines[0]["event"], "folder-missing");
    EXPECT_EQ(lines[1]["problem"], "missing");
    EXPECT_EQ(lines[1]["address"], "http://img.pconline.com.cn/2/1.jpg");
    EXPECT_EQ(lines[2]["checked"], 1);
    EXPECT_EQ(lines[2]["whole"], false);

    site_.clearRequests();
    run = Cli("repair '" + album.string() + "'");
    EXPECT_EQ(run.status, 0) << run.out;
    EXPECT_NE(run.out.find("修复后：\n已检查1张图片：全部完好\n"), std::string::npos) << run.out;
    EXPECT_EQ(site_.requestCount("/2/1.jpg"), 1u);
    EXPECT_EQ(site_.requestCount("/1/1.jpg") + site_.requestCount("/3/1.jpg"), 0u);
    EXPECT_EQ(Cli("repair").status, 0);  // nothing left to mend

    ASSERT_EQ(Cli("options manifest off").status, 0);
    EXPECT_NE(Cli("options").out.find("manifest\toff\t生成相册清单"), std::string::npos);
}

}  // namespace
}  // namespace lumora::testing
