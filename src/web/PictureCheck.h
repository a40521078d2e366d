// Whether a saved body is a whole picture, told as it streams: a JPEG must
// reach its end marker and a PNG its IEND chunk. The structure is followed
// (segments and chunks are skipped by their lengths), so an end marker inside
// an embedded thumbnail does not count, and bytes after the end are allowed.
// A body of any other kind is not judged.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

namespace lumora {

// Whether bytes begin as a page or JSON does: "<", "{" or "[" after white
// space. Nothing while they hold white space alone.
std::optional<bool> StartsAsPage(std::string_view bytes);

class PictureEndCheck {
public:
    enum class Kind { Unknown, Jpeg, Png, Other };

    void Feed(std::string_view bytes);
    Kind kind() const { return kind_; }
    // A JPEG or PNG that did not reach its end.
    bool Cut() const { return (kind_ == Kind::Jpeg || kind_ == Kind::Png) && !ended_; }

private:
    void FeedJpeg(std::uint8_t byte);
    void FeedPng(std::uint8_t byte);

    Kind kind_ = Kind::Unknown;
    bool ended_ = false;
    std::uint8_t head_[8] = {};
    std::size_t headLength_ = 0;
    // JPEG: where in the structure the next byte falls.
    enum class JpegAt {
        Marker,
        MarkerCode,
        LengthHigh,
        LengthLow,
        Skip,
        Entropy,
        EntropyMarker
    } jpegAt_ = JpegAt::Marker;
    bool inScan_ = false;  // the segment being skipped is a scan's header: entropy data follows
    // PNG: a chunk's length and type, then its data and CRC skipped.
    std::uint8_t chunkHead_[8] = {};
    std::size_t chunkHeadLength_ = 0;
    std::uint64_t skip_ = 0;
};

}  // namespace lumora
