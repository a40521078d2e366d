// Pages written to do harm: names that climb out of folders, break paths or
// overflow the file system's limits, links planted where pictures go, cookies
// aimed at other hosts, and certificates nobody trusts.
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <curl/curl.h>

#include <chrono>
#include <cstdlib>
#include <set>
#include <thread>

#include "reliability_support.h"
#include "web/CookieStore.h"
#include "web/Fetch.h"

namespace lumora::testing {
namespace {

using testsite::Request;
using testsite::Response;
namespace fs = std::filesystem;

std::string Repeat(const std::string& piece, int times) {
    std::string out;
    for (int i = 0; i < times; ++i) out += piece;
    return out;
}

class HostileInputTest : public RunTest {
protected:
    void SetUp() override {
        RunTest::SetUp();
        // Levels between the program folder and the save folder catch a name
        // that climbs out of the save folder.
        save_ = home_ / "one" / "two" / "three" / "save";
        site_.fallback([](const Request& request) {
            if (request.host != kPictureHost) return Response::Status(404);
            return Response::Text(PictureBytes(request.path), "image/jpeg");
        });
    }

    // Everything the run wrote is inside save_, one component at most 255 bytes.
    void ExpectAllInsideSaveFolder() {
        for (const fs::path& entry : Entries(home_)) {
            const fs::path relative = entry.lexically_relative(home_);
            const std::string name = relative.string();
            const bool programFile = name == kSettingsFileName || name == "cookies.txt" ||
                                     name.starts_with("archive.sqlite3") || name == "lumora.ini" ||
                                     name.ends_with(".lock");
            const bool onTheWay = name == "one" || name == "one/two" || name == "one/two/three";
            const bool inside = name == "one/two/three/save" || name.starts_with("one/two/three/save/");
            EXPECT_TRUE(programFile || onTheWay || inside) << name;
            EXPECT_LE(entry.filename().string().size(), 255u) << name;
            EXPECT_FALSE(fs::is_symlink(entry)) << name;
        }
    }
};

TEST_F(HostileInputTest, HostileNamesStayInsideTheSaveFolder) {
    const std::vector<std::string> titles = {
        "..",
        "../../../../escape",
        ". .. .",
        "a/b\\c:d*e?f<g>h|i&quot;j",
        "&#0;zero&#47;slash%2e%2e%2f",
        "\x01\x02\x1b[31mred\x7f\t\x0b\x0c",
        Repeat("长", 2000),
        Repeat("x", 300),
        "\u202Egpj.exe",
        "\u200F\u202B\u061Cmarks",
        "CON",
        "NUL",
        "COM1",
        "LPT1.txt",
        "aux.jpg",
        "/etc/passwd",
        "   ",
        "&nbsp;&nbsp;&nbsp;",
    };
    const std::vector<std::string> addresses = {
        "//img.pconline.com.cn/h/1_mthumb.jpg",
        "//img.pconline.com.cn/h/..",
        "//img.pconline.com.cn/h/../../../../up.jpg",
        "//img.pconline.com.cn/h/a%2F..%2F..%2Fb.jpg",
        "//img.pconline.com.cn/h/x\\..\\..\\y.jpg",
        "//img.pconline.com.cn/h/" + Repeat("名", 2000) + ".jpg",
        "//img.pconline.com.cn/h/q.jpg?next=/../../../z",
        "//img.pconline.com.cn/h/CON",
        "//img.pconline.com.cn/h/.hidden",
    };
    std::string pictures;
    for (const std::string& address : addresses) pictures += PictureBlock(address);
    std::string blocks;
    for (std::size_t k = 0; k < titles.size(); ++k) {
        blocks += AlbumBlock(std::to_string(k + 1), titles[k], "c.jpg");
        site_.route(kCommunityHost, "/photo/list_" + std::to_string(k + 1) + ".html",
                    Response::Text("<ul>" + pictures + "</ul>"));
    }
    ServePage("m", 1, ListPage(Repeat("空", 2000) + "/../..", blocks, false));

    auto controller = ReadyController(15);
    std::vector<std::size_t> all(titles.size());
    for (std::size_t k = 0; k < all.size(); ++k) all[k] = k;
    for (std::uint8_t baseName : {0, 2}) {  // by description, by address
        SCOPED_TRACE(static_cast<int>(baseName));
        NameRules rules = controller->CurrentNameRules();
        rules.baseNameChoice = baseName;
        rules.optionFlags = kOptFixPictureFormat | kOptFixPictureOrder | kOptWriteNameFile;
        SetFieldText(rules.folderSuffix, u"?1");
        controller->UpdateNameRules(rules);
        const DownloadReport report = Download(*controller, all);
        ASSERT_EQ(report.albums.size(), titles.size());
        for (const AlbumOutcome& album : report.albums) {
            EXPECT_EQ(album.listed, addresses.size()) << WideToUtf8(album.title);
            EXPECT_EQ(album.saved + album.skipped, album.listed) << WideToUtf8(album.title);
            EXPECT_TRUE(album.failures.empty()) << WideToUtf8(album.title);
        }
        ExpectAllInsideSaveFolder();
    }

    // The list files too, named after the albums.
    NameRules rules = controller->CurrentNameRules();
    rules.optionFlags = kOptListFileOnly;
    controller->UpdateNameRules(rules);
    for (const AlbumOutcome& album : Download(*controller, all).albums) {
        EXPECT_TRUE(album.listFileWritten) << WideToUtf8(album.title);
    }
    ExpectAllInsideSaveFolder();
}

// Links planted in an album folder, named like what a run writes there: the
// run replaces each link by its own file and never writes through it.
TEST_F(HostileInputTest, PlantedLinksAreReplacedNotFollowed) {
    ServeMember({{"Sym", {Good("/s/1.jpg"), Good("/s/2.jpg"), {"/s/3.jpg", Response::Status(404)}}}});
    const fs::path outside = home_ / "outside.txt";
    std::ofstream(outside) << "keep me";
    const auto outsideTime = fs::last_write_time(outside);
    const fs::path folder = save_ / "Member" / "Sym";
    fs::create_directories(folder);
    for (const char* name : {"Sym (1).jpg", "Sym (3).jpg", "pic.lumora", "Sym.txt", "Sym.lst"}) {
        fs::create_symlink(outside, folder / name);
    }
    auto controller = ReadyController();
    NameRules rules = controller->CurrentNameRules();
    rules.optionFlags = kOptFixPictureFormat | kOptFixPictureOrder | kOptWriteNameFile;
    controller->UpdateNameRules(rules);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));  // a changed time would show
    Download(*controller, {0});

