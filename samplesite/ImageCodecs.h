// Minimal encoders for the sample site's pictures: PNG (truecolour, zlib)
// and baseline JPEG (YCbCr 4:4:4, standard Huffman tables). Both can pad
// their output with ignorable data so a picture reaches a wanted size.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
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

// CRC-32 as PNG chunks use it (reflected, polynomial 0xEDB88320).
std::uint32_t Crc32(std::string_view data, std::uint32_t crc = 0);

// When `padTo` exceeds the natural size, ancillary data fills the file up to
// about that many bytes; it never shrinks a picture.
std::string EncodePng(const RgbImage& image, std::size_t padTo = 0);
std::string EncodeJpeg(const RgbImage& image, int quality = 85, std::size_t padTo = 0);

// Filler for padding: printable, deterministic per seed, poorly compressible.
std::string FillerBytes(std::size_t count, std::uint32_t seed);

}  // namespace lumora::samplesite
