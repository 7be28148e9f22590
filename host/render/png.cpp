// PNG files of the pictures, through stb
#include <stb/stb_image.h>
#include <stb/stb_image_write.h>

#include "render.h"

namespace tumelin {

std::string EncodePng(const Image& image) {
  std::string bytes;
  auto append = [](void* context, void* data, int size) {
    static_cast<std::string*>(context)->append(static_cast<const char*>(data), static_cast<size_t>(size));
  };
  if (stbi_write_png_to_func(append, &bytes, image.width, image.height, 3, image.rgb.data(),
                             image.width * 3) == 0) {
    bytes.clear();
  }
  return bytes;
}

bool DecodePng(const std::string& bytes, Image* image) {
  int w = 0, h = 0, channels = 0;
  unsigned char* data = stbi_load_from_memory(reinterpret_cast<const unsigned char*>(bytes.data()),
                                              static_cast<int>(bytes.size()), &w, &h, &channels, 3);
  if (data == nullptr) return false;
  image->width = w;
  image->height = h;
  image->rgb.assign(data, data + static_cast<size_t>(w) * h * 3);
  stbi_image_free(data);
  return true;
}

}  // namespace tumelin
