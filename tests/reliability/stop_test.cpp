// Stop pressed at every phase of a run, many times in a row: each run ends,
// nothing hangs or crashes, and every file on disk is whole.
#include <chrono>
#include <thread>

#include "reliability_support.h"

namespace lumora::testing {
namespace {

using testsite::Response;
using namespace std::chrono_literals;
namespace fs = std::filesystem;

// Presses stop from inside the run the moment a text beginning with a chosen
// one appears, so the stop lands in a known phase. The text is shown by the run's own thread,
// which therefore cannot have ended the run yet.
class StopWindow : public RecordingWindow {
public:
    void SetItemText(int id, const std::u16string& text) override {
        RecordingWindow::SetItemText(id, text);
        if (controller && stopAt.load() && text.starts_with(*stopAt.load())) Press();
    }
    long DownloadFinished(unsigned elapsed, unsigned pictures) override {
        const long result = RecordingWindow::DownloadFinished(elapsed, pictures);
        if (controller && stopOnFinished) Press();
        return result;
    }
    void ShowAlbum(std::size_t position) override {
        RecordingWindow::ShowAlbum(position);
        if (controller && stopGetAlbumsAt == static_cast<long>(position)) ClickGetAlbums(*controller, *this);
    }

    void Press() {
        if (controller->session().downloadState != DOWN_IDLE) ClickDownload(*controller, *this);
    }

    MainController* controller = nullptr;
    std::atomic<const std::u16string*> stopAt{nullptr};
    std::atomic<bool> stopOnFinished{false};
    std::atomic<long> stopGetAlbumsAt{-1};
};

class StopTest : public RunTest {
protected:
    static Picture Slow(const std::string& path, std::chrono::milliseconds delay) {
        Response answer = Response::Text(PictureBytes(path), "image/jpeg");
        answer.delayBeforeHeaders = delay;
        return {path, answer};
    }

    // Whole pictures only: each file is exactly what its address serves.
    void ExpectOnlyWholeFiles(const std::map<std::string, std::string>& expected) {
        for (const fs::path& entry : Entries(save_)) {
            const std::string name = entry.filename().string();
            if (name.find(".part-") != std::string::npos) continue;  // checked once workers are done
            auto it = expected.find(name);
            if (it != expected.end()) {
                EXPECT_TRUE(ReadWhole(entry) == it->second) << entry;
            }
        }
    }

    // A controller on the stop window that has read both albums, `threads`
    // workers a run.
    std::unique_ptr<MainController> StopController(unsigned threads) {
        auto controller = std::make_unique<MainController>(stopWindow_.view, home_);
        controller->SetReady();
        stopWindow_.controller = controller.get();
        SetThreads(*controller, threads);
        stopWindow_.SetItemText(IDC_ADDRESS, u"http://dp.pconline.com.cn/m/");
        ClickGetAlbums(*controller, stopWindow_);
        controller->WaitForGetAlbums();
        EXPECT_EQ(controller->session().albums.size(), 2u);
        stopWindow_.SetItemText(IDC_SAVE_PATH, Utf8ToWide(save_.string()));
        return controller;
    }

    static void SetThreads(MainController& controller, unsigned threads) {
        DownloadParams params = controller.CurrentDownloadParams();
        params.threadCount = static_cast<std::uint16_t>(threads);
        controller.UpdateDownloadParams(params);
    }

