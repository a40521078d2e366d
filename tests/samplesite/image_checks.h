// Structural checks of PNG and JPEG bytes, and decoding through ImageMagick
// where it is installed, for the sample-site tests.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>
#include <zlib.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace lumora::samplesite::testing {

inline std::uint32_t big32(const std::string& bytes, std::size_t at) {
    return std::uint32_t(std::uint8_t(bytes[at])) << 24 | std::uint32_t(std::uint8_t(bytes[at + 1])) << 16 |
           std::uint32_t(std::uint8_t(bytes[at + 2])) << 8 | std::uint8_t(bytes[at + 3]);
}

struct PngInfo {
    int width = 0;
    int height = 0;
    std::string pixels;  // the inflated IDAT data, filter bytes included
};

// Signature, IHDR first, IEND last and empty, every CRC right (checked with
// zlib's own CRC), and IDAT that inflates.
inline ::testing::AssertionResult ParsePng(const std::string& bytes, PngInfo& info) {
    if (bytes.compare(0, 8, std::string("\x89PNG\r\n\x1a\n", 8)) != 0)
        return ::testing::AssertionFailure() << "no PNG signature";
    std::string idat, lastType;
    std::size_t at = 8;
    for (bool first = true; at + 12 <= bytes.size(); first = false) {
        const std::uint32_t length = big32(bytes, at);
        if (at + 12 + length > bytes.size()) return ::testing::AssertionFailure() << "chunk runs past the end";
        const std::string type = bytes.substr(at + 4, 4), data = bytes.substr(at + 8, length);
        const auto crc = crc32(0, reinterpret_cast<const Bytef*>(bytes.data() + at + 4), length + 4);
        if (crc != big32(bytes, at + 8 + length)) return ::testing::AssertionFailure() << "bad CRC on " << type;
        if (first != (type == "IHDR")) return ::testing::AssertionFailure() << "IHDR is not the first chunk";
        if (type == "IHDR") {
            if (length != 13 || data.substr(8) != std::string("\x08\x02\x00\x00\x00", 5))
                return ::testing::AssertionFailure() << "unexpected IHDR";
            info.width = int(big32(data, 0));
            info.height = int(big32(data, 4));
        }
        if (type == "IDAT") idat += data;
        lastType = type;
        at += 12 + length;
        if (type == "IEND" && length != 0) return ::testing::AssertionFailure() << "IEND has data";
    }
    if (at != bytes.size() || lastType != "IEND") return ::testing::AssertionFailure() << "IEND is not last";
    uLongf size = uLongf(info.width) * info.height * 3 + info.height;
    info.pixels.assign(size, '\0');
    if (uncompress(reinterpret_cast<Bytef*>(info.pixels.data()), &size, reinterpret_cast<const Bytef*>(idat.data()),
                   idat.size()) != Z_OK ||
        size != info.pixels.size())
        return ::testing::AssertionFailure() << "IDAT does not inflate to the image size";
    return ::testing::AssertionSuccess();
}

// SOI, well-formed segments up to a baseline frame and its scan, scan data
// with every 0xFF stuffed, EOI at the very end.
inline ::testing::AssertionResult IsBaselineJpeg(const std::string& bytes) {
    if (bytes.size() < 4 || bytes.compare(0, 3, "\xFF\xD8\xFF") != 0)
        return ::testing::AssertionFailure() << "does not start FF D8 FF";
    if (bytes.compare(bytes.size() - 2, 2, "\xFF\xD9") != 0)
        return ::testing::AssertionFailure() << "does not end FF D9";
    bool frame = false;
    std::size_t at = 2;
    for (;;) {
        if (at + 4 > bytes.size() || bytes[at] != '\xFF')
            return ::testing::AssertionFailure() << "bad segment at " << at;
        const auto marker = std::uint8_t(bytes[at + 1]);
        const std::size_t length = std::uint8_t(bytes[at + 2]) * 256u + std::uint8_t(bytes[at + 3]);
        if (marker == 0xC0) frame = true;
        if (marker >= 0xC1 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC)
            return ::testing::AssertionFailure() << "not a baseline frame";
        at += 2 + length;
        if (marker == 0xDA) break;
    }
    if (!frame) return ::testing::AssertionFailure() << "no SOF0 before the scan";
    for (; at + 2 < bytes.size(); ++at)
        if (bytes[at] == '\xFF' && bytes[++at] != '\0') return ::testing::AssertionFailure() << "unstuffed FF in scan";
    return ::testing::AssertionSuccess();
}

inline bool HaveImageMagick() { return std::filesystem::exists("/usr/bin/identify"); }

inline std::filesystem::path WriteScratch(const std::string& bytes, const std::string& name) {
    auto path = std::filesystem::temp_directory_path() / ("lumora-sample-" + std::to_string(::getpid()) + "-" + name);
    std::ofstream(path, std::ios::binary) << bytes;
    return path;
}

inline std::string RunCommand(const std::string& command) {
    std::string out;
    if (FILE* pipe = ::popen(command.c_str(), "r")) {
        char buffer[4096];
        for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) out.append(buffer, n);
        if (::pclose(pipe) != 0) out.clear();
    }
    return out;
}

// "JPEG 320 240" for a picture that decodes without warnings, else empty.
inline std::string Identify(const std::string& bytes) {
    auto path = WriteScratch(bytes, "identify");
    std::string out =
        RunCommand("/usr/bin/identify -regard-warnings -format '%m %w %h' '" + path.string() + "' 2>/dev/null");
    std::filesystem::remove(path);
    return out;
}

}  // namespace lumora::samplesite::testing
