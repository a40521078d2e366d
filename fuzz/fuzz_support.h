// Helpers shared by the fuzz targets: carving typed values out of the input
// and stopping loudly when a property does not hold.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace lumora::fuzz {

// Reads the input front to back; past the end every read gives zero or nothing.
class Input {
public:
    Input(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

    std::uint8_t Byte() { return pos_ < size_ ? data_[pos_++] : 0; }

    std::string Bytes(std::size_t count) {
        count = std::min(count, size_ - pos_);
        std::string out(reinterpret_cast<const char*>(data_ + pos_), count);
        pos_ += count;
        return out;
    }

    std::string Rest() { return Bytes(size_ - pos_); }

    // The remaining bytes as UTF-16 units, little-endian pairs.
    std::u16string RestAsUnits() {
        std::u16string out;
        while (size_ - pos_ >= 2) {
            out.push_back(static_cast<char16_t>(data_[pos_] | (data_[pos_ + 1] << 8)));
            pos_ += 2;
        }
        return out;
    }

private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t pos_ = 0;
};

// A broken property is a finding: libFuzzer saves the input that caused it.
[[noreturn]] inline void Fail(const char* what) {
    std::fprintf(stderr, "property failed: %s\n", what);
    std::abort();
}

inline void Check(bool holds, const char* what) {
    if (!holds) Fail(what);
}

}  // namespace lumora::fuzz
