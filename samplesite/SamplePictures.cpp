#include "samplesite/SamplePictures.h"

#include <algorithm>
#include <cmath>
#include <string>

namespace lumora::samplesite {

namespace {

// 3x5 glyphs, one row per 3 bits (top row first): digits, then '-'.
constexpr unsigned short kGlyphs[11] = {0b111'101'101'101'111, 0b010'110'010'010'111, 0b111'001'111'100'111,
                                        0b111'001'111'001'111, 0b101'101'111'001'001, 0b111'100'111'001'111,
                                        0b111'100'111'101'111, 0b111'001'010'010'010, 0b111'101'111'101'111,
                                        0b111'101'111'001'111, 0b000'000'111'000'000};

void fillRect(RgbImage& image, int x0, int y0, int w, int h, const std::uint8_t (&colour)[3]) {
    for (int y = std::max(0, y0); y < std::min(image.height, y0 + h); ++y)
        for (int x = std::max(0, x0); x < std::min(image.width, x0 + w); ++x) std::copy_n(colour, 3, image.at(x, y));
}

void drawLabel(RgbImage& image, const std::string& label) {
    const int count = static_cast<int>(label.size());
    // Glyph cells are 4 units wide (one of spacing) and 5 high.
    const int unit = std::max(1, std::min(image.width * 3 / 4 / (count * 4), image.height / 2 / 5));
    const int textWidth = (count * 4 - 1) * unit, textHeight = 5 * unit;
    const int left = (image.width - textWidth) / 2, top = (image.height - textHeight) / 2;
    constexpr std::uint8_t kPanel[3] = {250, 250, 245}, kInk[3] = {30, 30, 40};
    fillRect(image, left - unit, top - unit, textWidth + 2 * unit, textHeight + 2 * unit, kPanel);
    for (int i = 0; i < count; ++i) {
        const unsigned glyph = label[i] == '-' ? kGlyphs[10] : kGlyphs[label[i] - '0'];
        for (int row = 0; row < 5; ++row)
            for (int col = 0; col < 3; ++col)
                if (glyph & (1u << (14 - row * 3 - col)))
                    fillRect(image, left + (i * 4 + col) * unit, top + row * unit, unit, unit, kInk);
    }
}

}  // namespace

RgbImage DrawSamplePicture(int albumNumber, int pictureNumber, int width, int height) {
    RgbImage image(width, height);
    // Each album gets its own hue; each picture shifts it and turns the stripes.
    const double hue = std::fmod(albumNumber * 0.618034 + pictureNumber * 0.07, 1.0) * 2 * 3.14159265;
    const int stripe = 6 + pictureNumber % 9;
    for (int y = 0; y < height; ++y) {
        const double fy = double(y) / height;
        double tone[3];
        for (int c = 0; c < 3; ++c) tone[c] = 255 * (0.35 + 0.65 * (0.5 + 0.5 * std::cos(hue + c * 2.0944 + fy * 1.5)));
        std::uint8_t* p = image.at(0, y);
        for (int x = 0; x < width; ++x, p += 3) {
            const bool band = ((x + (pictureNumber % 2 ? y : -y) + 4096) / stripe) % 2 == 0;
            const double light = (0.55 + 0.35 * x / width - 0.25 * fy) * (band ? 1.0 : 0.82);
            for (int c = 0; c < 3; ++c)
                p[c] = static_cast<std::uint8_t>(std::min(255.0, std::max(0.0, tone[c] * light)));
        }
    }
    std::string label = std::to_string(albumNumber);
    if (pictureNumber > 0) label += "-" + std::to_string(pictureNumber);
    drawLabel(image, label);
    return image;
}

}  // namespace lumora::samplesite
