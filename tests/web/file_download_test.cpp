// Picture downloads: fallback address, empty bodies, size window, previews.
#include "web/FileDownload.h"
#include "web_test_support.h"

namespace lumora::testing {
namespace {

using testsite::Response;

class FileDownloadTest : public WebTest {
protected:
    FetchRequest PictureRequest(const std::string& target) {
        FetchRequest request(u"", WidePath(target), 20000);
        request.readTimeoutMs = 5000;
        request.retryDelaySeconds = 0;
        return request;
    }
};

TEST_F(FileDownloadTest, SplitsEntries) {
    PictureAddresses two = SplitPictureEntry(u"http://a/1.jpg\r\nhttp://b/1.jpg");
    EXPECT_EQ(two.first, u"http://a/1.jpg");
    EXPECT_EQ(two.second, u"http://b/1.jpg");
    PictureAddresses one = SplitPictureEntry(u"http://a/1.jpg");
    EXPECT_EQ(one.first, u"http://a/1.jpg");
    EXPECT_TRUE(one.second.empty());
}

TEST_F(FileDownloadTest, EmptyFirstAddressFallsBackToTheSecond) {
    site_.route("", "/empty.jpg", Response::Text("", "image/jpeg"));
    site_.route("", "/real.jpg", Response::Text("JPEGDATA", "image/jpeg"));
    FetchRequest request = PictureRequest("1.jpg");
    FetchResult result;
    EXPECT_TRUE(DownloadToFile(request, result, Url("/empty.jpg") + u"\r\n" + Url("/real.jpg")));
    EXPECT_EQ(ReadFile(Path("1.jpg")), "JPEGDATA");
    EXPECT_EQ(site_.requestCount("/empty.jpg"), 1u);
    EXPECT_EQ(site_.requestCount("/real.jpg"), 1u);
}

TEST_F(FileDownloadTest, EmptyBodyWithoutFallbackLeavesAnEmptyFile) {
    site_.route("", "/empty.jpg", Response::Text("", "image/jpeg"));
    FetchRequest request = PictureRequest("2.jpg");
    FetchResult result;
    EXPECT_TRUE(DownloadToFile(request, result, Url("/empty.jpg")));
    ASSERT_TRUE(std::filesystem::exists(Path("2.jpg")));
    EXPECT_EQ(std::filesystem::file_size(Path("2.jpg")), 0u);
}

TEST_F(FileDownloadTest, PictureBelowTheMinimumIsNeverSaved) {
    site_.route("", "/small.jpg", Response::Text(std::string(4096, 'j'), "image/jpeg"));
    site_.route("", "/big.jpg", Response::Text(std::string(8192, 'J'), "image/jpeg"));
    FetchRequest request = PictureRequest("3.jpg");
    request.minSizeKB = 5;
    FetchResult result;
    EXPECT_FALSE(DownloadToFile(request, result, Url("/small.jpg")));
    EXPECT_FALSE(std::filesystem::exists(Path("3.jpg")));
    EXPECT_EQ(result.error, FetchError::SizeWindow);  // not the empty second address

    EXPECT_TRUE(DownloadToFile(request, result, Url("/small.jpg") + u"\r\n" + Url("/big.jpg")));
    EXPECT_EQ(std::filesystem::file_size(Path("3.jpg")), 8192u);
}

TEST_F(FileDownloadTest, ErrorStatusSavesNothing) {
    site_.route("", "/missing.jpg", Response::Status(404, "<html>not found</html>"));
    FetchRequest request = PictureRequest("4.jpg");
    FetchResult result;
    EXPECT_FALSE(DownloadToFile(request, result, Url("/missing.jpg")));
    EXPECT_EQ(FileCount(), 0u);
}

TEST_F(FileDownloadTest, GzipPictureIsSavedAsReceived) {
    Response answer = Response::Text("PICTURE", "image/jpeg").Header("Content-Encoding", "gzip");
    answer.encoding = testsite::BodyEncoding::Gzip;
    site_.route("", "/gz.jpg", answer);
    FetchRequest request = PictureRequest("5.jpg");
    FetchResult result;
    EXPECT_TRUE(DownloadToFile(request, result, Url("/gz.jpg")));
    EXPECT_EQ(ReadFile(Path("5.jpg")), testsite::GzipCompress("PICTURE"));
}

TEST_F(FileDownloadTest, CoverPreview) {
    site_.route("", "/cover.jpg", Response::Text("COVER", "image/jpeg"));
    EXPECT_TRUE(DownloadPreviewImage(Url("/cover.jpg"), Path("0.jpg")));
    EXPECT_EQ(ReadFile(Path("0.jpg")), "COVER");
    EXPECT_FALSE(DownloadPreviewImage(Url("/none.jpg"), Path("1.jpg")));
    EXPECT_FALSE(std::filesystem::exists(Path("1.jpg")));
}

}  // namespace
}  // namespace lumora::testing
