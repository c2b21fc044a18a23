// The screenshot encoder: the checksums against their published check values, and a
// written picture read back chunk by chunk, its stored deflate blocks undone by hand.
#include "devhost/session/png_writer.h"

#include <gtest/gtest.h>

#include <cstring>

namespace devhost {
namespace {

std::uint32_t Be32(const std::vector<std::uint8_t>& b, std::size_t at) {
    return (std::uint32_t(b[at]) << 24) | (std::uint32_t(b[at + 1]) << 16) |
           (std::uint32_t(b[at + 2]) << 8) | b[at + 3];
}

TEST(PngWriter, ChecksumsMatchTheirCheckValues) {
    const char* check = "123456789";
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(check);
    EXPECT_EQ(Crc32(bytes, 9), 0xCBF43926u) << "CRC-32 check value";
    EXPECT_EQ(Adler32(bytes, 9), 0x091E01DEu) << "Adler-32 check value";
    EXPECT_EQ(Adler32(nullptr, 0), 1u);
}

// Walks the chunks, checks every CRC and returns the IDAT payload's inflated bytes.
std::vector<std::uint8_t> ReadBack(const std::vector<std::uint8_t>& png, int& width, int& height) {
    static const std::uint8_t signature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    EXPECT_EQ(std::memcmp(png.data(), signature, 8), 0) << "PNG signature";
    std::vector<std::uint8_t> zlib;
    std::size_t at = 8;
    bool ended = false;
    while (at + 12 <= png.size() && !ended) {
        const std::uint32_t length = Be32(png, at);
        const std::string type(png.begin() + at + 4, png.begin() + at + 8);
        EXPECT_EQ(Crc32(png.data() + at + 4, 4 + length), Be32(png, at + 8 + length))
            << "CRC of chunk " << type;
        if (type == "IHDR") {
            width = static_cast<int>(Be32(png, at + 8));
            height = static_cast<int>(Be32(png, at + 12));
            EXPECT_EQ(png[at + 16], 8) << "bit depth";
            EXPECT_EQ(png[at + 17], 2) << "colour type RGB";
        }
        if (type == "IDAT")
            zlib.insert(zlib.end(), png.begin() + at + 8, png.begin() + at + 8 + length);
        ended = type == "IEND";
        at += 12 + length;
    }
    EXPECT_TRUE(ended) << "the file ends with IEND";
    EXPECT_EQ(at, png.size()) << "nothing after IEND";
    std::vector<std::uint8_t> raw;
    std::size_t z = 2; // after the zlib header
    bool last = false;
    while (!last && z + 5 <= zlib.size()) {
        last = zlib[z] & 1;
        const std::size_t n = zlib[z + 1] | (zlib[z + 2] << 8);
        const std::size_t nn = zlib[z + 3] | (zlib[z + 4] << 8);
        EXPECT_EQ(n ^ 0xFFFF, nn) << "stored block length and its complement";
        raw.insert(raw.end(), zlib.begin() + z + 5, zlib.begin() + z + 5 + n);
        z += 5 + n;
    }
    EXPECT_TRUE(last) << "the last block is marked";
    EXPECT_EQ(Be32(zlib, z), Adler32(raw.data(), raw.size())) << "zlib checksum";
    return raw;
}

TEST(PngWriter, PictureReadsBackPixelForPixel) {
    // Wide enough that the rows need more than one stored block (65535 bytes each).
    RgbImage image;
    image.width = 300;
    image.height = 90;
    for (int i = 0; i < image.width * image.height * 3; ++i)
        image.rgb.push_back(static_cast<std::uint8_t>(i * 7 + 3));
    int width = 0, height = 0;
    const std::vector<std::uint8_t> raw = ReadBack(EncodePng(image), width, height);
    EXPECT_EQ(width, 300);
    EXPECT_EQ(height, 90);
    ASSERT_EQ(raw.size(), static_cast<std::size_t>(90 * (1 + 300 * 3)));
    for (int y = 0; y < 90; ++y) {
        const std::size_t row = static_cast<std::size_t>(y) * (1 + 900);
        ASSERT_EQ(raw[row], 0) << "row " << y << " uses filter None";
        ASSERT_EQ(0, std::memcmp(&raw[row + 1], &image.rgb[y * 900u], 900)) << "row " << y;
    }
}

TEST(PngWriter, MalformedPicturesAreRefused) {
    RgbImage image;
    EXPECT_TRUE(EncodePng(image).empty()) << "no pixels";
    image.width = 2;
    image.height = 2;
    image.rgb.resize(11);
    EXPECT_TRUE(EncodePng(image).empty()) << "too few bytes for 2x2";
    image.width = kMaxPngSide + 1;
    image.height = 1;
    image.rgb.resize(static_cast<std::size_t>(image.width) * 3);
    EXPECT_TRUE(EncodePng(image).empty()) << "wider than the limit";
    std::string error;
    EXPECT_FALSE(WritePngFile(image, "/nonexistent-dir/x.png", error));
    EXPECT_NE(error.find("malformed"), std::string::npos) << error;
}

} // namespace
} // namespace devhost
