// The sample site as the program sees it: libcurl through http_proxy to an
// in-process site, pages taken apart by the same markers the program uses.
#include "samplesite/SampleSite.h"

#include <curl/curl.h>
#include <gtest/gtest.h>
#include <iconv.h>

#include <algorithm>
#include <chrono>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <thread>

#include "samplesite/image_checks.h"

using namespace lumora::samplesite;
using namespace lumora::samplesite::testing;
using lumora::testsite::ProxyEnvironment;
using lumora::testsite::TestSite;

namespace {

struct Reply {
    CURLcode result = CURLE_OK;
    long status = 0;
    std::string body;
    std::string contentType;
    std::string contentEncoding;
    std::string retryAfter;
    curl_off_t contentLength = -1;  // as announced; -1: none
    curl_off_t wireBytes = 0;       // body bytes as sent, before decoding
    std::size_t stopAfter = 0;      // the client ends the transfer once it has this many bytes
    double firstByteSeconds = 0;
    double totalSeconds = 0;
};

// One easy handle, so that the many picture requests share connections.
class Client {
public:
    Client() : curl_(curl_easy_init()) {}
    ~Client() { curl_easy_cleanup(curl_); }

    // `acceptEncoding` is sent as the Accept-Encoding value, and the body decoded.
    Reply get(const std::string& url, const char* acceptEncoding = nullptr) {
        Reply reply = attempt(url, acceptEncoding);
        EXPECT_EQ(reply.result, CURLE_OK) << url;
        return reply;
    }

    // The same, for a transfer that may fail.
    Reply attempt(const std::string& url, const char* acceptEncoding = nullptr, std::size_t stopAfter = 0) {
        Reply reply;
        reply.stopAfter = stopAfter;
        curl_easy_setopt(curl_, CURLOPT_URL, url.c_str());
        curl_easy_setopt(curl_, CURLOPT_TIMEOUT, 30L);
        curl_easy_setopt(curl_, CURLOPT_ACCEPT_ENCODING, acceptEncoding);
        curl_easy_setopt(curl_, CURLOPT_WRITEFUNCTION, &Client::onBody);
        curl_easy_setopt(curl_, CURLOPT_WRITEDATA, &reply);
        curl_easy_setopt(curl_, CURLOPT_HEADERFUNCTION, &Client::onHeader);
        curl_easy_setopt(curl_, CURLOPT_HEADERDATA, &reply);
        reply.result = curl_easy_perform(curl_);
        curl_easy_getinfo(curl_, CURLINFO_RESPONSE_CODE, &reply.status);
        curl_easy_getinfo(curl_, CURLINFO_STARTTRANSFER_TIME, &reply.firstByteSeconds);
        curl_easy_getinfo(curl_, CURLINFO_TOTAL_TIME, &reply.totalSeconds);
        curl_easy_getinfo(curl_, CURLINFO_SIZE_DOWNLOAD_T, &reply.wireBytes);
        curl_easy_getinfo(curl_, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &reply.contentLength);
        return reply;
    }

