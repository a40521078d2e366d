// A saved body must be a picture: a page sent with status 200, a part nobody
// asked for, two lengths, a JPEG or PNG that stops short are not kept.
#include <atomic>

#include "web/PictureCheck.h"
#include "web/Retry.h"
#include "web_test_support.h"

namespace lumora::testing {
namespace {

using testsite::Request;
using testsite::Response;

const std::string kJpeg = std::string("\xFF\xD8\xFF\xE0\x00\x04JF\xFF\xDA\x00\x02scan data\xFF\xD9", 23);
const std::string kPng = std::string("\x89PNG\r\n\x1a\n\0\0\0\x01IHDRx\0\0\0\0\0\0\0\0IEND\xAE\x42\x60\x82", 33);

class PictureCheckTest : public WebTest {
protected:
    // `first` answers the first request, then the whole picture; true when saved.
    bool SaveAfter(const std::string& path, Response first, unsigned retries = 1) {
        auto answers = std::make_shared<std::atomic<int>>(0);
        site_.route("", path, [answers, first](const Request&) {
            return (*answers)++ == 0 ? first : Response::Text(kJpeg, "image/jpeg");
        });
        FetchRequest request(Url(path), WidePath("saved.jpg"), 5000);
        request.retries = static_cast<std::uint8_t>(retries);
        request.retryDelaySeconds = 0;
        return FetchPage(request, result_, FETCH_INFLATE | FETCH_CACHED);
    }

    FetchResult result_;
};

TEST_F(PictureCheckTest, WhatIsNoWholePictureIsNotKeptAndAPassingFaultIsRetried) {
    Response part = Response::Text(kJpeg, "image/jpeg");
    part.status = 206;
    Response lengths = Response::Text(kJpeg, "image/jpeg");
    lengths.Header("Content-Length", "4");
    const std::string cutJpeg = kJpeg.substr(0, kJpeg.size() - 2);
    const std::string cutPng = kPng.substr(0, 20);
    const std::pair<const char*, Response> passing[] = {
        {"/part", part},
        {"/lengths", lengths},
        {"/cut.jpg", Response::Text(cutJpeg, "image/jpeg")},
        {"/cut.png", Response::Text(cutPng, "image/png")},
    };
    for (const auto& [path, first] : passing) {
        SCOPED_TRACE(path);
        EXPECT_TRUE(SaveAfter(path, first));
        EXPECT_EQ(site_.requestCount(path), 2u);
        EXPECT_EQ(ReadFile(Path("saved.jpg")), kJpeg);
        EXPECT_FALSE(SaveAfter(path + std::string("-0"), first, 0));
        EXPECT_TRUE(IsTransient(result_.error, result_.httpStatus));
        std::filesystem::remove(Path("saved.jpg"));
        EXPECT_EQ(FileCount(), 0u);
    }
    EXPECT_EQ(FetchErrorMessage(FetchError::BadResponse), u"回应不完整");
    EXPECT_EQ(FetchErrorMessage(FetchError::CutPicture), u"图片不完整");

    // A page where a picture was asked for, as CDNs answer for removed pictures: no retry.
    int page = 0;
    for (const char* body : {"  <!DOCTYPE html><html>gone</html>", "{\"error\":\"not found\"}", "[]"}) {
        SCOPED_TRACE(body);
        EXPECT_FALSE(SaveAfter("/page" + std::to_string(++page), Response::Text(body, "text/html; charset=utf-8")));
        EXPECT_EQ(result_.error, FetchError::NotPicture);
        EXPECT_EQ(FetchErrorMessage(result_.error), u"不是图片（服务器返回了网页）");
        EXPECT_EQ(FileCount(), 0u);
    }
    // Pictures of other kinds, and text said to be a picture, stay as they were.
    EXPECT_TRUE(SaveAfter("/gif", Response::Text("GIF89a....", "image/gif")));
    EXPECT_TRUE(SaveAfter("/untyped", Response::Text("<svg/>", "image/svg+xml")));
    EXPECT_TRUE(SaveAfter("/empty", Response::Text("", "image/jpeg")));
}

TEST(PictureEndCheckTest, FollowsTheStructureNotTheFirstEndMarker) {
    // An end marker inside a thumbnail (an APP1 segment) is skipped by the segment's length.
    const std::string thumbnail = std::string("\xFF\xE1\x00\x06", 4) + std::string("\xFF\xD9", 2);
    const std::string withThumbnail =
        std::string("\xFF\xD8", 2) + thumbnail + std::string("\xFF\xDA\x00\x02", 4) + "data\xFF\x00more";
    PictureEndCheck cut;
    cut.Feed(withThumbnail);
    EXPECT_EQ(cut.kind(), PictureEndCheck::Kind::Jpeg);
    EXPECT_TRUE(cut.Cut());
    // Fed in pieces of one byte, with a restart marker in the scan and bytes after the end.
    PictureEndCheck whole;
    for (char byte : withThumbnail + "\xFF\xD0" + "x\xFF\xD9" + "trailer") whole.Feed(std::string_view(&byte, 1));
    EXPECT_FALSE(whole.Cut());
    PictureEndCheck png;
    png.Feed(kPng.substr(0, 10));
    EXPECT_TRUE(png.Cut());
    png.Feed(kPng.substr(10));
    EXPECT_FALSE(png.Cut());
    PictureEndCheck other;
    other.Feed("GIF89a");
    EXPECT_EQ(other.kind(), PictureEndCheck::Kind::Other);
    EXPECT_FALSE(other.Cut());
}

}  // namespace
}  // namespace lumora::testing
