#include "testsite/TestSite.h"

#include <curl/curl.h>
#include <gtest/gtest.h>
#include <zlib.h>

#include <chrono>
#include <cstdlib>
#include <memory>
#include <stdexcept>
#include <thread>

using namespace lumora::testsite;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

namespace {

struct Reply {
    CURLcode code = CURLE_OK;
    long status = 0;
    long connects = 0;
    std::string body;
    std::vector<std::string> headerLines;
    // Body size after each delivery, with its arrival time.
    std::vector<std::pair<Clock::time_point, std::size_t>> arrivals;
    double firstByteSeconds = 0;

    bool hasHeader(const std::string& line) const {
        for (const auto& l : headerLines)
            if (l == line) return true;
        return false;
    }
};

// One easy handle, so consecutive fetches may reuse the connection.
class Client {
public:
    Client() : curl_(curl_easy_init()) {}
    ~Client() { curl_easy_cleanup(curl_); }
    Client(const Client&) = delete;
    Client& operator=(const Client&) = delete;

    // `viaEnvironment` leaves the proxy to http_proxy; otherwise none is used.
    Reply fetch(const std::string& url, const std::function<void(CURL*)>& setup = {}, bool viaEnvironment = false) {
        Reply reply;
        curl_easy_reset(curl_);
        curl_easy_setopt(curl_, CURLOPT_URL, url.c_str());
        if (!viaEnvironment) curl_easy_setopt(curl_, CURLOPT_PROXY, "");
        curl_easy_setopt(curl_, CURLOPT_TIMEOUT, 20L);
        curl_easy_setopt(curl_, CURLOPT_WRITEFUNCTION, &Client::onBody);
        curl_easy_setopt(curl_, CURLOPT_WRITEDATA, &reply);
        curl_easy_setopt(curl_, CURLOPT_HEADERFUNCTION, &Client::onHeader);
        curl_easy_setopt(curl_, CURLOPT_HEADERDATA, &reply);
        if (setup) setup(curl_);
        reply.code = curl_easy_perform(curl_);
        curl_easy_getinfo(curl_, CURLINFO_RESPONSE_CODE, &reply.status);
        curl_easy_getinfo(curl_, CURLINFO_NUM_CONNECTS, &reply.connects);
        curl_easy_getinfo(curl_, CURLINFO_STARTTRANSFER_TIME, &reply.firstByteSeconds);
        return reply;
    }

private:
    static size_t onBody(char* data, size_t, size_t size, void* user) {
        auto* reply = static_cast<Reply*>(user);
        reply->body.append(data, size);
        reply->arrivals.emplace_back(Clock::now(), reply->body.size());
        return size;
    }
    static size_t onHeader(char* data, size_t, size_t size, void* user) {
        std::string line(data, size);
        while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
        static_cast<Reply*>(user)->headerLines.push_back(line);
        return size;
    }

    CURL* curl_;
};

Reply fetchOnce(const std::string& url, const std::function<void(CURL*)>& setup = {}) {
    Client client;
    return client.fetch(url, setup);
}

std::string inflateExactly(const std::string& data, int windowBits) {
    z_stream zs{};
    EXPECT_EQ(inflateInit2(&zs, windowBits), Z_OK);
    std::string out(1 << 20, '\0');
    zs.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
    zs.avail_in = static_cast<uInt>(data.size());
    zs.next_out = reinterpret_cast<Bytef*>(out.data());
    zs.avail_out = static_cast<uInt>(out.size());
    int rc = inflate(&zs, Z_FINISH);
    out.resize(zs.total_out);
    inflateEnd(&zs);
    return rc == Z_STREAM_END ? out : "<inflate failed>";
}

// A setup that sends one extra request header.
std::function<void(CURL*)> withHeader(const char* line) {
    std::shared_ptr<curl_slist> list(curl_slist_append(nullptr, line), curl_slist_free_all);
    return [list](CURL* c) { curl_easy_setopt(c, CURLOPT_HTTPHEADER, list.get()); };
}

double seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

}  // namespace