    std::string body(const std::string& url) {
        Reply reply = get(url);
        EXPECT_EQ(reply.status, 200) << url;
        return reply.body;
    }

private:
    static size_t onBody(char* data, size_t, size_t size, void* user) {
        auto* reply = static_cast<Reply*>(user);
        reply->body.append(data, size);
        return reply->stopAfter > 0 && reply->body.size() >= reply->stopAfter ? 0 : size;
    }
    static size_t onHeader(char* data, size_t, size_t size, void* user) {
        auto* reply = static_cast<Reply*>(user);
        std::string line(data, size);
        while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
        auto colon = line.find(": ");
        if (colon == std::string::npos) return size;
        std::string name = line.substr(0, colon);
        for (auto& c : name) c = char(std::tolower(static_cast<unsigned char>(c)));
        if (name == "content-type") reply->contentType = line.substr(colon + 2);
        if (name == "content-encoding") reply->contentEncoding = line.substr(colon + 2);
        if (name == "retry-after") reply->retryAfter = line.substr(colon + 2);
        return size;
    }
    CURL* curl_;
};

// The program's marker extraction: the text between `begin` and the next
// `end`, searching on from `at`, which moves past the begin marker.
std::string Between(const std::string& text, const std::string& begin, const std::string& end, std::size_t& at) {
    auto start = text.find(begin, at);
    if (start == std::string::npos) return {};
    at = start + begin.size();
    auto stop = text.find(end, at);
    return stop == std::string::npos ? std::string{} : text.substr(at, stop - at);
}

// Pieces after each separator, as the program splits a page.
std::vector<std::string> Blocks(const std::string& text, const std::string& separator) {
    std::vector<std::string> pieces;
    for (auto at = text.find(separator); at != std::string::npos;) {
        auto next = text.find(separator, at + separator.size());
        pieces.push_back(
            text.substr(at + separator.size(), next == std::string::npos ? next : next - at - separator.size()));
        at = next;
    }
    return pieces;
}

std::string ReplaceAll(std::string text, const std::string& what, const std::string& with) {
    for (auto at = text.find(what); at != std::string::npos; at = text.find(what, at + with.size()))
        text.replace(at, what.size(), with);
    return text;
}

struct ListedAlbum {
    std::string address, title, cover;
};

std::vector<ListedAlbum> ParseAlbumList(const std::string& page) {
    std::vector<ListedAlbum> albums;
    for (const std::string& block : Blocks(page, "class=\"picbox")) {
        std::size_t at = 0;
        ListedAlbum album;
        album.address = ReplaceAll(Between(block, "href=\"", "\"", at), "photo/", "photo/list_");
        album.title = ReplaceAll(Between(block, "title=\"", "\"", at), "&amp;", "&");
        album.cover = Between(block, "src=\"", "\"", at);
        albums.push_back(album);
    }
    return albums;
}

std::string Absolute(const std::string& address) { return address.rfind("//", 0) == 0 ? "http:" + address : address; }

std::string GbkToUtf8(std::string gbk) {
    iconv_t cd = iconv_open("UTF-8", "GBK");
    std::string out(gbk.size() * 2, '\0');
    char* in = gbk.data();
    char* to = out.data();
    size_t inLeft = gbk.size(), outLeft = out.size();
    const bool ok = iconv(cd, &in, &inLeft, &to, &outLeft) != size_t(-1);
    iconv_close(cd);
    return ok ? out.substr(0, out.size() - outLeft) : std::string{};
}

constexpr const char* kProgramEncoding = "gzip, deflate";

class SampleSiteTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        site_ = new TestSite;
        catalog_ = new SampleCatalog(RegisterSampleSite(*site_));
    }
    static void TearDownTestSuite() {
        delete catalog_;
        delete site_;
    }

    static TestSite* site_;
    static SampleCatalog* catalog_;
    ProxyEnvironment proxy_{*site_};
    Client client_;
};
TestSite* SampleSiteTest::site_ = nullptr;
SampleCatalog* SampleSiteTest::catalog_ = nullptr;

TEST_F(SampleSiteTest, AllThreeAddressFormsServeTheFirstPage) {
    const std::string first = client_.body(catalog_->listPageAddress(1));
    EXPECT_EQ(catalog_->listPageAddress(1), "http://dp.pconline.com.cn/lumora_demo/myphoto_p1_n15.html");
    EXPECT_EQ(client_.body("http://dp.pconline.com.cn/lumora_demo/"), first);
    EXPECT_EQ(client_.body("http://dp.pconline.com.cn/lumora_demo/myphoto.html"), first);

    std::size_t at = 0;
    EXPECT_EQ(Between(first, "】", "_太平洋", at), "Lumora演示空间");
    // The program searches for albums after the first "】" only.
    EXPECT_EQ(first.find("class=\"picbox"), first.find("class=\"picbox", at));
}

