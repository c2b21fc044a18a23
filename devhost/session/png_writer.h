// Writes 8-bit RGB pictures as PNG files without a compression library: the image data
// goes into uncompressed ("stored") deflate blocks, which every PNG reader accepts.
// Screenshots of devhost's windows are small, so the size does not matter.
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

// CRC-32 as PNG chunks use it (ISO 3309), and Adler-32 as zlib streams end with it.
std::uint32_t Crc32(const std::uint8_t* data, std::size_t size, std::uint32_t crc = 0);
std::uint32_t Adler32(const std::uint8_t* data, std::size_t size);

} // namespace devhost
