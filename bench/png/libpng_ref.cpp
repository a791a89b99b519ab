// libpng's classic API set up to give what our decoder gives: expand palettes and low depths,
// scale 16-bit samples, grey to RGB, an opaque alpha where the file has none, all Adam7 passes.
#include "libpng_ref.h"

#include <png.h>

#include <csetjmp>
#include <cstring>

namespace pngbench {
namespace {

struct MemReader {
  const uint8_t* p;
  size_t left;
};

void ReadMem(png_structp png, png_bytep out, size_t n) {
  auto* r = static_cast<MemReader*>(png_get_io_ptr(png));
  if (n > r->left) png_error(png, "truncated");
  std::memcpy(out, r->p, n);
  r->p += n;
  r->left -= n;
}

}  // namespace

bool LibpngDecode(const uint8_t* data, size_t size, std::vector<uint8_t>* rgba,
                  std::vector<uint8_t*>* rows, uint32_t* width, uint32_t* height) {
  MemReader reader{data, size};
  png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_read_struct(&png, &info, nullptr);
    return false;
  }
  png_set_read_fn(png, &reader, ReadMem);
  png_read_info(png, info);
  png_set_expand(png);
  png_set_scale_16(png);
  png_set_gray_to_rgb(png);
  png_set_add_alpha(png, 0xFFFF, PNG_FILLER_AFTER);
  png_set_interlace_handling(png);
  png_read_update_info(png, info);
  const png_uint_32 w = png_get_image_width(png, info), h = png_get_image_height(png, info);
  rgba->resize(size_t{w} * h * 4);
  rows->resize(h);
  for (png_uint_32 y = 0; y < h; ++y) (*rows)[y] = rgba->data() + size_t{y} * w * 4;
  png_read_image(png, rows->data());
  png_read_end(png, nullptr);
  png_destroy_read_struct(&png, &info, nullptr);
  *width = w;
  *height = h;
  return true;
}

}  // namespace pngbench
