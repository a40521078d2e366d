// Baseline sequential JPEG: JFIF header, three components without
// subsampling, quality-scaled example quantisation tables and the example
// Huffman tables of the JPEG standard, a plain separable float DCT.
#include "samplesite/ImageCodecs.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <numbers>

namespace lumora::samplesite {

namespace {

using Block = std::array<float, 64>;

constexpr std::uint8_t kLumaQuant[64] = {
    16, 11, 10, 16, 24,  40,  51,  61,  12, 12, 14, 19, 26,  58,  60,  55,
    14, 13, 16, 24, 40,  57,  69,  56,  14, 17, 22, 29, 51,  87,  80,  62,
    18, 22, 37, 56, 68,  109, 103, 77,  24, 35, 55, 64, 81,  104, 113, 92,
    49, 64, 78, 87, 103, 121, 120, 101, 72, 92, 95, 98, 112, 100, 103, 99};
constexpr std::uint8_t kChromaQuant[64] = {
    17, 18, 24, 47, 99, 99, 99, 99, 18, 21, 26, 66, 99, 99, 99, 99,
    24, 26, 56, 99, 99, 99, 99, 99, 47, 66, 99, 99, 99, 99, 99, 99,
    99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99,
    99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99};

struct HuffmanTable {
    std::uint8_t counts[16];  // codes of each length 1..16
    std::vector<std::uint8_t> symbols;
};

const HuffmanTable kDcLuma{{0, 1, 5, 1, 1, 1, 1, 1, 1, 0, 0, 0, 0, 0, 0, 0},
                          {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11}};
const HuffmanTable kDcChroma{{0, 3, 1, 1, 1, 1, 1, 1, 1, 1, 1, 0, 0, 0, 0, 0},
                            {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11}};
const HuffmanTable kAcLuma{
    {0, 2, 1, 3, 3, 2, 4, 3, 5, 5, 4, 4, 0, 0, 1, 0x7d},
    {0x01, 0x02, 0x03, 0x00, 0x04, 0x11, 0x05, 0x12, 0x21, 0x31, 0x41, 0x06, 0x13, 0x51, 0x61, 0x07,
     0x22, 0x71, 0x14, 0x32, 0x81, 0x91, 0xa1, 0x08, 0x23, 0x42, 0xb1, 0xc1, 0x15, 0x52, 0xd1, 0xf0,
     0x24, 0x33, 0x62, 0x72, 0x82, 0x09, 0x0a, 0x16, 0x17, 0x18, 0x19, 0x1a, 0x25, 0x26, 0x27, 0x28,
     0x29, 0x2a, 0x34, 0x35, 0x36, 0x37, 0x38, 0x39, 0x3a, 0x43, 0x44, 0x45, 0x46, 0x47, 0x48, 0x49,
     0x4a, 0x53, 0x54, 0x55, 0x56, 0x57, 0x58, 0x59, 0x5a, 0x63, 0x64, 0x65, 0x66, 0x67, 0x68, 0x69,
     0x6a, 0x73, 0x74, 0x75, 0x76, 0x77, 0x78, 0x79, 0x7a, 0x83, 0x84, 0x85, 0x86, 0x87, 0x88, 0x89,
     0x8a, 0x92, 0x93, 0x94, 0x95, 0x96, 0x97, 0x98, 0x99, 0x9a, 0xa2, 0xa3, 0xa4, 0xa5, 0xa6, 0xa7,
     0xa8, 0xa9, 0xaa, 0xb2, 0xb3, 0xb4, 0xb5, 0xb6, 0xb7, 0xb8, 0xb9, 0xba, 0xc2, 0xc3, 0xc4, 0xc5,
     0xc6, 0xc7, 0xc8, 0xc9, 0xca, 0xd2, 0xd3, 0xd4, 0xd5, 0xd6, 0xd7, 0xd8, 0xd9, 0xda, 0xe1, 0xe2,
     0xe3, 0xe4, 0xe5, 0xe6, 0xe7, 0xe8, 0xe9, 0xea, 0xf1, 0xf2, 0xf3, 0xf4, 0xf5, 0xf6, 0xf7, 0xf8,
     0xf9, 0xfa}};
const HuffmanTable kAcChroma{
    {0, 2, 1, 2, 4, 4, 3, 4, 7, 5, 4, 4, 0, 1, 2, 0x77},
    {0x00, 0x01, 0x02, 0x03, 0x11, 0x04, 0x05, 0x21, 0x31, 0x06, 0x12, 0x41, 0x51, 0x07, 0x61, 0x71,
     0x13, 0x22, 0x32, 0x81, 0x08, 0x14, 0x42, 0x91, 0xa1, 0xb1, 0xc1, 0x09, 0x23, 0x33, 0x52, 0xf0,
     0x15, 0x62, 0x72, 0xd1, 0x0a, 0x16, 0x24, 0x34, 0xe1, 0x25, 0xf1, 0x17, 0x18, 0x19, 0x1a, 0x26,
     0x27, 0x28, 0x29, 0x2a, 0x35, 0x36, 0x37, 0x38, 0x39, 0x3a, 0x43, 0x44, 0x45, 0x46, 0x47, 0x48,
     0x49, 0x4a, 0x53, 0x54, 0x55, 0x56, 0x57, 0x58, 0x59, 0x5a, 0x63, 0x64, 0x65, 0x66, 0x67, 0x68,
     0x69, 0x6a, 0x73, 0x74, 0x75, 0x76, 0x77, 0x78, 0x79, 0x7a, 0x82, 0x83, 0x84, 0x85, 0x86, 0x87,
     0x88, 0x89, 0x8a, 0x92, 0x93, 0x94, 0x95, 0x96, 0x97, 0x98, 0x99, 0x9a, 0xa2, 0xa3, 0xa4, 0xa5,
     0xa6, 0xa7, 0xa8, 0xa9, 0xaa, 0xb2, 0xb3, 0xb4, 0xb5, 0xb6, 0xb7, 0xb8, 0xb9, 0xba, 0xc2, 0xc3,
     0xc4, 0xc5, 0xc6, 0xc7, 0xc8, 0xc9, 0xca, 0xd2, 0xd3, 0xd4, 0xd5, 0xd6, 0xd7, 0xd8, 0xd9, 0xda,
     0xe2, 0xe3, 0xe4, 0xe5, 0xe6, 0xe7, 0xe8, 0xe9, 0xea, 0xf2, 0xf3, 0xf4, 0xf5, 0xf6, 0xf7, 0xf8,
     0xf9, 0xfa}};

struct Code {
    std::uint16_t bits = 0;
    std::uint8_t length = 0;
};

// Canonical codes: lengths in order, each length's codes counting up.
std::array<Code, 256> buildCodes(const HuffmanTable& table) {
    std::array<Code, 256> codes{};
    std::uint16_t code = 0;
    std::size_t k = 0;
    for (int length = 1; length <= 16; ++length) {
        for (int i = 0; i < table.counts[length - 1]; ++i) codes[table.symbols[k++]] = {code++, std::uint8_t(length)};
        code <<= 1;
    }
    return codes;
}

// zigzag[k] = natural (row-major) index of the k-th coefficient sent.
constexpr std::array<std::uint8_t, 64> makeZigzag() {
    std::array<std::uint8_t, 64> order{};
    int k = 0;
    for (int sum = 0; sum <= 14; ++sum) {
        int lo = std::max(0, sum - 7), hi = std::min(sum, 7);
        for (int i = 0; i <= hi - lo; ++i) {
            int row = (sum % 2) ? lo + i : hi - i;
            order[k++] = std::uint8_t(row * 8 + (sum - row));
        }
    }
    return order;
}
constexpr auto kZigzag = makeZigzag();

std::array<std::uint8_t, 64> scaleQuant(const std::uint8_t (&base)[64], int quality) {
    quality = std::clamp(quality, 1, 100);
    const int scale = quality < 50 ? 5000 / quality : 200 - 2 * quality;
    std::array<std::uint8_t, 64> table{};
    for (int i = 0; i < 64; ++i) table[i] = std::uint8_t(std::clamp((base[i] * scale + 50) / 100, 1, 255));
    return table;
}

class BitWriter {
public:
    explicit BitWriter(std::string& out) : out_(out) {}
    void put(std::uint32_t bits, int count) {
        for (int i = count - 1; i >= 0; --i) {
            acc_ = (acc_ << 1) | ((bits >> i) & 1);
            if (++filled_ == 8) flushByte();
        }
    }
    void put(const Code& code) { put(code.bits, code.length); }
    // Ones fill the last byte, as the standard asks.
    void finish() {
        while (filled_ != 0) put(1, 1);
    }

private:
    void flushByte() {
        out_ += char(acc_);
        if (acc_ == 0xFF) out_ += '\0';  // byte stuffing
        acc_ = 0;
        filled_ = 0;
    }
    std::string& out_;
    std::uint32_t acc_ = 0;
    int filled_ = 0;
};

struct Component {
    std::array<std::uint8_t, 64> quant;  // natural order
    const std::array<Code, 256>* dc;
    const std::array<Code, 256>* ac;
    int previousDc = 0;
};

int magnitudeBits(int value) {
    int n = 0;
    for (unsigned v = static_cast<unsigned>(std::abs(value)); v != 0; v >>= 1) ++n;
    return n;
}

void putValue(BitWriter& writer, int value, int size) {
    // Negative values are sent as value - 1 in `size` bits (one's complement).
    if (size > 0) writer.put(static_cast<std::uint32_t>(value < 0 ? value - 1 : value), size);
}

void encodeBlock(BitWriter& writer, const Block& samples, Component& component) {
    static const auto cosines = [] {
        std::array<float, 64> c{};
        for (int x = 0; x < 8; ++x)
            for (int u = 0; u < 8; ++u)
                c[x * 8 + u] = float(std::cos((2 * x + 1) * u * std::numbers::pi / 16.0) * (u == 0 ? std::sqrt(0.5) : 1.0));
        return c;
    }();
    Block rows{}, coefficients{};
    for (int y = 0; y < 8; ++y)
        for (int u = 0; u < 8; ++u) {
            float sum = 0;
            for (int x = 0; x < 8; ++x) sum += samples[y * 8 + x] * cosines[x * 8 + u];
            rows[y * 8 + u] = sum / 2;
        }
    for (int u = 0; u < 8; ++u)
        for (int v = 0; v < 8; ++v) {
            float sum = 0;
            for (int y = 0; y < 8; ++y) sum += rows[y * 8 + u] * cosines[y * 8 + v];
            coefficients[v * 8 + u] = sum / 2;
        }

    int quantised[64];
    for (int k = 0; k < 64; ++k) {
        int natural = kZigzag[k];
        // Within ten bits, so DC differences and AC values stay within the tables.
        quantised[k] = std::clamp(int(std::lround(coefficients[natural] / component.quant[natural])), -1023, 1023);
    }

    const int diff = quantised[0] - component.previousDc;
    component.previousDc = quantised[0];
    const int dcSize = magnitudeBits(diff);
    writer.put((*component.dc)[dcSize]);
    putValue(writer, diff, dcSize);

    int run = 0;
    for (int k = 1; k < 64; ++k) {
        if (quantised[k] == 0) {
            ++run;
            continue;
        }
        for (; run >= 16; run -= 16) writer.put((*component.ac)[0xF0]);
        const int size = magnitudeBits(quantised[k]);
        writer.put((*component.ac)[(run << 4) | size]);
        putValue(writer, quantised[k], size);
        run = 0;
    }
    if (run > 0) writer.put((*component.ac)[0x00]);
}

void putBig16(std::string& out, std::size_t value) {
    out += char((value >> 8) & 0xFF);
    out += char(value & 0xFF);
}

void putMarker(std::string& out, std::uint8_t marker, std::size_t payloadSize) {
    out += '\xFF';
    out += char(marker);
    putBig16(out, payloadSize + 2);
}

void putHuffmanTable(std::string& out, int tableClassAndId, const HuffmanTable& table) {
    out += char(tableClassAndId);
    out.append(reinterpret_cast<const char*>(table.counts), 16);
    out.append(table.symbols.begin(), table.symbols.end());
}

constexpr std::size_t kMaxSegmentPayload = 65533;

// COM segments of filler bringing `out` (plus `rest` bytes still to come)
// up to `padTo` where four-byte segment headers allow it.
void putPadding(std::string& out, std::size_t rest, std::size_t padTo, std::uint32_t seed) {
    std::size_t missing = padTo > out.size() + rest ? padTo - out.size() - rest : 0;
    while (missing >= 4) {
        std::size_t payload = std::min(missing - 4, kMaxSegmentPayload);
        std::size_t left = missing - 4 - payload;
        if (left > 0 && left < 4) payload -= 4 - left;  // leave room for a last whole header
        putMarker(out, 0xFE, payload);
        out += FillerBytes(payload, seed++);
        missing -= payload + 4;
    }
}

}  // namespace

std::string EncodeJpeg(const RgbImage& image, int quality, std::size_t padTo) {
    static const auto dcLuma = buildCodes(kDcLuma), acLuma = buildCodes(kAcLuma);
    static const auto dcChroma = buildCodes(kDcChroma), acChroma = buildCodes(kAcChroma);
    Component components[3] = {{scaleQuant(kLumaQuant, quality), &dcLuma, &acLuma},
                               {scaleQuant(kChromaQuant, quality), &dcChroma, &acChroma},
                               {scaleQuant(kChromaQuant, quality), &dcChroma, &acChroma}};

    std::string headers;
    headers += "\xFF\xD8";
    putMarker(headers, 0xE0, 14);
    headers += std::string("JFIF\0\x01\x01\x00\x00\x01\x00\x01\x00\x00", 14);

    putMarker(headers, 0xDB, 2 * 65);
    for (int id = 0; id < 2; ++id) {
        headers += char(id);  // 8-bit precision, table id
        for (int k = 0; k < 64; ++k) headers += char(components[id].quant[kZigzag[k]]);
    }

    putMarker(headers, 0xC0, 15);
    headers += '\x08';
    putBig16(headers, image.height);
    putBig16(headers, image.width);
    headers += '\x03';
    headers += std::string("\x01\x11\x00\x02\x11\x01\x03\x11\x01", 9);

    putMarker(headers, 0xC4, 4 * 17 + kDcLuma.symbols.size() + kAcLuma.symbols.size() +
                                 kDcChroma.symbols.size() + kAcChroma.symbols.size());
    putHuffmanTable(headers, 0x00, kDcLuma);
    putHuffmanTable(headers, 0x10, kAcLuma);
    putHuffmanTable(headers, 0x01, kDcChroma);
    putHuffmanTable(headers, 0x11, kAcChroma);

    putMarker(headers, 0xDA, 10);
    headers += std::string("\x03\x01\x00\x02\x11\x03\x11\x00\x3F\x00", 10);

    std::string scan;
    BitWriter writer(scan);
    Block blocks[3];
    for (int by = 0; by < image.height; by += 8)
        for (int bx = 0; bx < image.width; bx += 8) {
            for (int y = 0; y < 8; ++y)
                for (int x = 0; x < 8; ++x) {
                    // Edge blocks repeat the last row and column.
                    const std::uint8_t* p = image.at(std::min(bx + x, image.width - 1), std::min(by + y, image.height - 1));
                    const float r = p[0], g = p[1], b = p[2];
                    blocks[0][y * 8 + x] = 0.299f * r + 0.587f * g + 0.114f * b - 128;
                    blocks[1][y * 8 + x] = -0.168736f * r - 0.331264f * g + 0.5f * b;
                    blocks[2][y * 8 + x] = 0.5f * r - 0.418688f * g - 0.081312f * b;
                }
            for (int c = 0; c < 3; ++c) encodeBlock(writer, blocks[c], components[c]);
        }
    writer.finish();

    // Padding goes between the header segments and the frame, where every
    // decoder expects and skips comments.
    std::string out = headers.substr(0, 20);
    putPadding(out, headers.size() - 20 + scan.size() + 2, padTo, image.width * 131u + image.height);
    out.append(headers, 20);
    out += scan;
    out += "\xFF\xD9";
    return out;
}

}  // namespace lumora::samplesite