TEST(TestSiteTargets, AbsoluteFormThroughProxyReachesTheRouteOfThatHost) {
    TestSite site;
    site.route("dp.pconline.com.cn", "/photo/1.html", Response::Text("album page"));
    site.route("img.pconline.com.cn", "/photo/1.html", Response::Text("picture host"));
    site.route("", "/photo/1.html", Response::Text("any host"));
    ProxyEnvironment proxy(site);
    Client client;

    Reply album = client.fetch("http://dp.pconline.com.cn/photo/1.html?x=1", {}, true);
    EXPECT_EQ(album.code, CURLE_OK);
    EXPECT_EQ(album.body, "album page");
    EXPECT_EQ(client.fetch("http://img.pconline.com.cn/photo/1.html", {}, true).body, "picture host");
    EXPECT_EQ(client.fetch("http://other.example/photo/1.html", {}, true).body, "any host");

    auto requests = site.requests();
    ASSERT_EQ(requests.size(), 3u);
    EXPECT_EQ(requests[0].target, "http://dp.pconline.com.cn/photo/1.html?x=1");
    EXPECT_EQ(requests[0].host, "dp.pconline.com.cn");
    EXPECT_EQ(requests[0].path, "/photo/1.html");
    EXPECT_EQ(requests[0].query, "x=1");
}

TEST(TestSiteTargets, OriginFormTakesHostFromHeaderWithoutPort) {
    TestSite site;
    site.route("dp.pconline.com.cn", "/a", Response::Text("routed"));
    site.route("", "/any", Response::Text("anywhere"));

    Reply reply = fetchOnce(site.baseUrl() + "/a?b=2", withHeader("Host: DP.pconline.com.cn:8080"));
    EXPECT_EQ(reply.body, "routed");
    EXPECT_EQ(fetchOnce(site.baseUrl() + "/any").body, "anywhere");
    EXPECT_EQ(fetchOnce(site.baseUrl() + "/a").status, 404);  // host 127.0.0.1 has no /a

    ASSERT_EQ(site.requests().size(), 3u);
    EXPECT_EQ(site.requests()[0].host, "dp.pconline.com.cn");
    EXPECT_EQ(site.requests()[0].query, "b=2");
    EXPECT_EQ(site.requests()[0].header("HOST"), "DP.pconline.com.cn:8080");
    EXPECT_EQ(site.requestCount("/a"), 2u);
    site.clearRequests();
    EXPECT_EQ(site.requestCount("/a"), 0u);

    site.fallback([](const Request& r) { return Response::Status(410, "gone: " + r.path); });
    Reply unrouted = fetchOnce(site.baseUrl() + "/nowhere");
    EXPECT_EQ(unrouted.status, 410);
    EXPECT_EQ(unrouted.body, "gone: /nowhere");
}

TEST(TestSiteTargets, ProxyEnvironmentRestoresEveryVariable) {
    ::setenv("http_proxy", "http://old:1", 1);
    ::unsetenv("HTTP_PROXY");
    ::setenv("no_proxy", "*", 1);
    {
        TestSite site;
        ProxyEnvironment proxy(site);
        EXPECT_EQ(std::string(std::getenv("http_proxy")), site.proxyUrl());
        EXPECT_EQ(std::getenv("no_proxy"), nullptr);
    }
    EXPECT_EQ(std::string(std::getenv("http_proxy")), "http://old:1");
    EXPECT_EQ(std::getenv("HTTP_PROXY"), nullptr);
    EXPECT_EQ(std::string(std::getenv("no_proxy")), "*");
    ::unsetenv("http_proxy");
    ::unsetenv("no_proxy");
}