TEST_F(SampleSiteTest, FortyAlbumsOverThreePagesWithTheNextLinkOnAllButTheLast) {
    ASSERT_EQ(catalog_->pageCount(), 3);
    std::vector<ListedAlbum> listed;
    for (int page = 1; page <= 3; ++page) {
        const std::string text = client_.body(catalog_->listPageAddress(page));
        EXPECT_EQ(text.find(">下一页</a>") != std::string::npos, page < 3) << "page " << page;
        auto albums = ParseAlbumList(text);
        EXPECT_EQ(albums.size(), page < 3 ? 15u : 10u) << "page " << page;
        listed.insert(listed.end(), albums.begin(), albums.end());
    }
    EXPECT_EQ(client_.get("http://dp.pconline.com.cn/lumora_demo/myphoto_p4_n15.html").status, 404);

    ASSERT_EQ(listed.size(), catalog_->albums.size());
    std::map<std::string, int> titleUses;
    int schemeless = 0;
    for (std::size_t i = 0; i < listed.size(); ++i) {
        const SampleAlbum& album = catalog_->albums[i];
        EXPECT_EQ(listed[i].address, album.pictureListAddress);
        EXPECT_EQ(listed[i].title, album.title);
        EXPECT_EQ(listed[i].cover, album.coverAddress);
        ++titleUses[album.title];
        schemeless += album.coverAddress.rfind("//", 0) == 0;
    }
    EXPECT_EQ(titleUses["春日花园"], 3);
    EXPECT_EQ(titleUses.count("光与影 & 城市"), 1u);
    EXPECT_GT(schemeless, 0);
}

TEST_F(SampleSiteTest, EveryListedPictureAndCoverAnswersWithRealImageBytes) {
    std::set<std::string> distinct;
    int pictures = 0, pngBehindJpg = 0;
    std::string someJpeg, someThumbnail;
    for (const SampleAlbum& album : catalog_->albums) {
        SCOPED_TRACE(album.pictureListAddress);
        const auto blocks = Blocks(client_.body(album.pictureListAddress), "class=\"picture");
        ASSERT_EQ(blocks.size(), album.pictures.size());
        for (std::size_t j = 0; j < blocks.size(); ++j) {
            std::size_t at = 0;
            const std::string thumbnail = Between(blocks[j], "src=\"", "\"", at);
            ASSERT_NE(thumbnail.find("_mthumb"), std::string::npos) << thumbnail;
            const std::string full = ReplaceAll(thumbnail, "_mthumb", "");
            EXPECT_EQ(full, album.pictures[j].address);
            for (const std::string& address : {full, thumbnail}) {
                SCOPED_TRACE(address);
                const Reply reply = client_.get(address);
                ASSERT_EQ(reply.status, 200);
                if (album.pictures[j].format == PictureFormat::Png) {
                    PngInfo info;
                    EXPECT_TRUE(ParsePng(reply.body, info));
                    pngBehindJpg += address == full && full.ends_with(".jpg");
                } else {
                    EXPECT_TRUE(IsBaselineJpeg(reply.body));
                    (address == full ? someJpeg : someThumbnail) = reply.body;
                }
                if (address == full) distinct.insert(reply.body);
            }
            ++pictures;
        }
        EXPECT_TRUE(IsBaselineJpeg(client_.body(Absolute(album.coverAddress))));
    }
    EXPECT_EQ(int(distinct.size()), pictures) << "pictures repeat";
    EXPECT_EQ(pngBehindJpg, 1);
    // Roughly the default size: pattern plus padding.
    EXPECT_NEAR(double(someJpeg.size()), 20 * 1024, 1024);

    if (!HaveImageMagick()) GTEST_SKIP() << "ImageMagick is not installed";
    EXPECT_EQ(Identify(someJpeg), "JPEG 320 240");
    EXPECT_EQ(Identify(someThumbnail), "JPEG 160 120");
}

TEST_F(SampleSiteTest, PagesAreGzippedOnlyWhenTheRequestAcceptsIt) {
    const std::string address = catalog_->albums[0].pictureListAddress;
    const Reply plain = client_.get(address);
    const Reply packed = client_.get(address, kProgramEncoding);
    EXPECT_EQ(plain.contentEncoding, "");
    EXPECT_EQ(plain.contentType, "text/html; charset=utf-8");
    EXPECT_EQ(packed.contentEncoding, "gzip");
    EXPECT_LT(packed.wireBytes, curl_off_t(plain.body.size()) / 2);
    EXPECT_EQ(packed.body, plain.body);
}

