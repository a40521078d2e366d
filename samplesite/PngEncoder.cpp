#include "samplesite/ImageCodecs.h"

#include <zlib.h>

#include <array>
#include <stdexcept>

namespace lumora::samplesite {

namespace {

constexpr std::size_t kChunkOverhead = 12;  // length, type, CRC

void putBig32(std::string& out, std::uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8) out += char((value >> shift) & 0xFF);
}

void appendChunk(std::string& out, const char (&type)[5], std::string_view data) {
    putBig32(out, static_cast<std::uint32_t>(data.size()));
    std::string body(type, 4);
    body.append(data);
    out += body;
    putBig32(out, Crc32(body));
}

}  // namespace

std::uint32_t Crc32(std::string_view data, std::uint32_t crc) {
    static const auto table = [] {
        std::array<std::uint32_t, 256> t{};
        for (std::uint32_t n = 0; n < 256; ++n) {
            std::uint32_t c = n;
            for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            t[n] = c;
        }
        return t;
    }();
    crc = ~crc;
    for (unsigned char byte : data) crc = table[(crc ^ byte) & 0xFF] ^ (crc >> 8);
    return ~crc;
}

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

std::string EncodePng(const RgbImage& image, std::size_t padTo) {
    // Filter type 0 on every row: the gradients compress well enough as they are.
    const std::size_t rowBytes = std::size_t(image.width) * 3;
    std::string raw;
    raw.reserve((rowBytes + 1) * image.height);
    for (int y = 0; y < image.height; ++y) {
        raw += '\0';
        raw.append(reinterpret_cast<const char*>(image.at(0, y)), rowBytes);
    }
    uLongf packedSize = compressBound(static_cast<uLong>(raw.size()));
    std::string packed(packedSize, '\0');
    if (compress2(reinterpret_cast<Bytef*>(packed.data()), &packedSize,
                  reinterpret_cast<const Bytef*>(raw.data()), static_cast<uLong>(raw.size()), 6) != Z_OK)
        throw std::runtime_error("PNG: compress2 failed");
    packed.resize(packedSize);

    std::string header;
    putBig32(header, static_cast<std::uint32_t>(image.width));
    putBig32(header, static_cast<std::uint32_t>(image.height));
    header += std::string("\x08\x02\x00\x00\x00", 5);  // 8 bits, truecolour, deflate, no filter set, no interlace

    std::string out("\x89PNG\r\n\x1a\n", 8);
    appendChunk(out, "IHDR", header);
    appendChunk(out, "IDAT", packed);
    // "lmPd": ancillary, private, safe to copy; decoders skip it.
    const std::size_t natural = out.size() + kChunkOverhead;
    if (padTo >= natural + kChunkOverhead)
        appendChunk(out, "lmPd", FillerBytes(padTo - natural - kChunkOverhead, image.width * 31u + image.height));
    appendChunk(out, "IEND", {});
    return out;
}

}  // namespace lumora::samplesite
