// Shared set-up for whole runs under faults and hostile input: a member with
// albums served by the loopback site, and checks on what a run left on disk.
#pragma once

#include <sys/resource.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "app/controller_fixture.h"
#include "text/Format.h"

namespace lumora::testing {

// Sanitizer builds keep freed memory in quarantine and add shadow memory, so
// memory bounds are only meaningful with a plain build.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
inline constexpr bool kSanitized = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
inline constexpr bool kSanitized = true;
#else
inline constexpr bool kSanitized = false;
#endif
#else
inline constexpr bool kSanitized = false;
#endif

inline std::string ReadWhole(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream data;
    data << in.rdbuf();
    return data.str();
}

// The bytes the picture at `path` serves: a JPEG start, its own path, and a JPEG end.
inline std::string PictureBytes(const std::string& path, std::size_t bytes = 2000) {
    std::string data = "\xFF\xD8" + path + ":";
    while (data.size() < bytes) data += static_cast<char>('a' + data.size() % 26);
    data.resize(bytes);
    // A whole JPEG ends with its end marker.
    if (bytes >= 4) data.replace(bytes - 2, 2, "\xFF\xD9");
    return data;
}

inline std::string PictureBlock(const std::string& src) {
    return "<li class=\"picture\"><a href=\"#\"><img src=\"" + src + "\" alt=\"x\"></a></li>\n";
}

// Peak resident memory in kB since the last ResetPeakMemory().
inline long PeakMemoryKB() {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);) {
        if (line.starts_with("VmHWM:")) return std::stol(line.substr(6));
    }
    return 0;
}

inline void ResetPeakMemory() { std::ofstream("/proc/self/clear_refs") << "5"; }

inline long CurrentMemoryKB() {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);) {
        if (line.starts_with("VmRSS:")) return std::stol(line.substr(6));
    }
    return 0;
}

class RunTest : public ControllerTest {
protected:
    // One picture of an album: the path on the picture host and its answer.
    struct Picture {
        std::string path;
        testsite::Response answer;
    };

    void SetUp() override {
        ControllerTest::SetUp();
        save_ = home_ / "save";
    }

    // Member "m" ("Member") with one album per entry of `albums`; album k
    // lists its pictures in order on /photo/list_<k+1>.html.
    void ServeMember(const std::vector<std::pair<std::string, std::vector<Picture>>>& albums,
                     const std::string& space = "Member") {
        std::string blocks;
        for (std::size_t k = 0; k < albums.size(); ++k) {
            const std::string id = std::to_string(k + 1);
            blocks += AlbumBlock(id, albums[k].first, "//" + kPictureHost + "/cover" + id + ".jpg");
            std::string page = "<html><body><ul>";
            for (const Picture& picture : albums[k].second) {
                page += PictureBlock("//" + kPictureHost + picture.path);
                site_.route(kPictureHost, picture.path, picture.answer);
            }
            site_.route(kCommunityHost, "/photo/list_" + id + ".html",
                        testsite::Response::Text(page + "</ul></body></html>"));
        }
        ServePage("m", 1, ListPage(space, blocks, false));
    }

    static Picture Good(const std::string& path, std::size_t bytes = 2000) {
        return {path, testsite::Response::Text(PictureBytes(path, bytes), "image/jpeg")};
    }

    // Sets the pool and the read time-out, reads the member's albums and
    // points the save folder at save_.
    void PrepareRun(MainController& controller, unsigned threads = 5, unsigned timeoutSeconds = 30) {
        DownloadParams params = controller.CurrentDownloadParams();
        params.threadCount = static_cast<std::uint16_t>(threads);
        params.timeoutSeconds = static_cast<std::uint16_t>(timeoutSeconds);
        controller.UpdateDownloadParams(params);
        GetAlbums(controller, u"http://dp.pconline.com.cn/m/");
        window_.SetItemText(IDC_SAVE_PATH, Utf8ToWide(save_.string()));
    }

    std::unique_ptr<MainController> ReadyController(unsigned threads = 5, unsigned timeoutSeconds = 30) {
        auto controller = MakeController();
        PrepareRun(*controller, threads, timeoutSeconds);
        return controller;
    }

    // One download run of the picked albums; whatever happened in it, the
    // run must have ended with the window back as it was before.
    DownloadReport Download(MainController& controller, std::vector<std::size_t> picked) {
        window_.picked = std::move(picked);
        ClickDownload(controller, window_);
        controller.WaitForDownload();
        EXPECT_EQ(controller.session().downloadState, DOWN_IDLE);
        EXPECT_EQ(window_.GetItemText(IDC_DOWNLOAD), u"下载");
        EXPECT_TRUE(window_.IsEnabled(IDC_GET_ALBUMS));
        return controller.lastReport();
    }

    // Every entry below `folder`, symbolic links included and not followed.
    static std::vector<std::filesystem::path> Entries(const std::filesystem::path& folder) {
        std::vector<std::filesystem::path> found;
        std::error_code error;
        for (auto it = std::filesystem::recursive_directory_iterator(folder, error);
             !error && it != std::filesystem::recursive_directory_iterator(); it.increment(error)) {
            found.push_back(it->path());
        }
        return found;
    }

    // Temporary files of interrupted or failed saves.
    static std::vector<std::filesystem::path> PartFiles(const std::filesystem::path& folder) {
        std::vector<std::filesystem::path> parts;
        for (const auto& path : Entries(folder)) {
            if (path.filename().string().find(".part-") != std::string::npos) parts.push_back(path);
        }
        return parts;
    }

    // Failed items of all albums by address.
    static std::map<std::u16string, FailedItem> FailuresByAddress(const DownloadReport& report) {
        std::map<std::u16string, FailedItem> failures;
        for (const AlbumOutcome& album : report.albums) {
            for (const FailedItem& item : album.failures) failures[item.address] = item;
        }
        return failures;
    }

    static std::u16string PictureAddress(const std::string& path) {
        return Utf8ToWide("http://" + kPictureHost + path);
    }

    std::filesystem::path AlbumFolder(const std::string& title) const { return save_ / "Member" / title; }

    std::filesystem::path save_;
};

// Lowers the largest file this process may write, as a full disk would stop
// a write, and restores it on destruction. SIGXFSZ is ignored, so a write
// past the limit fails with EFBIG instead of killing the process.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) {
        getrlimit(RLIMIT_FSIZE, &saved_);
        oldHandler_ = std::signal(SIGXFSZ, SIG_IGN);
        rlimit lowered = saved_;
        lowered.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &lowered);
    }
    ~FileSizeLimit() {
        setrlimit(RLIMIT_FSIZE, &saved_);
        std::signal(SIGXFSZ, oldHandler_);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

private:
    rlimit saved_{};
    void (*oldHandler_)(int) = SIG_DFL;
};

}  // namespace lumora::testing