TEST(SampleSiteGbk, SendsGbkBytesUnderCharsetGbk) {
    TestSite site;
    SampleSiteOptions options;
    options.gbkPages = true;
    const SampleCatalog catalog = RegisterSampleSite(site, options);
    ProxyEnvironment proxy(site);
    Client client;

    const Reply reply = client.get(catalog.listPageAddress(1), kProgramEncoding);
    EXPECT_NE(reply.contentType.find("charset=GBK"), std::string::npos) << reply.contentType;
    EXPECT_EQ(reply.contentEncoding, "gzip");
    const Reply plain = client.get(catalog.listPageAddress(1));
    EXPECT_NE(plain.body.find("\xCF\xC2\xD2\xBB\xD2\xB3</a>"), std::string::npos) << "no GBK 下一页 link";
    const std::string utf8 = GbkToUtf8(plain.body);
    EXPECT_NE(utf8.find("】Lumora演示空间_太平洋"), std::string::npos);
    EXPECT_NE(utf8.find("春日花园"), std::string::npos);
}

TEST(SampleSiteBenchmark, OneLargeAlbumWithLatencyAndBandwidth) {
    TestSite site;
    SampleSiteOptions options = SampleSiteOptions::OneAlbum(30);
    options.pictureBytes = 150 * 1024;
    options.latencyMs = 100;
    options.bytesPerSecond = 600 * 1024;
    const SampleCatalog catalog = RegisterSampleSite(site, options);
    ProxyEnvironment proxy(site);
    Client client;

    ASSERT_EQ(catalog.albums.size(), 1u);
    const Reply list = client.get(catalog.listPageAddress(1));
    EXPECT_EQ(ParseAlbumList(list.body).size(), 1u);
    EXPECT_EQ(list.body.find(">下一页</a>"), std::string::npos);
    EXPECT_GE(list.firstByteSeconds, 0.09);
    EXPECT_EQ(Blocks(client.body(catalog.albums[0].pictureListAddress), "class=\"picture").size(), 30u);

    const Reply picture = client.get(catalog.albums[0].pictures[0].address);
    EXPECT_TRUE(IsBaselineJpeg(picture.body));
    EXPECT_NEAR(double(picture.body.size()), 150 * 1024, 1024);
    // 150 KB at 600 KB/s: about a quarter second after the first byte.
    EXPECT_GE(picture.totalSeconds - picture.firstByteSeconds, 0.18);
    // Made once: the second answer is the same bytes.
    EXPECT_EQ(client.body(catalog.albums[0].pictures[0].address), picture.body);

    // A PNG is padded to the size too, and stays valid.
    const auto& pictures = catalog.albums[0].pictures;
    const auto png = std::find_if(pictures.begin(), pictures.end(),
                                  [](const SamplePicture& p) { return p.format == PictureFormat::Png; });
    ASSERT_NE(png, pictures.end());
    const std::string pngBytes = client.body(png->address);
    PngInfo info;
    EXPECT_TRUE(ParsePng(pngBytes, info));
    EXPECT_EQ(pngBytes.size(), 150u * 1024);
}

// Each fault hits a picture once, even when its first requests come together;
// every answer after the faults is the picture whole.
TEST(SampleSiteFaults, AFaultedPictureFailsOnceThenServesItsBytes) {
    SampleSiteOptions options = SampleSiteOptions::OneAlbum(6);
    std::vector<std::string> whole;
    {
        TestSite site;
        const SampleCatalog catalog = RegisterSampleSite(site, options);
        ProxyEnvironment proxy(site);
        Client client;
        for (const SamplePicture& picture : catalog.albums[0].pictures) whole.push_back(client.body(picture.address));
    }
    options.failEvery = 2;  // pictures 2, 4, 6
    options.dropEvery = 3;  // pictures 3, 6
    TestSite site;
    const SampleCatalog catalog = RegisterSampleSite(site, options);
    ProxyEnvironment proxy(site);
    Client client;
    auto address = [&](int number) { return catalog.albums[0].pictures[number - 1].address; };

    EXPECT_EQ(client.body(address(1)), whole[0]);
    EXPECT_EQ(client.get(address(6)).status, 503);
    const Reply cut = client.attempt(address(6));
    // A reset: what arrived before it is at most the first half.
    EXPECT_NE(cut.result, CURLE_OK);
    EXPECT_LE(cut.body.size(), whole[5].size() / 2);
    EXPECT_TRUE(whole[5].starts_with(cut.body));
    EXPECT_EQ(client.body(address(6)), whole[5]);
    EXPECT_EQ(client.body(address(6)), whole[5]);

    std::vector<Reply> together(6);
    {
        std::vector<std::jthread> threads;
        for (Reply& reply : together) threads.emplace_back([&] { reply = Client().attempt(address(4)); });
    }
    int unavailable = 0, right = 0;
    for (const Reply& reply : together) {
        unavailable += reply.status == 503;
        right += reply.result == CURLE_OK && reply.status == 200 && reply.body == whole[3];
    }
    EXPECT_EQ(unavailable, 1);
    EXPECT_EQ(right, 5);
}

