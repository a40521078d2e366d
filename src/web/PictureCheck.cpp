#include "web/PictureCheck.h"

#include <algorithm>
#include <cstring>

namespace lumora {
namespace {

constexpr std::uint8_t kPngSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};

// Markers that stand alone, without a length: TEM, RSTn, SOI and EOI.
bool StandsAlone(std::uint8_t code) { return code == 0x01 || (code >= 0xD0 && code <= 0xD9); }

}  // namespace

std::optional<bool> StartsAsPage(std::string_view bytes) {
    const std::size_t first = bytes.find_first_not_of(" \t\r\n\f\v");
    if (first == std::string_view::npos) return std::nullopt;
    return bytes[first] == '<' || bytes[first] == '{' || bytes[first] == '[';
}

void PictureEndCheck::Feed(std::string_view bytes) {
    std::size_t i = 0;
    while (kind_ == Kind::Unknown && i < bytes.size()) {
        head_[headLength_++] = static_cast<std::uint8_t>(bytes[i++]);
        if (headLength_ == 2 && head_[0] == 0xFF && head_[1] == 0xD8) {
            kind_ = Kind::Jpeg;
        } else if (headLength_ == 8) {
            kind_ = std::memcmp(head_, kPngSignature, 8) == 0 ? Kind::Png : Kind::Other;
        } else if (std::memcmp(head_, kPngSignature, headLength_) != 0 && !(headLength_ == 1 && head_[0] == 0xFF)) {
            kind_ = Kind::Other;
        }
    }
    if (ended_) return;
    while (i < bytes.size() && !ended_) {
        // Skipped lengths and entropy data go in bulk: a check of saved files reads gigabytes.
        const bool skipping = kind_ == Kind::Png ? skip_ > 0 : kind_ == Kind::Jpeg && jpegAt_ == JpegAt::Skip;
        if (skipping) {
            const std::uint64_t n = std::min<std::uint64_t>(skip_, bytes.size() - i);
            skip_ -= n;
            i += static_cast<std::size_t>(n);
            if (kind_ == Kind::Jpeg && skip_ == 0) jpegAt_ = inScan_ ? JpegAt::Entropy : JpegAt::Marker;
            continue;
        }
        if (kind_ == Kind::Jpeg && jpegAt_ == JpegAt::Entropy) {
            const void* marker = std::memchr(bytes.data() + i, 0xFF, bytes.size() - i);
            if (!marker) break;
            i = static_cast<std::size_t>(static_cast<const char*>(marker) - bytes.data()) + 1;
            jpegAt_ = JpegAt::EntropyMarker;
            continue;
        }
        const auto byte = static_cast<std::uint8_t>(bytes[i++]);
        if (kind_ == Kind::Jpeg) FeedJpeg(byte);
        if (kind_ == Kind::Png) FeedPng(byte);
        if (kind_ != Kind::Jpeg && kind_ != Kind::Png) break;
    }
}

void PictureEndCheck::FeedJpeg(std::uint8_t byte) {
    switch (jpegAt_) {
    case JpegAt::Marker:
        // Fill bytes (0xFF) may come before a marker's code.
        if (byte == 0xFF) jpegAt_ = JpegAt::MarkerCode;
        break;
    case JpegAt::MarkerCode:
        if (byte == 0xFF) break;
        if (byte == 0xD9) {
            ended_ = true;
        } else if (StandsAlone(byte)) {
            jpegAt_ = JpegAt::Marker;
        } else {
            inScan_ = byte == 0xDA;
            jpegAt_ = JpegAt::LengthHigh;
        }
        break;
    case JpegAt::LengthHigh:
        skip_ = static_cast<std::uint64_t>(byte) << 8;
        jpegAt_ = JpegAt::LengthLow;
        break;
    case JpegAt::LengthLow:
        skip_ |= byte;
        // The length counts its own two bytes.
        skip_ = skip_ >= 2 ? skip_ - 2 : 0;
        jpegAt_ = skip_ > 0 ? JpegAt::Skip : inScan_ ? JpegAt::Entropy : JpegAt::Marker;
        break;
    case JpegAt::Skip:
        if (--skip_ == 0) jpegAt_ = inScan_ ? JpegAt::Entropy : JpegAt::Marker;
        break;
    case JpegAt::Entropy:
        if (byte == 0xFF) jpegAt_ = JpegAt::EntropyMarker;
        break;
    case JpegAt::EntropyMarker:
        // FF 00 is a stuffed data byte and FF D0..D7 a restart: the scan goes on.
        if (byte == 0x00 || (byte >= 0xD0 && byte <= 0xD7)) {
            jpegAt_ = JpegAt::Entropy;
        } else if (byte == 0xFF) {
            break;
        } else {
            jpegAt_ = JpegAt::MarkerCode;
            FeedJpeg(byte);
        }
        break;
    }
}

void PictureEndCheck::FeedPng(std::uint8_t byte) {
    if (skip_ > 0) {
        --skip_;
        return;
    }
    chunkHead_[chunkHeadLength_++] = byte;
    if (chunkHeadLength_ < 8) return;
    chunkHeadLength_ = 0;
    const std::uint64_t length = (std::uint64_t{chunkHead_[0]} << 24) | (std::uint64_t{chunkHead_[1]} << 16) |
                                 (std::uint64_t{chunkHead_[2]} << 8) | chunkHead_[3];
    if (std::memcmp(chunkHead_ + 4, "IEND", 4) == 0) {
        ended_ = true;
        return;
    }
    skip_ = length + 4;  // the data and its CRC
}

}  // namespace lumora
