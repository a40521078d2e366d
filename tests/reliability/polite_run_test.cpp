// Runs that wait without holding workers, and that keep the disk usable.
#include <sys/mount.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <thread>

#include "reliability_support.h"
#include "settings/AppSettings.h"
#include "web/DiskReserve.h"
#include "web/HostGate.h"

namespace lumora::testing {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using testsite::Request;
using testsite::Response;

class PoliteRunTest : public RunTest {
protected:
    void TearDown() override {
        HostGate::Shared().Forget();
        RunTest::TearDown();
    }

    // The picture host's requests in the order they came, by path.
    std::vector<std::string> PictureRequests() const {
        std::vector<std::string> paths;
        for (const Request& request : site_.requests()) {
            if (request.host == kPictureHost && request.path.starts_with("/p/")) paths.push_back(request.path);
        }
        return paths;
    }

    void SetRetries(unsigned retries) {
        AppSettings settings = LoadAppSettings(home_);
        settings.retries = retries;
        ASSERT_TRUE(SaveAppSettings(home_, settings));
    }
};

// With one worker, a picture that waits for its retry lets the others go
// first; a stop ends the wait at once, and the picture counts as failed.
TEST_F(PoliteRunTest, AWaitingPictureFreesItsWorkerAndAStopEndsTheWait) {
    auto answers = std::make_shared<std::atomic<int>>(0);
    ServeMember({{"Park", {Good("/p/1.jpg"), Good("/p/2.jpg"), Good("/p/3.jpg"), Good("/p/4.jpg")}},
                 {"Stuck", {Good("/p/9.jpg")}}});
    site_.route(kPictureHost, "/p/1.jpg", [answers](const Request&) {
        return (*answers)++ == 0 ? Response::Status(503) : Response::Text(PictureBytes("/p/1.jpg"), "image/jpeg");
    });
    site_.route(kPictureHost, "/p/9.jpg", Response::Status(503));
    SetRetries(10);
    auto controller = ReadyController(1);

    DownloadReport report = Download(*controller, {0});
    EXPECT_EQ(report.albums.at(0).saved, 4u);
    EXPECT_EQ(PictureRequests(),
              (std::vector<std::string>{"/p/1.jpg", "/p/2.jpg", "/p/3.jpg", "/p/4.jpg", "/p/1.jpg"}));

    // Ten retries of a picture that always fails wait about 17 minutes in all.
    std::thread stopper([&] {
        while (site_.requestCount("/p/9.jpg") == 0) std::this_thread::sleep_for(10ms);
        std::this_thread::sleep_for(200ms);
        controller->StopDownload();
    });
    const auto started = std::chrono::steady_clock::now();
    report = Download(*controller, {1});
    stopper.join();
    EXPECT_LT(std::chrono::steady_clock::now() - started, 10s);
    EXPECT_TRUE(report.stopped);
    const auto failures = FailuresByAddress(report);
    ASSERT_EQ(failures.count(PictureAddress("/p/9.jpg")), 1u);
    EXPECT_EQ(failures.at(PictureAddress("/p/9.jpg")).httpStatus, 503);
}

// A small file system of its own, mounted for the test and gone after it.
class SmallFileSystem {
public:
    explicit SmallFileSystem(const fs::path& where) : where_(where) {
        fs::create_directories(where);
        mounted_ = ::geteuid() == 0 && ::mount("tmpfs", where.c_str(), "tmpfs", 0, "size=16m") == 0;
    }
    ~SmallFileSystem() {
        if (mounted_) ::umount2(where_.c_str(), MNT_DETACH);
    }
    bool mounted() const { return mounted_; }
    std::uint64_t FreeBytes() const {
        struct statvfs space {};
        ::statvfs(where_.c_str(), &space);
        return static_cast<std::uint64_t>(space.f_bavail) * space.f_frsize;
    }

private:
    fs::path where_;
    bool mounted_ = false;
};

// A picture without a length that never ends fills the file system only up
// to its reserve, and fails as 磁盘空间不足; no further picture starts
// there, and nothing half-written stays.
TEST_F(PoliteRunTest, AFileSystemAtItsReserveGetsNoFurtherPicture) {
    SmallFileSystem small(save_);
    if (!small.mounted()) GTEST_SKIP() << "mounting a small tmpfs takes root (and a kernel that allows it)";
    Response endless;
    endless.headers.push_back({"Content-Type", "image/jpeg"});
    endless.announceLength = false;
    endless.streamedLength = 1ull << 30;
    endless.streamedBody = [](std::uint64_t, char* out, std::size_t size) { std::memset(out, 'e', size); };
    ServeMember({{"Full", {{"/p/1.jpg", endless}, Good("/p/2.jpg"), Good("/p/3.jpg")}}});
    auto controller = ReadyController(1);

    const DownloadReport report = Download(*controller, {0});
    const auto failures = FailuresByAddress(report);
    ASSERT_EQ(failures.size(), 3u);
    for (const auto& [address, failure] : failures) {
        EXPECT_EQ(failure.error, FetchError::DiskFull);
        EXPECT_EQ(FailureMessage(failure), u"磁盘空间不足");
    }
    EXPECT_EQ(PictureRequests(), std::vector<std::string>{"/p/1.jpg"});
    EXPECT_TRUE(PartFiles(save_).empty());
    EXPECT_GT(small.FreeBytes(), DiskReserveOf(16u << 20));
}

}  // namespace
}  // namespace lumora::testing
