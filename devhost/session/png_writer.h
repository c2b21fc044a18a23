// Writes 8-bit RGB pictures (devhost's screenshots) as PNG files, with stb_image_write.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace devhost {

// The largest side a picture may have; beyond it the caller has made a mistake.
constexpr int kMaxPngSide = 16384;

struct RgbImage {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> rgb; // width * height * 3 bytes, rows top to bottom
};

// The whole PNG file for the image; empty when the image is malformed.
std::vector<std::uint8_t> EncodePng(const RgbImage& image);
bool WritePngFile(const RgbImage& image, const std::string& path, std::string& error);

} // namespace devhost
