// Page text: inflation, marker cut after inflation, charset choice and entities.
#include "web/PageText.h"
#include "web_test_support.h"

namespace lumora::testing {
namespace {

using testsite::BodyEncoding;
using testsite::Response;

// A FetchResult as a transaction would leave it.
FetchResult Fetched(std::string body, std::u16string headers, bool compressed) {
    FetchResult result;
    result.body = std::move(body);
    result.rawHeaders = std::move(headers);
    result.compressed = compressed;
    return result;
}

const std::string kChineseUtf8 = "\xE5\xA4\xAA\xE5\xB9\xB3\xE6\xB4\x8B";  // 太平洋
const std::string kChineseGbk = "\xCC\xAB\xC6\xBD\xD1\xF3";
const std::u16string kChinese = u"太平洋";

TEST(InflateDataTest, GzipZlibAndDamagedStreams) {
    const std::string page(50000, 'x');
    std::string out;
    EXPECT_TRUE(InflateData(testsite::GzipCompress(page).data(), testsite::GzipCompress(page).size(), out));
    EXPECT_EQ(out, page);

    out.clear();
    std::string zlib = testsite::ZlibCompress(page);
    EXPECT_TRUE(InflateData(zlib.data(), zlib.size(), out));
    EXPECT_EQ(out, page);

    // Cut short: false, but what inflated is kept.
    std::string text;
    for (int i = 0; i < 3000; ++i) text += "line " + std::to_string(i) + "\n";
    std::string gzip = testsite::GzipCompress(text);
    out.clear();
    EXPECT_FALSE(InflateData(gzip.data(), gzip.size() / 2, out));
    EXPECT_FALSE(out.empty());
    EXPECT_EQ(text.compare(0, out.size(), out), 0);

    out.clear();
    EXPECT_FALSE(InflateData("not compressed", 14, out));
}

TEST(GetPageTextTest, InflatesOnlyWhenAskedAndMarkedCompressed) {
    const std::string page = "<p>" + kChineseUtf8 + "</p>";
    FetchResult gz = Fetched(testsite::GzipCompress(page), u"HTTP/1.1 200 OK\r\nContent-Encoding: gzip\r\n\r\n", true);
    EXPECT_EQ(GetPageText(gz, TEXT_INFLATE | TEXT_UTF8), u"<p>" + kChinese + u"</p>");
    // Without TEXT_INFLATE the compressed bytes are read as they are.
    EXPECT_NE(GetPageText(gz, TEXT_UTF8), u"<p>" + kChinese + u"</p>");

    // Never inflated when the headers do not mention gzip.
    FetchResult deflate =
        Fetched(testsite::ZlibCompress(page), u"HTTP/1.1 200 OK\r\nContent-Encoding: deflate\r\n\r\n", false);
    EXPECT_NE(GetPageText(deflate, TEXT_INFLATE | TEXT_UTF8), u"<p>" + kChinese + u"</p>");
    // A zlib body is recognised when "gzip" appears anywhere in the headers.
    FetchResult zlib = Fetched(testsite::ZlibCompress(page), u"HTTP/1.1 200 OK\r\nX-Via: gzip-proxy\r\n\r\n", true);
    EXPECT_EQ(GetPageText(zlib, TEXT_INFLATE | TEXT_UTF8), u"<p>" + kChinese + u"</p>");
}

TEST(GetPageTextTest, MarkersCutCompressedPagesAfterInflation) {
    FetchResult gz = Fetched(testsite::GzipCompress("a<B>b<B>keep<E>c"), u"Content-Encoding: gzip\r\n", true);
    gz.beginMarker = "<B>";
    gz.endMarker = "<E>";
    EXPECT_EQ(GetPageText(gz, TEXT_INFLATE | TEXT_UTF8), u"keep");
    // Uncompressed bodies were cut while streaming; they are left alone here.
    FetchResult plain = Fetched("a<B>b<E>c", u"HTTP/1.1 200 OK\r\n", false);
    plain.beginMarker = "<B>";
    plain.endMarker = "<E>";
    EXPECT_EQ(GetPageText(plain, TEXT_UTF8), u"a<B>b<E>c");

    // A truncated stream still gives the text that inflated.
    std::string text = "<html>" + std::string(20000, 'y') + "</html>";
    std::string gzip = testsite::GzipCompress(text);
    FetchResult cut = Fetched(gzip.substr(0, gzip.size() - 8), u"gzip", true);
    std::u16string got = GetPageText(cut, TEXT_INFLATE | TEXT_UTF8);
    EXPECT_TRUE(got.starts_with(u"<html>yyy"));
}

TEST(GetPageTextTest, CharsetChoice) {
    // "charset=GBK" in the headers overrides TEXT_UTF8; other spellings do not.
    EXPECT_EQ(GetPageText(Fetched(kChineseGbk, u"Content-Type: text/html; charset=GBK\r\n", false), TEXT_UTF8),
              kChinese);
    EXPECT_NE(GetPageText(Fetched(kChineseGbk, u"Content-Type: text/html; charset=gbk\r\n", false), TEXT_UTF8),
              kChinese);
    EXPECT_EQ(GetPageText(Fetched(kChineseGbk, u"Content-Type: text/html; charset=gbk\r\n", false), 0), kChinese);

    // TEXT_AUTO: ASCII and GBK take the GBK route, well-formed UTF-8 the UTF-8 route.
    EXPECT_EQ(GetPageText(Fetched("plain ascii", u"", false), TEXT_AUTO), u"plain ascii");
    EXPECT_EQ(GetPageText(Fetched(kChineseUtf8, u"", false), TEXT_AUTO), kChinese);
    EXPECT_EQ(GetPageText(Fetched(kChineseGbk, u"", false), TEXT_AUTO), kChinese);

    // Big5 and the Korean code page.
    EXPECT_EQ(GetPageText(Fetched("\xA4\xA4\xA4\xE5", u"", false), TEXT_BIG5), u"中文");
    EXPECT_EQ(GetPageText(Fetched("\xC7\xD1\xB1\xB9", u"", false), TEXT_EUCKR), u"한국");

    // GBK conversion stops at the first zero byte.
    EXPECT_EQ(GetPageText(Fetched(std::string("ab\0cd", 5), u"", false), 0), u"ab");
}

TEST(GetPageTextTest, DecodesEntities) {
    EXPECT_EQ(GetPageText(Fetched("a&amp;lt;b &quot;x&quot; &#39;y&#39;&nbsp;z", u"", false), TEXT_UTF8),
              u"a<b \"x\" 'y' z");
    // Kept for parsers that decode each attribute value once it is cut out.
    EXPECT_EQ(GetPageText(Fetched("title=\"say &quot;hi&quot;\" &#x27;", u"", false), TEXT_UTF8 | TEXT_KEEP_ENTITIES),
              u"title=\"say &quot;hi&quot;\" &#x27;");
}

class PageTextOverHttp : public WebTest {};

TEST_F(PageTextOverHttp, GzipPageFromTheServer) {
    const std::string page = "<title>" + kChineseUtf8 + " &amp; more</title>";
    Response answer = Response::Text(page).Header("Content-Encoding", "gzip");
    answer.encoding = BodyEncoding::Gzip;
    site_.route("", "/list.html", answer);
    FetchRequest request(Url("/list.html"), u"", 5000);
    request.extraHeaders = u"Accept-Encoding: gzip, deflate";
    FetchResult result;
    ASSERT_TRUE(FetchPage(request, result, 0));
    EXPECT_EQ(GetPageText(result, TEXT_INFLATE | TEXT_UTF8), u"<title>" + kChinese + u" & more</title>");
    EXPECT_EQ(site_.requests().back().header("Accept-Encoding"), "gzip, deflate");
}

}  // namespace
}  // namespace lumora::testing
