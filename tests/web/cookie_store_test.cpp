// The process-wide cookie store: shared between threads, per host, and kept
// across restarts through its cookie file.
#include "web/CookieStore.h"

#include <sys/stat.h>

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
    // What a request for `url` carries in its Cookie header.
    std::string CookiesSentTo(const std::u16string& url) {
        FetchRequest request(url, u"", 5000);
        FetchResult result;
        return FetchPage(request, result, 0) ? result.body : "<fetch failed>";
    }
};

TEST_F(CookieStoreTest, CookieFromOneThreadIsSentByAnother) {
    site_.route("", "/login",
                Response::Text("ok").Header("Set-Cookie", "sid=abc; Path=/").Header("Set-Cookie",
                                                                                 "pref=1; Path=/; Max-Age=3600"));
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
