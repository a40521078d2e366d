// The process-wide cookie store: shared between threads, per host, and kept
// across restarts through its cookie file.
#include "web/CookieStore.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cstdio>
#include <future>
#include <set>
#include <thread>

#include "web_test_support.h"

namespace lumora::testing {
namespace {

using testsite::Request;
using testsite::Response;

class CookieStoreTest : public WebTest {
protected:
    void SetUp() override {
        WebTest::SetUp();
        CookieStore::Instance().Clear();
        site_.route("", "/echo", [](const Request& request) { return Response::Text(request.header("Cookie")); });
    }
    void TearDown() override {
        CookieStore::Instance().Clear();
        CookieStore::Instance().BindFile({});
        WebTest::TearDown();
    }
    // "domain name" of every persistent cookie in the store.
    static std::set<std::string> Persistent() {
        std::set<std::string> keys;
        for (const Cookie& cookie : CookieStore::Instance().All()) {
            if (!cookie.isSession()) keys.insert(cookie.domain + " " + cookie.name);
        }
        return keys;
    }
    static ino_t Inode(const std::filesystem::path& file) {
        struct stat info {};
        return stat(file.c_str(), &info) == 0 ? info.st_ino : 0;
    }
    // What a request for `url` carries in its Cookie header.
    std::string CookiesSentTo(const std::u16string& url) {
        FetchRequest request(url, u"", 5000);
        FetchResult result;
        return FetchPage(request, result, 0) ? result.body : "<fetch failed>";
    }
};

TEST_F(CookieStoreTest, CookieFromOneThreadIsSentByAnother) {
    site_.route("", "/login",
                Response::Text("ok")
                    .Header("Set-Cookie", "sid=abc; Path=/")
                    .Header("Set-Cookie", "pref=1; Path=/; Max-Age=3600"));
    std::thread first([&] {
        FetchRequest request(Url("/login"), u"", 5000);
        FetchResult result;
        EXPECT_TRUE(FetchPage(request, result, 0));
    });
    first.join();
    std::string sent;
    std::thread second([&] { sent = CookiesSentTo(Url("/echo")); });
    second.join();
    EXPECT_NE(sent.find("sid=abc"), std::string::npos);
    EXPECT_NE(sent.find("pref=1"), std::string::npos);
}

TEST_F(CookieStoreTest, CookiesStayWithTheirHost) {
    testsite::ProxyEnvironment proxy(site_);
    site_.route("a.example", "/set", Response::Text("ok").Header("Set-Cookie", "only=a; Path=/"));
    site_.route("a.example", "/echo", [](const Request& r) { return Response::Text(r.header("Cookie")); });
    site_.route("b.example", "/echo", [](const Request& r) { return Response::Text(r.header("Cookie")); });
    CookiesSentTo(u"http://a.example/set");
    EXPECT_EQ(CookiesSentTo(u"http://a.example/echo"), "only=a");
    EXPECT_EQ(CookiesSentTo(u"http://b.example/echo"), "");
}

TEST_F(CookieStoreTest, AddedAndRemovedCookies) {
    Cookie cookie;
    cookie.domain = "127.0.0.1";
    cookie.includeSubdomains = false;
    cookie.name = "token";
    cookie.value = "xyz";
    CookieStore::Instance().Add(cookie);
    EXPECT_EQ(CookiesSentTo(Url("/echo")), "token=xyz");
    ASSERT_EQ(CookieStore::Instance().All().size(), 1u);

    // Deleting the cookie through a response works as browsers expect.
    site_.route("", "/logout",
                Response::Text("bye").Header("Set-Cookie", "token=; Path=/; Expires=Thu, 01 Jan 1970 00:00:01 GMT"));
    CookiesSentTo(Url("/logout"));
    EXPECT_EQ(CookiesSentTo(Url("/echo")), "");

    CookieStore::Instance().Add(cookie);
    CookieStore::Instance().Remove("127.0.0.1", "/", "token");
    EXPECT_EQ(CookiesSentTo(Url("/echo")), "");
    EXPECT_TRUE(CookieStore::Instance().All().empty());
}

TEST_F(CookieStoreTest, PersistentCookiesSurviveARestart) {
    const auto file = Path("cookies.txt");
    CookieStore::Instance().BindFile(file);
    site_.route("", "/login",
                Response::Text("ok")
                    .Header("Set-Cookie", "session=s1; Path=/; HttpOnly")
                    .Header("Set-Cookie", "keep=k1; Path=/; Expires=Fri, 01 Jan 2100 00:00:00 GMT"));
    CookiesSentTo(Url("/login"));
    ASSERT_TRUE(CookieStore::Instance().Save());

    struct stat info {};
    ASSERT_EQ(stat(file.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);

    CookieStore::Instance().Clear();  // as after a restart
    CookieStore::Instance().BindFile(file);
    EXPECT_EQ(CookiesSentTo(Url("/echo")), "keep=k1");
}

TEST_F(CookieStoreTest, CookiesBeyondTheLimitsGoThoseThatExpireFirstFirst) {
    // 200 domains of 200 cookies, expiring domain after domain; the even ones
    // are domain cookies, which count with the host's own.
    constexpr std::int64_t kBase = 4000000000;
    const auto file = Path("cookies.txt");
    {
        std::ofstream out(file);
        for (int d = 0; d < 200; ++d) {
            for (int i = 0; i < 200; ++i) {
                Cookie cookie{"d" + std::to_string(d) + ".example.com",
                              i % 2 == 0,
                              "/",
                              false,
                              false,
                              kBase + d * 1000 + i,
                              "n" + std::to_string(i),
                              "v"};
                out << CookieStore::ToNetscapeLine(cookie) << '\n';
            }
        }
    }
    auto& store = CookieStore::Instance();
    store.BindFile(file);
    // 180 a domain and 3000 in all: domains 199 to 184 less their first 20,
    // and the last 120 of domain 183.
    std::set<std::string> loaded = Persistent();
    EXPECT_EQ(loaded.size(), 3000u);
    std::size_t unexpected = 0;
    for (const std::string& key : loaded) {
        int d = -1, i = -1;
        const bool read = std::sscanf(key.c_str() + key.starts_with('.'), "d%d.example.com n%d", &d, &i) == 2;
        unexpected += !read || !((d >= 184 && i >= 20) || (d == 183 && i >= 80));
    }
    EXPECT_EQ(unexpected, 0u);

    // Saving trims the store as well; session cookies are not counted.
    store.Add({"d0.example.com", false, "/", false, false, 0, "sid", "s"});
    store.Add({"late.example.com", false, "/", false, false, kBase + 500000, "late", "v"});
    ASSERT_TRUE(store.Save());
    std::set<std::string> saved = Persistent();
    EXPECT_EQ(saved.size(), 3000u);
    EXPECT_TRUE(saved.contains("late.example.com late"));
    EXPECT_FALSE(saved.contains("d183.example.com n80"));

    // Many at once: 5 domains of 200 more.
    for (int d = 0; d < 5; ++d) {
        for (int i = 0; i < 200; ++i) {
            store.Add({"new" + std::to_string(d) + ".example.com", false, "/", false, false, kBase + 600000 + i,
                       "n" + std::to_string(i), "v"});
        }
    }
    ASSERT_TRUE(store.Save());
    saved = Persistent();
    EXPECT_EQ(saved.size(), 3000u);
    EXPECT_TRUE(saved.contains("new4.example.com n20") && !saved.contains("new4.example.com n19"));
    EXPECT_TRUE(saved.contains("late.example.com late"));
    bool session = false;
    for (const Cookie& cookie : store.All()) session = session || cookie.name == "sid";
    EXPECT_TRUE(session);

    std::string text = ReadFile(file);
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 3001);
    EXPECT_EQ(text.find("\tsid\t"), std::string::npos);
}

TEST_F(CookieStoreTest, CookiesOverTheSizeLimitAreDropped) {
    const auto file = Path("cookies.txt");
    const Cookie fits{"127.0.0.1", false, "/", false, false, 4102444800, "fits", std::string(4092, 'v')};
    Cookie over = fits;
    over.name = "over";
    over.value += 'v';
    std::ofstream(file) << CookieStore::ToNetscapeLine(fits) << '\n' << CookieStore::ToNetscapeLine(over) << '\n';
    CookieStore::Instance().BindFile(file);
    EXPECT_EQ(Persistent(), std::set<std::string>{"127.0.0.1 fits"});

    CookieStore::Instance().Clear();
    CookieStore::Instance().Add(over);
    EXPECT_TRUE(CookieStore::Instance().All().empty());
}

TEST_F(CookieStoreTest, NoCookieGoesToAPublicSuffix) {
    testsite::ProxyEnvironment proxy(site_);
    const auto file = Path("cookies.txt");
    std::ofstream(file) << "# Netscape HTTP Cookie File\n"
                        << ".com.cn\tTRUE\t/\tFALSE\t4102444800\twide\t1\n"
                        << "Cn.\tTRUE\t/\tFALSE\t4102444800\twider\t2\n"
                        << "com\tFALSE\t/\tFALSE\t4102444800\thost\t3\n"
                        << ".pconline.com.cn\tTRUE\t/\tFALSE\t4102444800\tsite\t4\n";
    auto& store = CookieStore::Instance();
    store.BindFile(file);
    EXPECT_EQ(Persistent(), std::set<std::string>{".pconline.com.cn site"});
    store.Add({".com.cn", true, "/", false, false, 4102444800, "added", "5"});  // as the login browser does
    EXPECT_EQ(CookiesSentTo(u"http://other.com.cn/echo"), "");
    EXPECT_EQ(CookiesSentTo(u"http://img.pconline.com.cn/echo"), "site=4");

    // Set by a response: the engine's own check (libcurl on libpsl) holds.
    store.Clear();
    site_.route("dp.pconline.com.cn", "/set",
                Response::Text("ok")
                    .Header("Set-Cookie", "wide=1; Domain=.com.cn; Path=/")
                    .Header("Set-Cookie", "site=2; Domain=pconline.com.cn; Path=/"));
    CookiesSentTo(u"http://dp.pconline.com.cn/set");
    EXPECT_EQ(CookiesSentTo(u"http://other.com.cn/echo"), "");
    EXPECT_EQ(CookiesSentTo(u"http://img.pconline.com.cn/echo"), "site=2");
}

TEST_F(CookieStoreTest, SaveLeavesTheFileAloneUntilTheCookiesChange) {
    const auto file = Path("cookies.txt");
    std::ofstream(file) << "# Netscape HTTP Cookie File\nexample.com\tTRUE\t/\tFALSE\t4102444800\tkeep\t1\n"
                        << "#HttpOnly_127.0.0.1\tFALSE\t/\tTRUE\t4102444800\tkeep\t2\n";
    auto& store = CookieStore::Instance();
    store.BindFile(file);
    const ino_t loaded = Inode(file);
    ASSERT_TRUE(store.Save());
    EXPECT_EQ(Inode(file), loaded);

    store.Add({"127.0.0.1", false, "/", false, false, 4102444800, "more", "3"});
    ASSERT_TRUE(store.Save());
    const ino_t saved = Inode(file);
    EXPECT_NE(saved, loaded);
    EXPECT_NE(ReadFile(file).find("\tmore\t3"), std::string::npos);
    ASSERT_TRUE(store.Save());
    EXPECT_EQ(Inode(file), saved);
}

TEST_F(CookieStoreTest, AFifoInPlaceOfTheFileIsNeitherReadNorReplaced) {
    const auto file = Path("cookies.txt");
    ASSERT_EQ(mkfifo(file.c_str(), 0600), 0);
    auto binding = std::async(std::launch::async, [&] { CookieStore::Instance().BindFile(file); });
    if (binding.wait_for(std::chrono::seconds(10)) != std::future_status::ready) {
        // Releases a reader that waits for a writer, so that the test ends.
        const int fd = open(file.c_str(), O_WRONLY | O_NONBLOCK);
        if (fd >= 0) close(fd);
        FAIL() << "BindFile waited on the FIFO";
    }
    CookieStore::Instance().Add({"127.0.0.1", false, "/", false, false, 4102444800, "keep", "1"});
    EXPECT_FALSE(CookieStore::Instance().Save());
    struct stat info {};
    ASSERT_EQ(lstat(file.c_str(), &info), 0);
    EXPECT_TRUE(S_ISFIFO(info.st_mode));
}

TEST(NetscapeLineTest, RoundTrip) {
    Cookie cookie;
    cookie.domain = "dp.pconline.com.cn";
    cookie.httpOnly = true;
    cookie.secure = true;
    cookie.expires = 4102444800;
    cookie.name = "n";
    cookie.value = "v=1";
    std::string line = CookieStore::ToNetscapeLine(cookie);
    EXPECT_EQ(line, "#HttpOnly_.dp.pconline.com.cn\tTRUE\t/\tTRUE\t4102444800\tn\tv=1");
    Cookie back;
    ASSERT_TRUE(CookieStore::FromNetscapeLine(line, back));
    EXPECT_TRUE(back.httpOnly && back.secure && back.includeSubdomains);
    EXPECT_EQ(back.value, "v=1");
    EXPECT_FALSE(CookieStore::FromNetscapeLine("# comment", back));
    EXPECT_FALSE(CookieStore::FromNetscapeLine("too\tfew", back));
    EXPECT_FALSE(CookieStore::FromNetscapeLine(std::string("h\tFALSE\t/\tFALSE\t0\tn\0x\tv", 23), back));
}

}  // namespace
}  // namespace lumora::testing