// Where faults start and stop, and the trickle: each picture's first answer
// shows which it got, and a trickled picture trickles on every request.
TEST(SampleSiteFaults, FaultsGoByTheirStartBoundAndTrickleEveryTime) {
    SampleSiteOptions options = SampleSiteOptions::OneAlbum(12);
    options.failEvery = 4;  // 4, 8; 12 is past the bound
    options.dropEvery = 3;  // from 2: 2, 5, 8; 11 is past the bound
    options.dropFrom = 2;
    options.trickleEvery = 6;                   // 6; 12 is past the bound
    options.trickleBytesPerSecond = 80 * 1024;  // a picture of 20 KB in a quarter second
    options.faultsUpto = 8;
    TestSite site;
    const SampleCatalog catalog = RegisterSampleSite(site, options);
    ProxyEnvironment proxy(site);
    Client client;
    auto address = [&](int number) { return catalog.albums[0].pictures[number - 1].address; };
    auto kind = [&](int number) -> std::string {
        const Reply reply = client.attempt(address(number));
        if (reply.status == 503) return "503";
        if (reply.result != CURLE_OK) return "cut";
        EXPECT_EQ(reply.status, 200);
        EXPECT_EQ(curl_off_t(reply.body.size()), reply.contentLength) << number;
        return reply.totalSeconds >= 0.15 ? "slow" : "whole";
    };

    std::vector<std::string> first;
    for (int number = 1; number <= 12; ++number) first.push_back(kind(number));
    EXPECT_EQ(first, (std::vector<std::string>{"whole", "cut", "whole", "503", "cut", "slow", "whole", "503", "whole",
                                               "whole", "whole", "whole"}));
    EXPECT_EQ(kind(6), "slow");
    EXPECT_EQ(kind(8), "cut");
    EXPECT_EQ(kind(8), "whole");
    EXPECT_EQ(kind(5), "whole");
}

// The limit counts answers from request to last byte, over connections; the
// answer log sees each answer end, with the bytes it sent.
TEST(SampleSiteLimits, BeyondTheLimitAPictureIsTurnedAwayAtOnceAndEveryAnswerIsLogged) {
    SampleSiteOptions options = SampleSiteOptions::OneAlbum(3);
    options.bytesPerSecond = 40 * 1024;  // a picture of 20 KB in half a second
    options.concurrencyLimit = 2;
    std::mutex mutex;
    std::vector<PictureAnswer> answers;
    options.onPictureAnswer = [&](const PictureAnswer& answer) {
        std::lock_guard lock(mutex);
        answers.push_back(answer);
    };
    TestSite site;
    const SampleCatalog catalog = RegisterSampleSite(site, options);
    ProxyEnvironment proxy(site);
    const auto& pictures = catalog.albums[0].pictures;
    auto path = [](const std::string& address) { return address.substr(address.find('/', 7)); };

    std::vector<Reply> slow(2);
    {
        std::vector<std::jthread> threads;
        for (int i = 0; i < 2; ++i) threads.emplace_back([&, i] { slow[i] = Client().get(pictures[i].address); });
        for (int i = 0; i < 2; ++i)
            while (site.requestCount(path(pictures[i].address)) == 0)
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
        std::this_thread::sleep_for(std::chrono::milliseconds(100));  // both well into their bodies
        Client client;
        const Reply busy = client.get(pictures[2].address);
        EXPECT_EQ(busy.status, 429);
        EXPECT_EQ(busy.retryAfter, "1");
        EXPECT_LT(busy.totalSeconds, 0.2);
        EXPECT_EQ(client.get(pictures[2].thumbnailAddress).status, 200) << "thumbnails are not limited";
    }
    for (const Reply& reply : slow) EXPECT_EQ(reply.status, 200);
    const Reply later = Client().get(pictures[2].address);
    EXPECT_EQ(later.status, 200) << "places come free when answers end";

    // A client can be done before the site is: wait for the last line.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    for (;;) {
        std::lock_guard lock(mutex);
        if (answers.size() >= 5 || std::chrono::steady_clock::now() > deadline) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    std::lock_guard lock(mutex);
    ASSERT_EQ(answers.size(), 5u);
    std::map<std::pair<std::string, int>, PictureAnswer> byPathAndStatus;
    for (const PictureAnswer& answer : answers) {
        EXPECT_EQ(answer.host, kPictureHost);
        EXPECT_LE(answer.start, answer.end);
        byPathAndStatus[{answer.path, answer.status}] = answer;
    }
    for (int i = 0; i < 2; ++i) {
        const PictureAnswer& answer = byPathAndStatus.at({path(pictures[i].address), 200});
        EXPECT_EQ(answer.bodyBytes, slow[i].body.size());
        EXPECT_GE(answer.end - answer.start, std::chrono::milliseconds(400));
    }
    EXPECT_EQ(byPathAndStatus.at({path(pictures[2].address), 429}).bodyBytes, 50u);
    EXPECT_EQ(byPathAndStatus.at({path(pictures[2].address), 200}).bodyBytes, later.body.size());
    EXPECT_TRUE(byPathAndStatus.contains({path(pictures[2].thumbnailAddress), 200}));
}

