// When the site changes its markup: a rules file, checked before it is put
// in force, and a check that names the marker that no longer matches.
#include <fstream>
#include <regex>

#include "cli_fixture.h"

namespace lumora::testing {
namespace {

class RulesTest : public CliTest {
protected:
    // The member's first page as the site serves it after renaming its album blocks.
    void RenameAlbumBlocks() {
        std::string page = "<title>【x】Member_太平洋</title>";
        for (int k = 1; k <= 3; ++k) {
            const std::string id = std::to_string(k);
            page += "<div class=\"albumbox\"><a href=\"/photo/" + id + ".html\" title=\"Album " + id +
                    "\"><img src=\"//img.pconline.com.cn/c" + id + ".jpg\"></a></div>";
        }
        site_.route("dp.pconline.com.cn", "/m/myphoto_p1_n15.html", Response::Text(page));
    }
    static void Replace(const fs::path& file, const std::string& from, const std::string& to) {
        const std::string text = std::regex_replace(ReadText(file), std::regex(from), to);
        std::ofstream(file, std::ios::binary) << text;
    }
};

TEST_F(RulesTest, ARenamedMarkerIsFoundByCheckAndMendedByARulesFileThatPassesItsFixtures) {
    RenameAlbumBlocks();
    CliRun run = Cli("list http://dp.pconline.com.cn/m/", true);
    EXPECT_NE(run.out.find("运行 lumora-cli check http://dp.pconline.com.cn/m/ 查看详情"), std::string::npos)
        << run.out;
    run = Cli("check http://dp.pconline.com.cn/m/");
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.out.find("相册块标记 class=\"picbox：找到0处"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("空间名称 】…_太平洋：找到"), std::string::npos) << run.out;

    // The edit starts from the rules in force.
    const fs::path edit = home_ / "edit";
    ASSERT_EQ(Cli("rules export " + edit.string()).status, 0);
    const fs::path file = edit / "photo-community.ini";
    Replace(file, "list\\.album-block = class=\"picbox", "list.album-block = class=\"albumbox");
    // Its fixture page still has the old blocks: refused, and nothing changes.
    run = Cli("rules install " + file.string(), true);
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.out.find("规则文件未通过自检：" + file.string() + "：list：相册数应为15，得到0"), std::string::npos)
        << run.out;
    EXPECT_FALSE(fs::exists(home_ / "sites"));
    run = Cli("rules test " + file.string());
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.out.find("list\t未通过：相册数应为15，得到0\nalbum\t通过\n"), std::string::npos) << run.out;

    Replace(edit / "photo-community" / "list.html", "picbox", "albumbox");
    EXPECT_EQ(Cli("rules test " + file.string()).status, 0);
    run = Cli("rules install " + file.string());
    EXPECT_EQ(run.status, 0);
    EXPECT_NE(run.out.find("in-force\t" + (home_ / "sites" / "photo-community.ini").string()), std::string::npos);
    run = Cli("list http://dp.pconline.com.cn/m/");
    EXPECT_NE(run.out.find("Album 3"), std::string::npos) << run.out;
    EXPECT_EQ(Cli("check http://dp.pconline.com.cn/m/").status, 0);

    // A user's file broken later is told at every run, and the built-in rules stay in force.
    Replace(home_ / "sites" / "photo-community" / "list.html", "albumbox", "gallerybox");
    run = Cli("rules show", true);
    EXPECT_NE(run.out.find("in-force\tbuilt-in"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("refused\t规则文件未通过自检："), std::string::npos) << run.out;
    ASSERT_EQ(Cli("rules reset").status, 0);
    EXPECT_FALSE(fs::exists(home_ / "sites" / "photo-community.ini"));
    EXPECT_EQ(Cli("rules show").out.find("refused"), std::string::npos);
}

TEST_F(RulesTest, AFixturePageOutsideTheRulesFolderIsRefused) {
    const fs::path edit = home_ / "edit";
    ASSERT_EQ(Cli("rules export " + edit.string()).status, 0);
    Replace(edit / "photo-community.ini", "page = photo-community/list.html", "page = ../../etc/passwd");
    const CliRun run = Cli("rules install " + (edit / "photo-community.ini").string(), true);
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.out.find("页面须在规则文件旁"), std::string::npos) << run.out;
}

}  // namespace
}  // namespace lumora::testing