    StopWindow stopWindow_;
};

TEST_F(StopTest, FiftyStopsAtEveryPhase) {
    std::vector<Picture> first, second;
    std::map<std::string, std::string> expected;
    for (int n = 1; n <= 6; ++n) {
        first.push_back(Slow("/a/" + std::to_string(n) + ".jpg", std::chrono::milliseconds(10 * n)));
        second.push_back(Slow("/b/" + std::to_string(n) + ".jpg", 15ms));
        expected["One (" + std::to_string(n) + ").jpg"] = PictureBytes(first.back().path);
        expected["Two (" + std::to_string(n) + ").jpg"] = PictureBytes(second.back().path);
    }
    ServeMember({{"One", first}, {"Two", second}});

    auto controller = StopController(3);
    NameRules rules = controller->CurrentNameRules();
    rules.optionFlags |= kOptFixPictureFormat | kOptFixPictureOrder | kOptWriteNameFile;
    controller->UpdateNameRules(rules);
    stopWindow_.picked = {0, 1};

    // The phases, each named by the text the run shows as it enters it.
    const std::vector<std::u16string> phases = {
        u"正在下载第1/2个图集",  // the first album's page is about to be read
        u"已获取到1张图片信息",  // naming the pictures
        u"已获取到6张图片信息",  // the album collected
        u"已开始下载图片",       // workers about to start
        u"已下载",               // workers running (item ends seen together show one count)
        u"已下载6/6......",      // the album downloaded
        u"正在下载第2/2个图集",  // between the albums
    };
    constexpr int kRuns = 50;
    for (int run = 0; run < kRuns; ++run) {
        SCOPED_TRACE(run);
        const int phase = run % (static_cast<int>(phases.size()) + 3);
        stopWindow_.stopAt = phase < static_cast<int>(phases.size()) ? &phases[phase] : nullptr;
        stopWindow_.stopOnFinished = phase == static_cast<int>(phases.size());  // post-processing next
        const bool duringGetAlbums = phase == static_cast<int>(phases.size()) + 1;
        const auto started = std::chrono::steady_clock::now();
        if (duringGetAlbums) {
            stopWindow_.stopGetAlbumsAt = 0;
            ClickGetAlbums(*controller, stopWindow_);
            controller->WaitForGetAlbums();
            stopWindow_.stopGetAlbumsAt = -1;
            EXPECT_EQ(controller->session().getAlbumsState, GET_IDLE);
            EXPECT_EQ(stopWindow_.GetItemText(IDC_GET_ALBUMS), u"获取相册");
            // Stopped after the first album: the list is short; read it whole again.
            ClickGetAlbums(*controller, stopWindow_);
            controller->WaitForGetAlbums();
            ASSERT_EQ(controller->session().albums.size(), 2u);
        } else {
            ClickDownload(*controller, stopWindow_);
            if (phase == static_cast<int>(phases.size()) + 2) {
                // From outside, at a moment the run does not choose.
                std::this_thread::sleep_for(std::chrono::milliseconds(run * 3 % 70));
                stopWindow_.Press();
            }
            controller->WaitForDownload();
            if (stopWindow_.stopAt.load() || stopWindow_.stopOnFinished) {
                EXPECT_TRUE(controller->lastReport().stopped);
            }
        }
        EXPECT_LT(std::chrono::steady_clock::now() - started, 20s);
        EXPECT_EQ(controller->session().downloadState, DOWN_IDLE);
        EXPECT_EQ(stopWindow_.GetItemText(IDC_DOWNLOAD), u"下载");
        ExpectOnlyWholeFiles(expected);
    }
    stopWindow_.stopAt = nullptr;
    stopWindow_.stopOnFinished = false;

    // Workers a stop left running end by themselves; after them no
    // temporary file remains and every picture on disk is whole.
    controller.reset();
    EXPECT_TRUE(PartFiles(save_).empty());
    ExpectOnlyWholeFiles(expected);
}

// A stop leaves workers finishing in the background. A run started right
// after must count only its own pictures, or it ends early, marks its album
// done and leaves pictures behind.
TEST_F(StopTest, WorkersOfAStoppedRunDoNotCountForTheNextOne) {
    // The stop lands after the first old picture and takes effect with the
    // second; the last two old ones end while the first new one is loading.
    ServeMember(
        {{"Old",
          {Slow("/o/1.jpg", 100ms), Slow("/o/2.jpg", 500ms), Slow("/o/3.jpg", 1000ms), Slow("/o/4.jpg", 1000ms)}},
         {"New",
          {Slow("/n/1.jpg", 800ms), Slow("/n/2.jpg", 800ms), Slow("/n/3.jpg", 800ms), Slow("/n/4.jpg", 800ms)}}});
    auto controller = StopController(4);

    const std::u16string firstDone = u"已下载1/4......";
    stopWindow_.picked = {0};
    stopWindow_.stopAt = &firstDone;
    ClickDownload(*controller, stopWindow_);
    controller->WaitForDownload();
    EXPECT_TRUE(controller->lastReport().stopped);

    stopWindow_.stopAt = nullptr;
    SetThreads(*controller, 1);
    stopWindow_.picked = {1};
    ClickDownload(*controller, stopWindow_);
    controller->WaitForDownload();
    const DownloadReport report = controller->lastReport();
    ASSERT_EQ(report.albums.size(), 1u);
    EXPECT_EQ(report.albums[0].saved, 4u);
    EXPECT_TRUE(report.Complete());
    for (int n = 1; n <= 4; ++n) {
        const std::string path = "/n/" + std::to_string(n) + ".jpg";
        EXPECT_TRUE(ReadWhole(AlbumFolder("New") / ("New (" + std::to_string(n) + ").jpg")) == PictureBytes(path))
            << path;
    }
}

}  // namespace
}  // namespace lumora::testing
