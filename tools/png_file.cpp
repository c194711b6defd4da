// X8R8G8B8 frames to RGB PNG files through libpng's simplified API.
#include "tools/png_file.h"

#include <png.h>

#include <cstring>
#include <vector>

namespace tools {

bool writePng(const std::string& path, const std::uint32_t* pixels, int width, int height,
              std::string* error) {
    if (pixels == nullptr || width <= 0 || height <= 0) {
        *error = "no frame to write";
        return false;
    }
    std::vector<std::uint8_t> rgb(static_cast<std::size_t>(width) * height * 3);
    for (std::size_t i = 0; i < static_cast<std::size_t>(width) * height; ++i) {
        rgb[i * 3 + 0] = static_cast<std::uint8_t>(pixels[i] >> 16);
        rgb[i * 3 + 1] = static_cast<std::uint8_t>(pixels[i] >> 8);
        rgb[i * 3 + 2] = static_cast<std::uint8_t>(pixels[i]);
    }

    png_image image;
    std::memset(&image, 0, sizeof(image));
    image.version = PNG_IMAGE_VERSION;
    image.width = static_cast<png_uint_32>(width);
    image.height = static_cast<png_uint_32>(height);
    image.format = PNG_FORMAT_RGB;
    if (png_image_write_to_file(&image, path.c_str(), 0, rgb.data(), 0, nullptr) == 0) {
        *error = std::string("cannot write ") + path + ": " + image.message;
        return false;
    }
    return true;
}

}  // namespace tools
