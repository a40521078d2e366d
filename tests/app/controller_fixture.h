// A controller with a recording window, a scratch program folder and the
// loopback site playing the community through http_proxy.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <system_error>
#include <thread>

#include "app/ControlIds.h"
#include "app/MainController.h"
#include "recording_window.h"
#include "testsite/TestSite.h"
#include "text/StringCtrl.h"

namespace lumora::testing {

inline const std::string kCommunityHost = "dp.pconline.com.cn";
inline const std::string kPictureHost = "img.pconline.com.cn";

// What the desktop window's buttons do, on a recording window: a click while
// the run goes asks it to stop; otherwise the run starts for the address or
// save-folder box's text and the grid's picks.
inline void ClickGetAlbums(MainController& controller, RecordingWindow& window) {
    if (controller.session().getAlbumsState != GET_IDLE) {
        controller.StopGetAlbums();
    } else {
        controller.GetAlbums({window.GetItemText(IDC_ADDRESS)});
    }
}

inline void ClickDownload(MainController& controller, RecordingWindow& window) {
    if (controller.session().downloadState != DOWN_IDLE) {
        controller.StopDownload();
    } else {
        controller.Download(controller.OrderFor(window.PickedAlbumPositions(), window.GetItemText(IDC_SAVE_PATH)));
    }
}

inline std::string AlbumBlock(const std::string& id, const std::string& title, const std::string& cover) {
    return "<div class=\"picbox\"><a href=\"http://dp.pconline.com.cn/photo/" + id + ".html\" title=\"" + title +
           "\"><img src=\"" + cover + "\"></a></div>\n";
}

inline std::string ListPage(const std::string& space, const std::string& blocks, bool next) {
    return "<html><head><title>【摄影部落】" + space + "_太平洋摄影部落</title></head><body>" + blocks +
           (next ? "<a href=\"next\">下一页</a>" : "") + "</body></html>";
}

class ControllerTest : public ::testing::Test {
protected:
    void SetUp() override {
        home_ =
            std::filesystem::temp_directory_path() / ("lumora-app-" + std::to_string(getpid()) + "-" +
                                                      ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::remove_all(home_);
        std::filesystem::create_directories(home_);
        // One transaction per attempt, as without retries; the tests of
        // retries ask for them.
        AppSettings settings;
        settings.retries = 0;
        ASSERT_TRUE(SaveAppSettings(home_, settings));
    }
    // The login browser's storage threads may still add and drop files in the
    // program folder while it is removed, so removal is retried a while.
    void TearDown() override {
        std::error_code error;
        for (int attempt = 0; attempt < 100; ++attempt) {
            std::filesystem::remove_all(home_, error);
            if (!error && !std::filesystem::exists(home_, error)) return;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        ADD_FAILURE() << "could not remove " << home_ << ": " << error.message();
    }

    void ServePage(const std::string& member, int page, const std::string& body) {
        site_.route(kCommunityHost, "/" + member + "/myphoto_p" + std::to_string(page) + "_n15.html",
                    testsite::Response::Text(body));
    }

    // Runs one get-albums command for `address` to its end.
    void GetAlbums(MainController& controller, const std::u16string& address) {
        window_.SetItemText(IDC_ADDRESS, address);
        ClickGetAlbums(controller, window_);
        controller.WaitForGetAlbums();
    }

    std::unique_ptr<MainController> MakeController() {
        auto controller = std::make_unique<MainController>(window_.view, home_);
        controller->SetReady();
        return controller;
    }

    testsite::TestSite site_;
    testsite::ProxyEnvironment proxy_{site_};
    RecordingWindow window_;
    std::filesystem::path home_;
};

}  // namespace lumora::testing
