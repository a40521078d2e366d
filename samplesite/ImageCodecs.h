// The sample site's pictures as JPEG (libjpeg, baseline, no chroma
// subsampling) and PNG (libpng, 8-bit truecolour). Both can pad their output
// with data decoders skip, so a picture reaches a wanted size.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace lumora::samplesite {

struct RgbImage {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> pixels;  // width * height * 3, row by row

    RgbImage() = default;
    RgbImage(int w, int h) : width(w), height(h), pixels(std::size_t(w) * h * 3) {}
    std::uint8_t* at(int x, int y) { return &pixels[(std::size_t(y) * width + x) * 3]; }
    const std::uint8_t* at(int x, int y) const { return &pixels[(std::size_t(y) * width + x) * 3]; }
};

// When `padTo` exceeds the natural size, ancillary data fills the file up to
// exactly that many bytes (a PNG chunk or JPEG comments); it never shrinks a
// picture.
std::string EncodePng(const RgbImage& image, std::size_t padTo = 0);
std::string EncodeJpeg(const RgbImage& image, int quality = 85, std::size_t padTo = 0);

// A JPEG's start of image and JFIF header: padding goes right after them,
// where every decoder expects and skips comments.
constexpr std::size_t kJpegHeadBytes = 20;

// JPEG comment segments of exactly `bytes` in all (none below 4 bytes, the
// least a segment takes).
std::string JpegCommentSegments(std::uint64_t bytes, std::uint32_t seed);

// Filler for padding: printable, deterministic per seed, poorly compressible.
std::string FillerBytes(std::size_t count, std::uint32_t seed);

}  // namespace lumora::samplesite