TEST(TestSiteConnections, ListensOnAGivenPortAndRefusesOneInUse) {
    std::uint16_t port = 0;
    {
        TestSite probe;  // a port that was free a moment ago
        port = probe.port();
    }
    TestSite site(port);
    EXPECT_EQ(site.port(), port);
    site.route("", "/page", Response::Text("page"));
    EXPECT_EQ(fetchOnce("http://127.0.0.1:" + std::to_string(port) + "/page").body, "page");
    try {
        TestSite second(port);
        ADD_FAILURE() << "port " << port << " was bound twice";
    } catch (const std::runtime_error& error) {
        EXPECT_EQ(std::string(error.what()).rfind("cannot listen on 127.0.0.1:" + std::to_string(port) + ": ", 0), 0u)
            << error.what();
    }
}

TEST(TestSiteConnections, KeepAliveServesSeveralRequestsAndHonoursClose) {
    TestSite site;
    site.route("", "/page", Response::Text("page"));
    Client client;

    EXPECT_EQ(client.fetch(site.baseUrl() + "/page").connects, 1);
    Reply second = client.fetch(site.baseUrl() + "/page");
    EXPECT_EQ(second.body, "page");
    EXPECT_EQ(second.connects, 0);

    // HEAD gets the length but no body, and the connection stays usable.
    Reply head = client.fetch(site.baseUrl() + "/page", [](CURL* c) { curl_easy_setopt(c, CURLOPT_NOBODY, 1L); });
    EXPECT_TRUE(head.hasHeader("Content-Length: 4"));
    EXPECT_EQ(head.body, "");
    Reply afterHead = client.fetch(site.baseUrl() + "/page");
    EXPECT_EQ(afterHead.body, "page");
    EXPECT_EQ(afterHead.connects, 0);

    client.fetch(site.baseUrl() + "/page", withHeader("Connection: close"));
    EXPECT_EQ(client.fetch(site.baseUrl() + "/page").connects, 1);
}

TEST(TestSiteConnections, RequestBodiesArriveWhole) {
    TestSite site;
    site.route("", "/echo", [](const Request& r) { return Response::Text(r.method + ":" + r.body); });
    const std::string form(2500, 'f');
    Client client;

    auto start = Clock::now();
    Reply posted = client.fetch(site.baseUrl() + "/echo", [&, expect = withHeader("Expect: 100-continue")](CURL* c) {
        expect(c);
        curl_easy_setopt(c, CURLOPT_POSTFIELDS, form.c_str());
    });
    EXPECT_EQ(posted.body, "POST:" + form);
    EXPECT_LT(seconds(Clock::now() - start), 0.9);  // curl waits 1 s for a missing "100 Continue"

    std::string chunkedSource = "chunked request body";
    Reply chunked =
        client.fetch(site.baseUrl() + "/echo", [&, chunkedHeader = withHeader("Transfer-Encoding: chunked")](CURL* c) {
            chunkedHeader(c);
            curl_easy_setopt(c, CURLOPT_POST, 1L);
            curl_easy_setopt(c, CURLOPT_READDATA, &chunkedSource);
            curl_easy_setopt(
                c, CURLOPT_READFUNCTION, +[](char* out, size_t, size_t n, void* user) -> size_t {
                    auto* source = static_cast<std::string*>(user);
                    size_t take = std::min<size_t>({n, source->size(), 7});
                    source->copy(out, take);
                    source->erase(0, take);
                    return take;
                });
        });
    EXPECT_EQ(chunked.body, "POST:chunked request body");
}

TEST(TestSiteBodies, CompressedBodiesInflateToTheOriginal) {
    std::string page;
    for (int i = 0; i < 2000; ++i) page += "<li>picture " + std::to_string(i) + "</li>\n";
    TestSite site;
    Response gzip = Response::Text(page).Header("Content-Encoding", "gzip");
    gzip.encoding = BodyEncoding::Gzip;
    Response zlib = Response::Text(page);
    zlib.encoding = BodyEncoding::Zlib;
    site.route("", "/gzip", gzip);
    site.route("", "/zlib", zlib);

    Reply gz = fetchOnce(site.baseUrl() + "/gzip");     // curl decodes nothing by default
    EXPECT_EQ(inflateExactly(gz.body, 15 + 16), page);  // gzip wrapper only
    EXPECT_TRUE(gz.hasHeader("Content-Length: " + std::to_string(gz.body.size())));
    Reply zl = fetchOnce(site.baseUrl() + "/zlib");
    EXPECT_EQ(inflateExactly(zl.body, 15), page);  // zlib wrapper only
    EXPECT_LT(zl.body.size(), page.size() / 4);
    EXPECT_EQ(inflateExactly(GzipCompress(""), 15 + 16), "");
}

