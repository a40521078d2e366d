#include "samplesite/ImageCodecs.h"
#include "samplesite/SamplePictures.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>

#include "samplesite/image_checks.h"

using namespace lumora::samplesite;
using namespace lumora::samplesite::testing;

namespace {

// Mean absolute difference per channel between a picture and decoded RGB.
double MeanError(const RgbImage& image, const std::string& rgb) {
    double total = 0;
    for (std::size_t i = 0; i < image.pixels.size(); ++i) total += std::abs(int(image.pixels[i]) - int(std::uint8_t(rgb[i])));
    return total / double(image.pixels.size());
}

TEST(ImageCodecs, PngIsValidAndHoldsThePixelsExactly) {
    EXPECT_EQ(Crc32("123456789"), 0xCBF43926u);

    const RgbImage image = DrawSamplePicture(7, 3, 41, 23);
    for (std::size_t padTo : {std::size_t(0), std::size_t(30000)}) {
        SCOPED_TRACE(padTo);
        const std::string png = EncodePng(image, padTo);
        PngInfo info;
        ASSERT_TRUE(ParsePng(png, info));
        EXPECT_EQ(info.width, 41);
        EXPECT_EQ(info.height, 23);
        for (int y = 0; y < 23; ++y) {
            const std::size_t row = std::size_t(y) * (41 * 3 + 1);
            ASSERT_EQ(info.pixels[row], '\0');
            ASSERT_EQ(info.pixels.compare(row + 1, 41 * 3, reinterpret_cast<const char*>(image.at(0, y)), 41 * 3), 0);
        }
        if (padTo) {
            EXPECT_EQ(png.size(), padTo);
        }
    }
}

TEST(ImageCodecs, JpegIsBaselineAndDecodesCloseToTheSource) {
    // Odd sizes exercise the partial blocks at the right and bottom edges.
    const RgbImage image = DrawSamplePicture(12, 5, 75, 45);
    const std::string plain = EncodeJpeg(image);
    const std::string padded = EncodeJpeg(image, 85, 150 * 1024);
    ASSERT_TRUE(IsBaselineJpeg(plain));
    ASSERT_TRUE(IsBaselineJpeg(padded));
    EXPECT_LT(plain.size(), 20000u);
    EXPECT_EQ(padded.size(), 150u * 1024);

    if (!HaveImageMagick()) GTEST_SKIP() << "ImageMagick is not installed";
    EXPECT_EQ(Identify(plain), "JPEG 75 45");
    const auto decoded = DecodeToRgb(plain);
    ASSERT_TRUE(decoded.has_value());
    ASSERT_EQ(decoded->size(), image.pixels.size());
    // A wrong coefficient order, table or colour transform still decodes,
    // but far from the source.
    EXPECT_LT(MeanError(image, *decoded), 6.0);
    EXPECT_EQ(DecodeToRgb(padded), decoded) << "padding changed the picture";
}

}  // namespace
