// The screenshot encoder: a picture's header fields, its pixels read back with
// stb_image, the file it writes, and the pictures it refuses.
#include "devhost/session/png_writer.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>

#define STB_IMAGE_IMPLEMENTATION
#define STB_IMAGE_STATIC
#define STBI_ONLY_PNG
#if defined(__GNUC__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#pragma GCC diagnostic ignored "-Wunused-function"
#pragma GCC diagnostic ignored "-Wunused-parameter"
#pragma GCC diagnostic ignored "-Wimplicit-fallthrough"
#endif
#include <stb/stb_image.h>
#if defined(__GNUC__)
#pragma GCC diagnostic pop
#endif

namespace devhost {
namespace {

std::uint32_t Be32(const std::vector<std::uint8_t>& b, std::size_t at) {
    return (std::uint32_t(b[at]) << 24) | (std::uint32_t(b[at + 1]) << 16) |
           (std::uint32_t(b[at + 2]) << 8) | b[at + 3];
}

RgbImage Gradient(int width, int height) {
    RgbImage image;
    image.width = width;
    image.height = height;
    for (int i = 0; i < width * height * 3; ++i)
        image.rgb.push_back(static_cast<std::uint8_t>(i * 7 + 3));
    return image;
}

TEST(PngWriter, PictureReadsBackPixelForPixel) {
    const RgbImage image = Gradient(300, 90);
    const std::vector<std::uint8_t> png = EncodePng(image);
    ASSERT_GT(png.size(), 33u);
    static const std::uint8_t signature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    EXPECT_EQ(std::memcmp(png.data(), signature, 8), 0) << "PNG signature";
    EXPECT_EQ(std::string(png.begin() + 12, png.begin() + 16), "IHDR") << "the first chunk";
    EXPECT_EQ(Be32(png, 16), 300u) << "width";
    EXPECT_EQ(Be32(png, 20), 90u) << "height";
    EXPECT_EQ(png[24], 8) << "bit depth";
    EXPECT_EQ(png[25], 2) << "colour type RGB";

    int width = 0, height = 0, components = 0;
    std::unique_ptr<stbi_uc, void (*)(void*)> pixels(
        stbi_load_from_memory(png.data(), static_cast<int>(png.size()), &width, &height,
                              &components, 3),
        &stbi_image_free);
    ASSERT_NE(pixels, nullptr) << "the picture does not decode: " << stbi_failure_reason();
    EXPECT_EQ(width, 300);
    EXPECT_EQ(height, 90);
    EXPECT_EQ(components, 3);
    for (int y = 0; y < 90; ++y)
        ASSERT_EQ(0, std::memcmp(pixels.get() + y * 900, &image.rgb[y * 900u], 900)) << "row " << y;
}

TEST(PngWriter, FileHoldsTheEncodedPicture) {
    const RgbImage image = Gradient(17, 5);
    const std::string path = testing::TempDir() + "png_writer_test.png";
    std::string error;
    ASSERT_TRUE(WritePngFile(image, path, error)) << error;
    std::ifstream f(path, std::ios::binary);
    const std::vector<std::uint8_t> written{std::istreambuf_iterator<char>(f),
                                            std::istreambuf_iterator<char>()};
    EXPECT_EQ(written, EncodePng(image));
    f.close();
    std::remove(path.c_str());
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