TEST(TestSiteBodies, BrokenFramingClosesTheConnection) {
    TestSite site;
    Response longer = Response::Text("0123456789");
    longer.announcedLength = 20;
    Response shorter = Response::Text("0123456789");
    shorter.announcedLength = 4;
    Response unannounced = Response::Text("0123456789");
    unannounced.announceLength = false;
    Response chunked = Response::Text("0123456789");
    chunked.chunkedTransfer = true;
    chunked.chunkSize = 4;
    site.route("", "/longer", longer);
    site.route("", "/shorter", shorter);
    site.route("", "/unannounced", unannounced);
    site.route("", "/chunked", chunked);
    site.route("", "/next", Response::Text("next"));
    Client client;

    Reply cut = client.fetch(site.baseUrl() + "/longer");
    EXPECT_EQ(cut.code, CURLE_PARTIAL_FILE);
    EXPECT_EQ(cut.body, "0123456789");

    Reply prefix = client.fetch(site.baseUrl() + "/shorter");
    EXPECT_EQ(prefix.code, CURLE_OK);
    EXPECT_EQ(prefix.body, "0123");
    Reply afterShort = client.fetch(site.baseUrl() + "/next");  // no leftover bytes read as an answer
    EXPECT_EQ(afterShort.body, "next");
    EXPECT_EQ(afterShort.connects, 1);

    Reply untilClose = client.fetch(site.baseUrl() + "/unannounced");
    EXPECT_EQ(untilClose.code, CURLE_OK);
    EXPECT_EQ(untilClose.body, "0123456789");
    EXPECT_EQ(client.fetch(site.baseUrl() + "/next").connects, 1);

    Reply pieces = client.fetch(site.baseUrl() + "/chunked");
    EXPECT_EQ(pieces.body, "0123456789");
    EXPECT_TRUE(pieces.hasHeader("Transfer-Encoding: chunked"));
    EXPECT_EQ(client.fetch(site.baseUrl() + "/next").connects, 0);
}

TEST(TestSiteBodies, DropMidBodyIsAnErrorEvenWithoutLength) {
    TestSite site;
    Response drop = Response::Text(std::string(20, 'x'));
    drop.dropAfterBytes = 5;
    Response dropUnannounced = drop;
    dropUnannounced.announceLength = false;
    site.route("", "/drop", drop);
    site.route("", "/drop-unannounced", dropUnannounced);

    Reply reply = fetchOnce(site.baseUrl() + "/drop");
    EXPECT_NE(reply.code, CURLE_OK);
    EXPECT_EQ(reply.body, std::string(5, 'x'));
    // Only a reset tells a body without length from a complete one.
    EXPECT_NE(fetchOnce(site.baseUrl() + "/drop-unannounced").code, CURLE_OK);
}

TEST(TestSiteTiming, DelaysChunksAndStallsArePauses) {
    TestSite site;
    Response delayed = Response::Text("late");
    delayed.delayBeforeHeaders = 300ms;
    Response stalled = Response::Text("0123456789");
    stalled.stallAfterBytes = 4;
    stalled.stallFor = 300ms;
    Response paced = Response::Text("abcdefghi");
    paced.chunkSize = 3;
    paced.chunkDelay = 100ms;
    site.route("", "/delayed", delayed);
    site.route("", "/stalled", stalled);
    site.route("", "/paced", paced);

    Reply late = fetchOnce(site.baseUrl() + "/delayed");
    EXPECT_EQ(late.body, "late");
    EXPECT_GE(late.firstByteSeconds, 0.25);

    Reply stall = fetchOnce(site.baseUrl() + "/stalled");
    EXPECT_EQ(stall.body, "0123456789");
    ASSERT_GE(stall.arrivals.size(), 2u);
    EXPECT_EQ(stall.arrivals[0].second, 4u);
    EXPECT_GE(seconds(stall.arrivals[1].first - stall.arrivals[0].first), 0.25);

    Reply pace = fetchOnce(site.baseUrl() + "/paced");
    EXPECT_EQ(pace.body, "abcdefghi");
    ASSERT_EQ(pace.arrivals.size(), 3u);
    EXPECT_GE(seconds(pace.arrivals[2].first - pace.arrivals[0].first), 0.18);
}