    EXPECT_EQ(ReadWhole(outside), "keep me");
    EXPECT_EQ(fs::last_write_time(outside), outsideTime);
    // The album has a failure, so its marker is not written (the planted link stays unused).
    for (const char* name : {"Sym (1).jpg", "Sym.txt"}) {
        EXPECT_FALSE(fs::is_symlink(folder / name)) << name;
        EXPECT_TRUE(fs::is_regular_file(folder / name)) << name;
    }
    EXPECT_EQ(ReadWhole(folder / "Sym (1).jpg"), PictureBytes("/s/1.jpg"));
    // The failed picture's link is left alone, and so is what it points to.
    EXPECT_TRUE(fs::is_symlink(folder / "Sym (3).jpg"));

    rules.optionFlags = kOptListFileOnly;
    controller->UpdateNameRules(rules);
    Download(*controller, {0});
    EXPECT_FALSE(fs::is_symlink(folder / "Sym.lst"));
    EXPECT_EQ(ReadWhole(outside), "keep me");
}

class CookieIsolationTest : public RunTest {
protected:
    void SetUp() override {
        RunTest::SetUp();
        CookieStore::Instance().Clear();
        site_.fallback([](const Request& request) { return Response::Text(request.header("Cookie")); });
    }
    void TearDown() override {
        CookieStore::Instance().Clear();
        RunTest::TearDown();
    }
    static std::string Fetch(const std::string& url) {
        FetchRequest request(Utf8ToWide(url), u"", 5000);
        FetchResult result;
        return FetchPage(request, result, 0) ? result.body : "<failed>";
    }
    // The cookies a request for `url` carries, in any order.
    static std::set<std::string> CookiesSentTo(const std::string& url) {
        std::set<std::string> cookies;
        const std::string header = Fetch(url);
        for (std::size_t start = 0; start < header.size();) {
            std::size_t end = header.find("; ", start);
            if (end == std::string::npos) end = header.size();
            cookies.insert(header.substr(start, end - start));
            start = end + 2;
        }
        return cookies;
    }
};

