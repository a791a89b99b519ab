// Makes small PNG and JPEG files in memory for the picture tests: PNG with zlib, JPEG with
// libjpeg's compressor, so every fixture is built from known pixels at test time.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include <jpeglib.h>
#include <zlib.h>

namespace testimages {

struct PngText {
  std::string keyword;
  std::string text;
};

inline void PutBe32(std::vector<uint8_t>& out, uint32_t v) {
  for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<uint8_t>(v >> shift));
}

inline void PutChunk(std::vector<uint8_t>& out, const char* type, const std::vector<uint8_t>& body) {
  PutBe32(out, static_cast<uint32_t>(body.size()));
  const size_t start = out.size();
  out.insert(out.end(), type, type + 4);
  out.insert(out.end(), body.begin(), body.end());
  const uLong crc = crc32(0L, out.data() + start, static_cast<uInt>(out.size() - start));
  PutBe32(out, static_cast<uint32_t>(crc));
}

// An 8-bit RGBA (colour type 6) PNG; rgba holds width * height * 4 bytes, rows top to bottom.
inline std::vector<uint8_t> MakePng(uint32_t width, uint32_t height, const std::vector<uint8_t>& rgba,
                                    const std::vector<PngText>& texts = {}) {
  std::vector<uint8_t> out = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  std::vector<uint8_t> ihdr;
  PutBe32(ihdr, width);
  PutBe32(ihdr, height);
  ihdr.insert(ihdr.end(), {8, 6, 0, 0, 0});
  PutChunk(out, "IHDR", ihdr);
  for (const PngText& t : texts) {
    std::vector<uint8_t> body(t.keyword.begin(), t.keyword.end());
    body.push_back(0);
    body.insert(body.end(), t.text.begin(), t.text.end());
    PutChunk(out, "tEXt", body);
  }
  std::vector<uint8_t> raw;
  for (uint32_t y = 0; y < height; ++y) {
    raw.push_back(0);  // filter: none
    const uint8_t* row = rgba.data() + static_cast<size_t>(y) * width * 4;
    raw.insert(raw.end(), row, row + static_cast<size_t>(width) * 4);
  }
  uLongf packed_size = compressBound(static_cast<uLong>(raw.size()));
  std::vector<uint8_t> packed(packed_size);
  if (compress(packed.data(), &packed_size, raw.data(), static_cast<uLong>(raw.size())) != Z_OK) std::abort();
  packed.resize(packed_size);
  PutChunk(out, "IDAT", packed);
  PutChunk(out, "IEND", {});
  return out;
}

// A JPEG of the given samples: components 3 (R G B), 1 (grey) or 4 (C M Y K),
// width * height * components.
inline std::vector<uint8_t> MakeJpeg(int width, int height, int components, const std::vector<uint8_t>& samples,
                                     int quality, bool progressive) {
  jpeg_compress_struct cinfo{};
  jpeg_error_mgr err{};
  cinfo.err = jpeg_std_error(&err);  // the input is ours and valid: libjpeg's exit is fine here
  jpeg_create_compress(&cinfo);
  unsigned char* buffer = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&cinfo, &buffer, &size);
  cinfo.image_width = static_cast<JDIMENSION>(width);
  cinfo.image_height = static_cast<JDIMENSION>(height);
  cinfo.input_components = components;
  cinfo.in_color_space = components == 1 ? JCS_GRAYSCALE : components == 4 ? JCS_CMYK : JCS_RGB;
  jpeg_set_defaults(&cinfo);
  jpeg_set_quality(&cinfo, quality, TRUE);
  // Full-resolution colour, so the decoded pixels stay close enough to tell a one-pixel shift.
  cinfo.comp_info[0].h_samp_factor = 1;
  cinfo.comp_info[0].v_samp_factor = 1;
  if (progressive) jpeg_simple_progression(&cinfo);
  jpeg_start_compress(&cinfo, TRUE);
  while (cinfo.next_scanline < cinfo.image_height) {
    JSAMPROW row = const_cast<uint8_t*>(samples.data()) +
                   static_cast<size_t>(cinfo.next_scanline) * static_cast<size_t>(width * components);
    jpeg_write_scanlines(&cinfo, &row, 1);
  }
  jpeg_finish_compress(&cinfo);
  std::vector<uint8_t> out(buffer, buffer + size);
  jpeg_destroy_compress(&cinfo);
  std::free(buffer);
  return out;
}

// Prefixes an image file with its class name, as a form description stores a picture.
inline std::vector<uint8_t> PictureData(const std::string& class_name, const std::vector<uint8_t>& file) {
  std::vector<uint8_t> out;
  out.push_back(static_cast<uint8_t>(class_name.size()));
  out.insert(out.end(), class_name.begin(), class_name.end());
  out.insert(out.end(), file.begin(), file.end());
  return out;
}

}  // namespace testimages
