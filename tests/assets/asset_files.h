// Readers for the asset tests, written independently of the generator's writers so that a fault
// in one is not mirrored by the other: PNG chunk walking, libpng decoding, ICO directory parsing
// and the hex blocks of a form description.
#pragma once

#include <png.h>
#include <zlib.h>

#include <cctype>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

namespace assettest {

using Bytes = std::vector<uint8_t>;

inline Bytes ReadBytes(const std::filesystem::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  const std::string text = s.str();
  return Bytes(text.begin(), text.end());
}

inline std::string ReadText(const std::filesystem::path& p) {
  const Bytes b = ReadBytes(p);
  return std::string(b.begin(), b.end());
}

inline uint32_t Be32(const uint8_t* p) {
  return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | uint32_t(p[3]);
}
inline uint32_t Le16(const uint8_t* p) { return uint32_t(p[0]) | uint32_t(p[1]) << 8; }
inline uint32_t Le32(const uint8_t* p) { return Le16(p) | Le16(p + 2) << 16; }

struct Chunk {
  std::string type;
  Bytes data;
  bool crc_ok = false;
};

// Walks the chunks after the signature; nullopt when the signature or a length is wrong.
inline std::optional<std::vector<Chunk>> ReadChunks(const Bytes& png) {
  static const uint8_t kSig[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  if (png.size() < 8 || !std::equal(kSig, kSig + 8, png.begin())) return std::nullopt;
  std::vector<Chunk> chunks;
  size_t pos = 8;
  while (pos < png.size()) {
    if (png.size() - pos < 12) return std::nullopt;
    const uint32_t len = Be32(&png[pos]);
    if (png.size() - pos - 12 < len) return std::nullopt;
    Chunk c;
    c.type.assign(reinterpret_cast<const char*>(&png[pos + 4]), 4);
    c.data.assign(png.begin() + long(pos) + 8, png.begin() + long(pos) + 8 + len);
    const uLong crc = crc32(0, &png[pos + 4], uInt(len + 4));
    c.crc_ok = crc == Be32(&png[pos + 8 + len]);
    chunks.push_back(std::move(c));
    pos += 12 + len;
  }
  return chunks;
}

struct Decoded {
  uint32_t width = 0, height = 0;
  Bytes rgba;
  uint8_t A(uint32_t x, uint32_t y) const { return rgba[(size_t(y) * width + x) * 4 + 3]; }
  const uint8_t* At(uint32_t x, uint32_t y) const { return &rgba[(size_t(y) * width + x) * 4]; }
};

// libpng as the oracle; nullopt and the message when it refuses the file.
inline std::optional<Decoded> DecodeWithLibpng(const Bytes& png, std::string* error = nullptr) {
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_memory(&image, png.data(), png.size())) {
    if (error) *error = image.message;
    return std::nullopt;
  }
  image.format = PNG_FORMAT_RGBA;
  Decoded out{image.width, image.height, Bytes(PNG_IMAGE_SIZE(image))};
  if (!png_image_finish_read(&image, nullptr, out.rgba.data(), 0, nullptr)) {
    if (error) *error = image.message;
    png_image_free(&image);
    return std::nullopt;
  }
  return out;
}

struct IcoImage {
  uint32_t width = 0, height = 0, bits = 0, size = 0, offset = 0;
};

inline std::optional<std::vector<IcoImage>> ReadIcoDirectory(const Bytes& ico) {
  if (ico.size() < 6 || Le16(&ico[0]) != 0 || Le16(&ico[2]) != 1) return std::nullopt;
  const uint32_t count = Le16(&ico[4]);
  if (ico.size() < 6 + 16 * size_t(count)) return std::nullopt;
  std::vector<IcoImage> out;
  for (uint32_t i = 0; i < count; ++i) {
    const uint8_t* e = &ico[6 + 16 * i];
    if (Le16(e + 4) != 1) return std::nullopt;  // planes
    out.push_back({e[0] ? e[0] : 256u, e[1] ? e[1] : 256u, Le16(e + 6), Le32(e + 8), Le32(e + 12)});
  }
  return out;
}

// The bytes of `<property> = { hex... }` in a form description, hex read across line breaks.
inline std::optional<Bytes> ReadDfmBinary(const std::string& text, const std::string& property) {
  std::istringstream lines(text);
  std::string line;
  while (std::getline(lines, line)) {
    const size_t first = line.find_first_not_of(" \t");
    if (first == std::string::npos || line.compare(first, property.size(), property) != 0) continue;
    const size_t brace = line.find('{', first + property.size());
    if (brace == std::string::npos || line.find('=', first) > brace) continue;
    std::string hex = line.substr(brace + 1);
    while (hex.find('}') == std::string::npos && std::getline(lines, line)) hex += line;
    const size_t end = hex.find('}');
    if (end == std::string::npos) return std::nullopt;
    std::string digits;
    for (size_t i = 0; i < end; ++i) {
      const unsigned char c = static_cast<unsigned char>(hex[i]);
      if (std::isxdigit(c)) digits += char(c);
      else if (!std::isspace(c)) return std::nullopt;
    }
    if (digits.size() % 2) return std::nullopt;
    Bytes out;
    for (size_t i = 0; i < digits.size(); i += 2) out.push_back(uint8_t(std::stoul(digits.substr(i, 2), nullptr, 16)));
    return out;
  }
  return std::nullopt;
}

}  // namespace assettest
