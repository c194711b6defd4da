// X8R8G8B8 frames to RGB PNG files through libpng's simplified API.
#include "tools/png_file.h"

#include <png.h>

#include <cstring>
#include <vector>

#include "tools/replace_file.h"

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
    // Encoded in memory first: libpng writing straight to the path would truncate the
    // file it replaces before knowing whether the new one fits.
    png_alloc_size_t size = 0;
    if (png_image_write_to_memory(&image, nullptr, &size, 0, rgb.data(), 0, nullptr) == 0) {
        *error = std::string("cannot encode ") + path + ": " + image.message;
        return false;
    }
    std::vector<std::uint8_t> encoded(size);
    if (png_image_write_to_memory(&image, encoded.data(), &size, 0, rgb.data(), 0, nullptr) == 0) {
        *error = std::string("cannot encode ") + path + ": " + image.message;
        return false;
    }
    return replaceFile(path, encoded.data(), size, error);
}

}  // namespace tools
