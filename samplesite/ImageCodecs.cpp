#include "samplesite/ImageCodecs.h"

#include <jpeglib.h>
#include <png.h>
#include <zlib.h>

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>

namespace lumora::samplesite {

namespace {

void putBig32(std::string& out, std::uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8) out += char((value >> shift) & 0xFF);
}

// libjpeg's default error handler exits the process; this one jumps back.
struct JpegError {
    jpeg_error_mgr manager;
    std::jmp_buf jump;
};

[[noreturn]] void jumpOnJpegError(j_common_ptr info) { std::longjmp(reinterpret_cast<JpegError*>(info->err)->jump, 1); }

std::string compressJpeg(const RgbImage& image, int quality) {
    jpeg_compress_struct info{};
    JpegError error{};
    info.err = jpeg_std_error(&error.manager);
    error.manager.error_exit = jumpOnJpegError;
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    // Nothing with a destructor lives between here and the last libjpeg call.
    if (setjmp(error.jump)) {
        jpeg_destroy_compress(&info);
        std::free(buffer);
        throw std::runtime_error("JPEG encoding failed");
    }
    jpeg_create_compress(&info);
    jpeg_mem_dest(&info, &buffer, &size);
    info.image_width = static_cast<JDIMENSION>(image.width);
    info.image_height = static_cast<JDIMENSION>(image.height);
    info.input_components = 3;
    info.in_color_space = JCS_RGB;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, quality, TRUE);
    // Full-resolution colour, so the thin stripes and the label keep their edges.
    for (int c = 0; c < 3; ++c) info.comp_info[c].h_samp_factor = info.comp_info[c].v_samp_factor = 1;
    jpeg_start_compress(&info, TRUE);
    while (info.next_scanline < info.image_height) {
        JSAMPROW row = const_cast<JSAMPROW>(image.at(0, static_cast<int>(info.next_scanline)));
        jpeg_write_scanlines(&info, &row, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    std::string out(reinterpret_cast<const char*>(buffer), size);
    std::free(buffer);
    return out;
}

}  // namespace

std::string FillerBytes(std::size_t count, std::uint32_t seed) {
    static constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out(count, '\0');
    std::uint32_t state = seed * 2654435761u + 0x9E3779B9u;
    for (auto& c : out) {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        c = kAlphabet[state & 63];
    }
    return out;
}

std::string JpegCommentSegments(std::uint64_t bytes, std::uint32_t seed) {
    constexpr std::uint64_t kLargest = 4 + 65533;
    std::string out;
    while (bytes >= 4) {
        std::uint64_t take = std::min(bytes, kLargest);
        const std::uint64_t left = bytes - take;
        if (left > 0 && left < 4) take -= 4 - left;  // room for a last whole segment
        const std::size_t payload = static_cast<std::size_t>(take - 4);
        out += "\xFF\xFE";
        out += char((payload + 2) >> 8);
        out += char((payload + 2) & 0xFF);
        out += FillerBytes(payload, seed++);
        bytes -= take;
    }
    return out;
}

std::string EncodeJpeg(const RgbImage& image, int quality, std::size_t padTo) {
    std::string plain = compressJpeg(image, quality);
    if (plain.compare(0, 4, "\xFF\xD8\xFF\xE0") != 0 || plain.size() < kJpegHeadBytes)
        throw std::runtime_error("JPEG: no JFIF header where padding goes");
    if (padTo <= plain.size()) return plain;
    std::string out = plain.substr(0, kJpegHeadBytes);
    out += JpegCommentSegments(padTo - plain.size(), image.width * 131u + image.height);
    out.append(plain, kJpegHeadBytes);
    return out;
}

std::string EncodePng(const RgbImage& image, std::size_t padTo) {
    png_image png{};
    png.version = PNG_IMAGE_VERSION;
    png.width = static_cast<png_uint_32>(image.width);
    png.height = static_cast<png_uint_32>(image.height);
    png.format = PNG_FORMAT_RGB;
    png_alloc_size_t size = PNG_IMAGE_PNG_SIZE_MAX(png);
    std::string out(size, '\0');
    if (!png_image_write_to_memory(&png, out.data(), &size, 0, image.pixels.data(), 0, nullptr)) {
        const std::string message = std::string("PNG encoding failed: ") + png.message;
        png_image_free(&png);
        throw std::runtime_error(message);
    }
    out.resize(size);

    // "lmPd", ancillary, private and safe to copy, goes just before IEND
    // (the last 12 bytes); decoders skip it.
    constexpr std::size_t kChunkOverhead = 12;  // length, type, CRC
    if (padTo < out.size() + kChunkOverhead) return out;
    std::string chunk = "lmPd" + FillerBytes(padTo - out.size() - kChunkOverhead, image.width * 31u + image.height);
    std::string framed;
    putBig32(framed, static_cast<std::uint32_t>(chunk.size() - 4));
    framed += chunk;
    putBig32(framed, static_cast<std::uint32_t>(
                         crc32(0, reinterpret_cast<const Bytef*>(chunk.data()), static_cast<uInt>(chunk.size()))));
    out.insert(out.size() - kChunkOverhead, framed);
    return out;
}

}  // namespace lumora::samplesite