TEST(TestSiteTiming, DestructorCutsLongStallsShort) {
    auto site = std::make_unique<TestSite>();
    Response stalled = Response::Text("0123456789");
    stalled.stallAfterBytes = 2;
    stalled.stallFor = 60s;
    Response delayed = Response::Text("late");
    delayed.delayBeforeHeaders = 60s;
    site->route("", "/stalled", stalled);
    site->route("", "/delayed", delayed);

    Reply stallReply, delayReply;
    std::thread a([&, url = site->baseUrl() + "/stalled"] { stallReply = fetchOnce(url); });
    std::thread b([&, url = site->baseUrl() + "/delayed"] { delayReply = fetchOnce(url); });
    std::this_thread::sleep_for(100ms);
    auto start = Clock::now();
    site.reset();
    EXPECT_LT(seconds(Clock::now() - start), 2.0);
    a.join();
    b.join();
    EXPECT_NE(stallReply.code, CURLE_OK);
    EXPECT_NE(delayReply.code, CURLE_OK);
}

TEST(TestSiteTiming, ParallelClientsAreServedConcurrently) {
    TestSite site;
    Response slow = Response::Text("slow");
    slow.delayBeforeHeaders = 300ms;
    site.route("", "/slow", slow);

    std::vector<Reply> replies(15);
    std::vector<std::thread> clients;
    auto start = Clock::now();
    for (auto& reply : replies)
        clients.emplace_back([&reply, url = site.baseUrl() + "/slow"] { reply = fetchOnce(url); });
    for (auto& client : clients) client.join();
    EXPECT_LT(seconds(Clock::now() - start), 3.0);
    for (const auto& reply : replies) EXPECT_EQ(reply.body, "slow");
    EXPECT_EQ(site.requestCount("/slow"), 15u);
}

TEST(TestSiteConnections, ClientLeavingMidAnswerDoesNotHurtTheSite) {
    TestSite site;
    Response big = Response::Text(std::string(8 << 20, 'b'));
    big.chunkSize = 64 * 1024;
    site.route("", "/big", big);
    site.route("", "/small", Response::Text("small"));

    Reply aborted = fetchOnce(site.baseUrl() + "/big", [](CURL* c) {
        curl_easy_setopt(
            c, CURLOPT_WRITEFUNCTION, +[](char*, size_t, size_t, void*) -> size_t { return 0; });
    });
    EXPECT_EQ(aborted.code, CURLE_WRITE_ERROR);
    EXPECT_EQ(fetchOnce(site.baseUrl() + "/small").body, "small");
}

TEST(TestSiteCookies, SetCookieLinesArriveSeparately) {
    TestSite site;
    site.route("", "/login",
               Response::Text("ok").Header("Set-Cookie", "a=1; Path=/").Header("Set-Cookie", "b=2; Path=/"));
    site.route("", "/echo", [](const Request& r) { return Response::Text(r.header("cookie")); });
    Client client;

    Reply login = client.fetch(site.baseUrl() + "/login");
    EXPECT_TRUE(login.hasHeader("Set-Cookie: a=1; Path=/"));
    EXPECT_TRUE(login.hasHeader("Set-Cookie: b=2; Path=/"));
    Reply echo =
        client.fetch(site.baseUrl() + "/echo", [](CURL* c) { curl_easy_setopt(c, CURLOPT_COOKIE, "a=1; b=2"); });
    EXPECT_EQ(echo.body, "a=1; b=2");
}
