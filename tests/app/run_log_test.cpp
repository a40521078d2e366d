// The run log keeps at most three files of at most 1 MB, and never writes
// into something that is not a regular file.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "app/RunLog.h"

namespace lumora::testing {
namespace {

namespace fs = std::filesystem;

TEST(RunLogTest, RotatesAtTheLimitAndKeepsThreeFiles) {
    const fs::path folder = fs::temp_directory_path() / ("lumora-runlog-" + std::to_string(getpid()));
    fs::remove_all(folder);
    const fs::path file = folder / "state" / "lumora" / "lumora.log";  // folders made on the way
    RunLog log(file);
    const std::string line(1000, 'x');
    for (int i = 0; i < 3500; ++i) ASSERT_TRUE(log.Append(line));
    for (const char* name : {"lumora.log", "lumora.log.1", "lumora.log.2"}) {
        ASSERT_TRUE(fs::exists(file.parent_path() / name)) << name;
        EXPECT_LE(fs::file_size(file.parent_path() / name), RunLog::kMaxBytes) << name;
    }
    EXPECT_FALSE(fs::exists(file.parent_path() / "lumora.log.3"));
    EXPECT_GT(fs::file_size(file.parent_path() / "lumora.log.1"), RunLog::kMaxBytes - 1100);

    PictureEvent failed{
        1, 4, u"http://img/5.jpg", u"/save/a\tb (5).jpg", 0, u"HTTP error status 503", u"HTTP 错误 503"};
    log.PictureFailed(failed);
    std::ifstream in(file);
    std::string last, text;
    while (std::getline(in, text)) last = text;
    EXPECT_NE(last.find("failed\t1\t/save/a b (5).jpg\thttp://img/5.jpg\tHTTP 错误 503"), std::string::npos) << last;

    const fs::path fifo = folder / "fifo.log";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    std::string error;
    EXPECT_FALSE(RunLog(fifo).Append("never", &error));  // and it does not hang
    EXPECT_EQ(error, "not a regular file");
    fs::remove_all(folder);
}

}  // namespace
}  // namespace lumora::testing