// A member as a client reads it: the list pages by their next links, every
// album page, and every full-size picture it lists.
struct ReadMember {
    std::string spaceName;
    std::vector<ListedAlbum> albums;
    int listPages = 0;
    std::map<std::string, std::string> albumPages;  // by address
    std::vector<std::string> pictureOrder;          // album by album, as listed
    std::map<std::string, std::string> pictures;    // bytes by address
};

ReadMember ReadWholeMember(Client& client, const std::string& memberAddress) {
    ReadMember member;
    for (int page = 1;; ++page) {
        const std::string text = client.body(memberAddress + "myphoto_p" + std::to_string(page) + "_n15.html");
        if (page == 1) {
            std::size_t at = 0;
            member.spaceName = Between(text, "】", "_太平洋", at);
        }
        const auto albums = ParseAlbumList(text);
        member.albums.insert(member.albums.end(), albums.begin(), albums.end());
        member.listPages = page;
        if (text.find(">下一页</a>") == std::string::npos || albums.empty()) break;
    }
    for (const ListedAlbum& album : member.albums) {
        const std::string page = client.body(album.address);
        member.albumPages[album.address] = page;
        for (const std::string& block : Blocks(page, "class=\"picture")) {
            std::size_t at = 0;
            const std::string full = ReplaceAll(Between(block, "src=\"", "\"", at), "_mthumb", "");
            member.pictureOrder.push_back(full);
            member.pictures[full] = client.body(full);
        }
    }
    return member;
}

// Members of one site share nothing a client could take for the same thing:
// no album, no picture address, no picture bytes. The first is the member a
// site of one member has, so earlier backups of it stay current.
TEST(SampleSiteMembers, EachMemberHasItsOwnSpaceAlbumsAndPictures) {
    SampleSiteOptions options = SampleSiteOptions::ManyAlbums(4, 3);
    options.pictureBytes = 2048;
    const SampleCatalog alone = BuildSampleCatalog(options);
    TestSite site;
    const std::vector<SampleCatalog> catalogs = RegisterSampleMembers(site, options, 3);
    ProxyEnvironment proxy(site);
    Client client;

    ASSERT_EQ(catalogs.size(), 3u);
    EXPECT_EQ(catalogs[1].memberSpaceAddress(), "http://dp.pconline.com.cn/lumora_demo2/");
    std::set<std::string> albums, addresses, bytes;
    std::size_t pictures = 0;
    for (std::size_t m = 0; m < catalogs.size(); ++m) {
        SCOPED_TRACE(m + 1);
        const ReadMember member = ReadWholeMember(client, catalogs[m].memberSpaceAddress());
        EXPECT_EQ(member.spaceName, m == 0 ? std::string("Lumora演示空间") : "Lumora演示空间" + std::to_string(m + 1));
        ASSERT_EQ(member.albums.size(), 4u);
        EXPECT_EQ(member.pictures.size(), 12u);
        for (const ListedAlbum& album : member.albums) albums.insert(album.address);
        for (const auto& [address, body] : member.pictures) {
            addresses.insert(address);
            bytes.insert(body);
        }
        pictures += member.pictures.size();
    }
    EXPECT_EQ(albums.size(), 12u);
    EXPECT_EQ(addresses.size(), pictures);
    EXPECT_EQ(bytes.size(), pictures) << "pictures repeat across members";

    ASSERT_EQ(catalogs[0].albums.size(), alone.albums.size());
    for (std::size_t i = 0; i < alone.albums.size(); ++i) {
        EXPECT_EQ(catalogs[0].albums[i].pictureListAddress, alone.albums[i].pictureListAddress);
        EXPECT_EQ(catalogs[0].albums[i].pictures.back().address, alone.albums[i].pictures.back().address);
    }
}