TEST_F(CookieIsolationTest, CookiesGoOnlyWhereTheirDomainAllows) {
    site_.route(kCommunityHost, "/set",
                Response::Text("ok")
                    .Header("Set-Cookie", "hostonly=1; Path=/")
                    .Header("Set-Cookie", "domainwide=2; Domain=pconline.com.cn; Path=/")
                    .Header("Set-Cookie", "suffix=3; Domain=com.cn; Path=/")
                    .Header("Set-Cookie", "foreign=4; Domain=example.org; Path=/"));
    site_.route("evil.example", "/set", Response::Text("ok").Header("Set-Cookie", "planted=5; Domain=pconline.com.cn"));
    site_.route(kCommunityHost, "/away", Response::Redirect("http://other.example/landing"));
    Fetch("http://dp.pconline.com.cn/set");
    Fetch("http://evil.example/set");

    using Set = std::set<std::string>;
    EXPECT_EQ(CookiesSentTo("http://dp.pconline.com.cn/echo"), (Set{"hostonly=1", "domainwide=2"}));
    EXPECT_EQ(CookiesSentTo("http://img.pconline.com.cn/echo"), Set{"domainwide=2"});
    EXPECT_EQ(CookiesSentTo("http://www.sina.com.cn/echo"), Set{});
    EXPECT_EQ(CookiesSentTo("http://example.org/echo"), Set{});
    // Following a redirect to another host carries none of the first host's cookies.
    EXPECT_EQ(CookiesSentTo("http://dp.pconline.com.cn/away"), Set{});
}

TEST_F(CookieIsolationTest, CookieFileIsPrivateWhateverWasThereBefore) {
    site_.route(kCommunityHost, "/set",
                Response::Text("ok").Header("Set-Cookie", "keep=1; Path=/; Expires=Fri, 01 Jan 2100 00:00:00 GMT"));
    const fs::path file = home_ / "cookies.txt";
    const fs::path outside = home_ / "outside.txt";
    std::ofstream(outside) << "keep me";
    for (bool planted : {false, true}) {
        SCOPED_TRACE(planted);
        fs::remove(file);
        if (planted) {
            fs::create_symlink(outside, file);  // a link: replaced, never written through
        } else {
            std::ofstream(file) << "# Netscape HTTP Cookie File\n";
            fs::permissions(file, fs::perms(0644));
        }
        const mode_t oldMask = umask(0);
        {
            auto controller = MakeController();
            Fetch("http://dp.pconline.com.cn/set");
        }  // the controller saves the cookies as it goes
        umask(oldMask);
        struct stat info {};
        ASSERT_EQ(lstat(file.c_str(), &info), 0);
        EXPECT_TRUE(S_ISREG(info.st_mode));
        EXPECT_EQ(info.st_mode & 0777, 0600u);
        EXPECT_NE(ReadWhole(file).find("keep\t1"), std::string::npos);
        EXPECT_EQ(ReadWhole(outside), "keep me");
    }
}

