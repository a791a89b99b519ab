// TJPEGImage on libjpeg, and its registration for "jpg" and "jpeg" at start-up.
#include "jpeg/Jpeg.h"

#include <csetjmp>
#include <memory>
#include <string>
#include <utility>

// libjpeg's header needs size_t and FILE declared before it.
#include <cstddef>
#include <cstdio>
#include <jpeglib.h>

#include "vcl/SysUtils.h"

namespace jpeg {

namespace {

struct ErrorManager {
  jpeg_error_mgr pub;  // first, because libjpeg hands back only &pub
  std::jmp_buf jump;
  char message[JMSG_LENGTH_MAX];
  char warning[JMSG_LENGTH_MAX];
};

ErrorManager& Errors(j_common_ptr cinfo) { return *reinterpret_cast<ErrorManager*>(cinfo->err); }

// libjpeg's default ends the process; ours jumps back to the step that called into it.
[[noreturn]] void ErrorExit(j_common_ptr cinfo) {
  ErrorManager& err = Errors(cinfo);
  (*cinfo->err->format_message)(cinfo, err.message);
  std::longjmp(err.jump, 1);
}

// Level -1 is a corrupt-data warning (data ending early, a damaged entropy segment): libjpeg
// patches over it and goes on. We keep the first one and refuse the picture afterwards.
void EmitMessage(j_common_ptr cinfo, int level) {
  if (level >= 0) return;  // trace output
  if (cinfo->err->num_warnings++ == 0) (*cinfo->err->format_message)(cinfo, Errors(cinfo).warning);
}

// Nothing goes to stderr.
void OutputMessage(j_common_ptr) {}

// Runs one libjpeg step. A fatal error inside it longjmps back here. The frames skipped are
// libjpeg's and the step's, which hold only plain C data, so no destructor is bypassed.
template <typename Step>
bool Guarded(ErrorManager& err, Step step) {
  if (setjmp(err.jump) != 0) return false;
  step();
  return true;
}

// Owns the decompressor, so every way out, our exceptions included, frees libjpeg's memory.
class Decompressor {
 public:
  Decompressor() {
    cinfo.err = jpeg_std_error(&err_.pub);
    err_.pub.error_exit = ErrorExit;
    err_.pub.emit_message = EmitMessage;
    err_.pub.output_message = OutputMessage;
    Run([this] { jpeg_create_decompress(&cinfo); });
  }
  ~Decompressor() { jpeg_destroy_decompress(&cinfo); }  // safe on a struct never created
  Decompressor(const Decompressor&) = delete;
  Decompressor& operator=(const Decompressor&) = delete;

  template <typename Step>
  void Run(Step step) {
    if (!Guarded(err_, step)) Fail(err_.message);
  }

  // Refuses a picture that libjpeg had to patch up.
  void CheckWarnings() const {
    if (err_.pub.num_warnings > 0) Fail(err_.warning);
  }

  [[noreturn]] static void Fail(const std::string& message) {
    throw vcl::EInvalidGraphic("JPEG: " + message);
  }

  jpeg_decompress_struct cinfo{};

 private:
  ErrorManager err_{};
};

}  // namespace

void TJPEGImage::LoadFromBytes(const uint8_t* data, size_t size) {
  static const uint8_t kNothing = 0;
  Decompressor d;
  jpeg_decompress_struct& cinfo = d.cinfo;

  if (size > static_cast<size_t>(static_cast<unsigned long>(-1))) Decompressor::Fail("the file is too large");
  int header = 0;
  d.Run([&] {
    jpeg_mem_src(&cinfo, size ? data : &kNothing, static_cast<unsigned long>(size));
    header = jpeg_read_header(&cinfo, TRUE);
  });
  d.CheckWarnings();
  if (header != JPEG_HEADER_OK) Decompressor::Fail("the file holds no image");

  const bool gray = cinfo.jpeg_color_space == JCS_GRAYSCALE;
  if (!gray && cinfo.jpeg_color_space != JCS_YCbCr && cinfo.jpeg_color_space != JCS_RGB)
    Decompressor::Fail("CMYK and other colour spaces than RGB and grey are not supported");
  if (cinfo.image_width == 0 || cinfo.image_height == 0 ||
      cinfo.image_width > static_cast<unsigned>(kMaxSide) ||
      cinfo.image_height > static_cast<unsigned>(kMaxSide) ||
      uint64_t{cinfo.image_width} * cinfo.image_height * 4 > kMaxPixelBytes)
    Decompressor::Fail("a picture of " + std::to_string(cinfo.image_width) + " x " +
                       std::to_string(cinfo.image_height) + " pixels is outside the limits (" +
                       std::to_string(kMaxSide) + " per side, " + std::to_string(kMaxPixelBytes >> 20) +
                       " MiB of pixels)");
  cinfo.out_color_space = gray ? JCS_GRAYSCALE : JCS_RGB;

  d.Run([&] { jpeg_start_decompress(&cinfo); });
  const size_t width = cinfo.output_width;
  const size_t height = cinfo.output_height;
  const size_t components = static_cast<size_t>(cinfo.output_components);
  if (components != (gray ? 1u : 3u)) Decompressor::Fail("unexpected number of colour components");

  // Allocated here, outside the guarded steps, so an allocation failure is an ordinary throw.
  std::vector<uint8_t> samples(width * height * components);
  uint8_t* const base = samples.data();
  d.Run([&] {
    while (cinfo.output_scanline < cinfo.output_height) {
      JSAMPROW row = base + static_cast<size_t>(cinfo.output_scanline) * width * components;
      jpeg_read_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_decompress(&cinfo);
  });
  d.CheckWarnings();

  std::vector<uint32_t> pixels(width * height);
  const uint8_t* s = samples.data();
  for (uint32_t& px : pixels) {
    if (gray) {
      px = 0xFF000000u | (uint32_t{s[0]} * 0x010101u);
    } else {
      px = 0xFF000000u | (uint32_t{s[0]} << 16) | (uint32_t{s[1]} << 8) | s[2];
    }
    s += components;
  }
  width_ = static_cast<int>(width);
  height_ = static_cast<int>(height);
  grayscale_ = gray;
  pixels_ = std::move(pixels);
}

void TJPEGImage::Draw(const plat::Surface32& dst, int x, int y) const {
  vcl::TDrawClip c;
  if (!vcl::ClipDraw(dst, x, y, width_, height_, c)) return;
  for (int row = 0; row < c.height; ++row) {
    uint32_t* out = dst.Row(c.dst_y + row) + c.dst_x;
    const uint32_t* in = pixels_.data() + static_cast<size_t>(c.src_y + row) * width_ + c.src_x;
    for (int i = 0; i < c.width; ++i) out[i] = (out[i] & 0xFF000000u) | (in[i] & 0x00FFFFFFu);
  }
}

namespace {

// The unit's start-up: linked whole-archive, so this object is always kept.
const struct Registrar {
  Registrar() {
    auto make = [] { return std::make_unique<TJPEGImage>(); };
    vcl::TPicture::RegisterFileFormat("jpg", "JPEG Image File", "TJPEGImage", make);
    vcl::TPicture::RegisterFileFormat("jpeg", "JPEG Image File", "TJPEGImage", make);
  }
} registrar;

}  // namespace

}  // namespace jpeg