// Grown, the first member has exactly one new album, listed first, and one
// new picture at the end of its first old album. Every other page a client
// reads again and every picture it holds is the same, byte for byte, and the
// other members do not change at all.
TEST(SampleSiteGrown, OneNewAlbumAndOneNewPictureAndNothingElseChanged) {
    // 15 albums fill the first page: growing makes a second one.
    SampleSiteOptions options = SampleSiteOptions::ManyAlbums(15, 3);
    options.pictureBytes = 2048;
    auto read = [&](bool grown) {
        options.grown = grown;
        TestSite site;
        const std::vector<SampleCatalog> catalogs = RegisterSampleMembers(site, options, 2);
        ProxyEnvironment proxy(site);
        Client client;
        std::vector<ReadMember> members;
        for (const SampleCatalog& catalog : catalogs)
            members.push_back(ReadWholeMember(client, catalog.memberSpaceAddress()));
        return std::make_pair(catalogs, members);
    };
    const auto [beforeCatalogs, before] = read(false);
    const auto [afterCatalogs, after] = read(true);

    EXPECT_EQ(before[0].listPages, 1);
    EXPECT_EQ(after[0].listPages, 2);
    ASSERT_EQ(after[0].albums.size(), 16u);
    const ListedAlbum& newest = after[0].albums.front();
    for (std::size_t i = 0; i < before[0].albums.size(); ++i) {
        EXPECT_EQ(after[0].albums[i + 1].address, before[0].albums[i].address);
        EXPECT_EQ(after[0].albums[i + 1].title, before[0].albums[i].title);
    }
    EXPECT_FALSE(before[0].albumPages.contains(newest.address));

    // Album pages: the first old one lists one picture more, at its end.
    const std::string& firstOld = before[0].albums.front().address;
    for (const auto& [address, page] : before[0].albumPages) {
        if (address != firstOld) {
            EXPECT_EQ(after[0].albumPages.at(address), page) << address;
        }
    }
    EXPECT_EQ(Blocks(after[0].albumPages.at(firstOld), "class=\"picture").size(), 4u);

    // Pictures: every earlier one unchanged, 3 + 1 new ones.
    std::vector<std::string> added;
    for (const auto& [address, body] : after[0].pictures) {
        const auto earlier = before[0].pictures.find(address);
        if (earlier == before[0].pictures.end()) {
            added.push_back(address);
        } else {
            EXPECT_EQ(body, earlier->second) << address;
        }
    }
    EXPECT_EQ(before[0].pictures.size(), 45u);
    ASSERT_EQ(added.size(), 4u);
    const std::string extra = after[0].pictureOrder[3 + 3];  // after the new album's 3, the old first's 4th
    EXPECT_NE(std::find(added.begin(), added.end(), extra), added.end());
    std::set<std::string> allBytes;
    for (const auto& [address, body] : after[0].pictures) allBytes.insert(body);
    EXPECT_EQ(allBytes.size(), after[0].pictures.size()) << "a new picture repeats an old one";

    // Faults would hit the same pictures: they go by the order made, not listed.
    for (std::size_t i = 0; i < beforeCatalogs[0].albums.size(); ++i) {
        const auto& was = beforeCatalogs[0].albums[i].pictures;
        const auto& is = afterCatalogs[0].albums[i + 1].pictures;
        for (std::size_t j = 0; j < was.size(); ++j) EXPECT_EQ(is[j].position, was[j].position);
    }

    // The new ones are the first member's own: the second has room for them.
    EXPECT_FALSE(after[1].albumPages.contains(newest.address));
    for (const std::string& address : added) EXPECT_FALSE(after[1].pictures.contains(address)) << address;
    EXPECT_EQ(after[1].albumPages, before[1].albumPages);
    EXPECT_EQ(after[1].pictures, before[1].pictures);
    EXPECT_EQ(after[1].albums.size(), 15u);
}