// A TLS server on the loopback with a certificate nobody trusts: the fetcher
// refuses it. A plain-HTTP port asked for TLS fails as well.
class TlsTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() / ("lumora-tls-" + std::to_string(getpid()));
        fs::create_directories(dir_);
        // Nothing may route https through a proxy here.
        for (const char* name : {"https_proxy", "HTTPS_PROXY", "all_proxy", "ALL_PROXY"}) unsetenv(name);
    }
    void TearDown() override {
        if (server_ > 0) {
            kill(server_, SIGTERM);
            waitpid(server_, nullptr, 0);
        }
        fs::remove_all(dir_);
    }

    // Starts `openssl s_server` with a fresh self-signed certificate; the
    // port it listens on, or 0 when openssl is missing.
    std::uint16_t StartServer() {
        const std::string key = (dir_ / "key.pem").string(), cert = (dir_ / "cert.pem").string();
        const std::string make = "openssl req -x509 -newkey rsa:2048 -nodes -days 1 -subj /CN=127.0.0.1 -keyout " +
                                 key + " -out " + cert + " >/dev/null 2>&1";
        if (std::system(make.c_str()) != 0) return 0;
        for (std::uint16_t port = 20000 + getpid() % 20000, tries = 0; tries < 20; ++tries, ++port) {
            const pid_t child = fork();
            if (child == 0) {
                const std::string accept = "127.0.0.1:" + std::to_string(port);
                freopen("/dev/null", "w", stdout);
                freopen("/dev/null", "w", stderr);
                execlp("openssl", "openssl", "s_server", "-quiet", "-www", "-accept", accept.c_str(), "-cert",
                       cert.c_str(), "-key", key.c_str(), static_cast<char*>(nullptr));
                _exit(127);
            }
            // Ready once a trusting client gets an answer.
            for (int wait = 0; wait < 50; ++wait) {
                if (TrustingClientGets(port, cert)) {
                    server_ = child;
                    return port;
                }
                if (waitpid(child, nullptr, WNOHANG) == child) break;  // port taken: try the next
                std::this_thread::sleep_for(std::chrono::milliseconds(100));
            }
            kill(child, SIGTERM);
            waitpid(child, nullptr, 0);
        }
        return 0;
    }

    // libcurl itself, told to trust the certificate: proves the server works.
    static bool TrustingClientGets(std::uint16_t port, const std::string& cert) {
        CURL* easy = curl_easy_init();
        const std::string url = "https://127.0.0.1:" + std::to_string(port) + "/";
        curl_easy_setopt(easy, CURLOPT_URL, url.c_str());
        curl_easy_setopt(easy, CURLOPT_CAINFO, cert.c_str());
        curl_easy_setopt(easy, CURLOPT_NOPROXY, "*");
        curl_easy_setopt(easy, CURLOPT_TIMEOUT_MS, 2000L);
        curl_easy_setopt(
            easy, CURLOPT_WRITEFUNCTION, +[](char*, std::size_t s, std::size_t n, void*) { return s * n; });
        const bool ok = curl_easy_perform(easy) == CURLE_OK;
        curl_easy_cleanup(easy);
        return ok;
    }

    fs::path dir_;
    pid_t server_ = -1;
};

TEST_F(TlsTest, UntrustedCertificateFailsTheTransfer) {
    const std::uint16_t port = StartServer();
    if (port == 0) GTEST_SKIP() << "no openssl to run a TLS server";
    FetchRequest request(Utf8ToWide("https://127.0.0.1:" + std::to_string(port) + "/"),
                         Utf8ToWide((dir_ / "page.html").string()), 5000);
    FetchResult result;
    EXPECT_FALSE(FetchOnce(request, result, 0));
    EXPECT_EQ(result.error, FetchError::Tls) << DescribeFetchError(result.error);
    EXPECT_FALSE(fs::exists(dir_ / "page.html"));
}

TEST_F(TlsTest, PlainHttpPortAskedForTlsFails) {
    testsite::TestSite site;
    site.route("", "/", Response::Text("plain"));
    FetchRequest request(Utf8ToWide("https://127.0.0.1:" + std::to_string(site.port()) + "/"), u"", 5000);
    FetchResult result;
    EXPECT_FALSE(FetchOnce(request, result, 0));
    EXPECT_EQ(result.error, FetchError::Tls) << DescribeFetchError(result.error);
}

}  // namespace
}  // namespace lumora::testing
