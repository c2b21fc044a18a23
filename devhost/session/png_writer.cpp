// PNG encoding by stb_image_write (Debian's libstb-dev), compiled into this file alone
// with its functions kept static.
#include "devhost/session/png_writer.h"

#include <fstream>

#define STB_IMAGE_WRITE_IMPLEMENTATION
#define STB_IMAGE_WRITE_STATIC
#define STBI_WRITE_NO_STDIO
#if defined(__GNUC__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#pragma GCC diagnostic ignored "-Wunused-function"
#endif
#include <stb/stb_image_write.h>
#if defined(__GNUC__)
#pragma GCC diagnostic pop
#endif

namespace devhost {
namespace {

constexpr int kRgbComponents = 3;

void AppendBytes(void* context, void* data, int size) {
    auto* out = static_cast<std::vector<std::uint8_t>*>(context);
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    out->insert(out->end(), bytes, bytes + size);
}

bool WellFormed(const RgbImage& image) {
    return image.width > 0 && image.height > 0 && image.width <= kMaxPngSide &&
           image.height <= kMaxPngSide &&
           image.rgb.size() ==
               static_cast<std::size_t>(image.width) * image.height * kRgbComponents;
}

} // namespace

std::vector<std::uint8_t> EncodePng(const RgbImage& image) {
    std::vector<std::uint8_t> out;
    if (!WellFormed(image)) return out;
    const int stride = image.width * kRgbComponents;
    if (!stbi_write_png_to_func(&AppendBytes, &out, image.width, image.height, kRgbComponents,
                                image.rgb.data(), stride))
        out.clear();
    return out;
}

bool WritePngFile(const RgbImage& image, const std::string& path, std::string& error) {
    const std::vector<std::uint8_t> png = EncodePng(image);
    if (png.empty()) {
        error = "the picture is malformed (" + std::to_string(image.width) + "x" +
                std::to_string(image.height) + ")";
        return false;
    }
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    f.write(reinterpret_cast<const char*>(png.data()), static_cast<std::streamsize>(png.size()));
    if (!f) {
        error = "cannot write " + path;
        return false;
    }
    return true;
}

} // namespace devhost