// The hostile shapes at a small size: made as they go out, they still arrive
// whole, of their size and well-formed.
TEST(SampleSiteHostile, EachShapeArrivesWholeAndWellFormed) {
    constexpr std::size_t kSize = 8 << 20;
    for (Hostile shape :
         {Hostile::Bomb, Hostile::LargePage, Hostile::GzipTail, Hostile::HugePictures, Hostile::Endless}) {
        SCOPED_TRACE(static_cast<int>(shape));
        SampleSiteOptions options = SampleSiteOptions::OneAlbum(2);
        options.hostile = shape;
        options.hostileBytes = kSize;
        TestSite site;
        const SampleCatalog catalog = RegisterSampleSite(site, options);
        ProxyEnvironment proxy(site);
        Client client;
        const std::string& picture = catalog.albums[0].pictures[1].address;
        if (shape == Hostile::Bomb) {
            // Gzip even to a request that does not accept it; decoding checks the trailer.
            const Reply raw = client.get(catalog.listPageAddress(1));
            EXPECT_EQ(raw.contentEncoding, "gzip");
            EXPECT_LT(raw.body.size(), kSize / 500);
            const Reply page = client.get(catalog.listPageAddress(1), kProgramEncoding);
            EXPECT_GT(page.body.size(), kSize - (1 << 20));
            EXPECT_LE(page.body.size(), kSize);
            EXPECT_EQ(ParseAlbumList(page.body).size(), 1u);
            EXPECT_EQ(page.body.find_first_not_of(' ', page.body.find("</html>") + 8), std::string::npos);
        } else if (shape == Hostile::GzipTail) {
            const Reply raw = client.get(catalog.listPageAddress(1));
            EXPECT_EQ(raw.contentEncoding, "gzip");
            EXPECT_GT(raw.body.size(), kSize);
            EXPECT_TRUE(raw.body.starts_with("\x1f\x8b"));
        } else if (shape == Hostile::LargePage) {
            const Reply page = client.get(catalog.listPageAddress(1), kProgramEncoding);
            EXPECT_EQ(page.contentEncoding, "");
            EXPECT_EQ(page.body.size(), kSize);
            EXPECT_EQ(ParseAlbumList(page.body).size(), 1u);
        } else if (shape == Hostile::Endless) {
            // No length: only the client's stop ends it.
            const Reply reply = client.attempt(picture, nullptr, 4 * kSize);
            EXPECT_EQ(reply.result, CURLE_WRITE_ERROR);
            EXPECT_EQ(reply.status, 200);
            EXPECT_EQ(reply.contentLength, -1);
            EXPECT_EQ(reply.contentType, "image/jpeg");
            EXPECT_GE(reply.body.size(), 4 * kSize);
            EXPECT_TRUE(reply.body.starts_with("\xFF\xD8\xFF\xE0"));
        } else {
            const std::string body = client.body(picture);
            EXPECT_EQ(body.size(), kSize);
            EXPECT_TRUE(IsBaselineJpeg(body));
            EXPECT_EQ(client.body(picture), body);
            if (HaveImageMagick()) {
                EXPECT_EQ(Identify(body), "JPEG 320 240");
            }
        }
        // The rest of the member stays as it is.
        EXPECT_LT(client
                      .body(shape == Hostile::HugePictures || shape == Hostile::Endless
                                ? Absolute(catalog.albums[0].coverAddress)
                                : picture)
                      .size(),
                  64u << 10);
    }
}

}  // namespace
