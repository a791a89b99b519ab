// PNG decoder core. One pass over the chunks; the image data is inflated straight into a
// window of two scanlines (previous and current), unfiltered in place and converted into the
// RGBA output row by row, so a decode needs the output, two rows and zlib's own state.
#include "pngimage/png_decoder.h"

#include <zlib.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <new>
#include <utility>

namespace pngdec {

const char* ErrorName(Error e) {
  switch (e) {
    case Error::Ok: return "Ok";
    case Error::BadSignature: return "BadSignature";
    case Error::Truncated: return "Truncated";
    case Error::ChunkTooLong: return "ChunkTooLong";
    case Error::BadChunkType: return "BadChunkType";
    case Error::BadCrc: return "BadCrc";
    case Error::UnknownCriticalChunk: return "UnknownCriticalChunk";
    case Error::IhdrNotFirst: return "IhdrNotFirst";
    case Error::IhdrBadLength: return "IhdrBadLength";
    case Error::DuplicateIhdr: return "DuplicateIhdr";
    case Error::BadDimensions: return "BadDimensions";
    case Error::BadColorTypeOrDepth: return "BadColorTypeOrDepth";
    case Error::BadCompressionMethod: return "BadCompressionMethod";
    case Error::BadFilterMethod: return "BadFilterMethod";
    case Error::BadInterlaceMethod: return "BadInterlaceMethod";
    case Error::DimensionLimit: return "DimensionLimit";
    case Error::MemoryLimit: return "MemoryLimit";
    case Error::MissingPlte: return "MissingPlte";
    case Error::MisplacedPlte: return "MisplacedPlte";
    case Error::BadPlteLength: return "BadPlteLength";
    case Error::IdatNotConsecutive: return "IdatNotConsecutive";
    case Error::MissingIdat: return "MissingIdat";
    case Error::ZlibHeader: return "ZlibHeader";
    case Error::ZlibPresetDictionary: return "ZlibPresetDictionary";
    case Error::ZlibCorrupt: return "ZlibCorrupt";
    case Error::ZlibChecksum: return "ZlibChecksum";
    case Error::ZlibTruncated: return "ZlibTruncated";
    case Error::ImageDataShort: return "ImageDataShort";
    case Error::BadFilterType: return "BadFilterType";
    case Error::OutOfMemory: return "OutOfMemory";
  }
  return "Unknown";
}

namespace {

constexpr uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
constexpr uint32_t kMaxChunkLength = 0x7FFFFFFFu;

// Adam7: where each pass starts and how far apart its pixels lie.
constexpr uint8_t kPassX0[7] = {0, 4, 0, 2, 0, 1, 0};
constexpr uint8_t kPassY0[7] = {0, 0, 4, 0, 2, 0, 1};
constexpr uint8_t kPassDx[7] = {8, 8, 4, 4, 2, 2, 1};
constexpr uint8_t kPassDy[7] = {8, 8, 8, 4, 4, 2, 2};

inline uint32_t Be32(const uint8_t* p) {
  return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | uint32_t{p[3]};
}
inline uint32_t Be16(const uint8_t* p) { return (uint32_t{p[0]} << 8) | uint32_t{p[1]}; }

// round(v / 257): the 8-bit sample nearest to a 16-bit one.
inline uint8_t Reduce16(uint32_t v) { return static_cast<uint8_t>((v * 255u + 32895u) >> 16); }

inline bool IsLetter(uint8_t c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

inline bool TypeIs(const uint8_t* type, const char* name) { return std::memcmp(type, name, 4) == 0; }

std::string TypeName(const uint8_t* type) {
  std::string s;
  for (int i = 0; i < 4; ++i) {
    const uint8_t c = type[i];
    if (c >= 0x20 && c < 0x7F) {
      s.push_back(static_cast<char>(c));
    } else {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\x%02X", c);
      s += hex;
    }
  }
  return s;
}

uint32_t Crc(const uint8_t* p, size_t n) {
  uLong crc = crc32(0L, Z_NULL, 0);
  // crc32 takes uInt lengths; chunks are below 2^31 bytes, so one call suffices on any ABI.
  crc = crc32(crc, p, static_cast<uInt>(n));
  return static_cast<uint32_t>(crc);
}

// ---- Row filters -------------------------------------------------------------------------

// Written to compile to conditional moves: the branches of the textbook form mispredict on
// real pictures, and the chain through the left neighbour stays short.
inline uint8_t Paeth(int a, int b, int c) {
  const int pa = std::abs(b - c);
  const int pb = std::abs(a - c);
  const int pc = std::abs(a + b - 2 * c);
  const int near_bc = pb <= pc ? b : c;
  const int dist_bc = pb <= pc ? pb : pc;
  return static_cast<uint8_t>(pa <= dist_bc ? a : near_bc);
}

// bpp is fixed per instantiation so the loops over a pixel's bytes unroll.
template <size_t Bpp>
void Unfilter(uint8_t type, uint8_t* cur, const uint8_t* prev, size_t n) {
  switch (type) {
    case 1:
      for (size_t i = Bpp; i < n; ++i) cur[i] = static_cast<uint8_t>(cur[i] + cur[i - Bpp]);
      break;
    case 2:
      for (size_t i = 0; i < n; ++i) cur[i] = static_cast<uint8_t>(cur[i] + prev[i]);
      break;
    case 3: {
      const size_t head = std::min(Bpp, n);
      for (size_t i = 0; i < head; ++i) cur[i] = static_cast<uint8_t>(cur[i] + (prev[i] >> 1));
      for (size_t i = Bpp; i < n; ++i)
        cur[i] = static_cast<uint8_t>(cur[i] + ((unsigned{cur[i - Bpp]} + prev[i]) >> 1));
      break;
    }
    case 4: {
      const size_t head = std::min(Bpp, n);
      for (size_t i = 0; i < head; ++i) cur[i] = static_cast<uint8_t>(cur[i] + prev[i]);
      // Rows of whole-byte pixels are a multiple of Bpp long, and sub-byte rows have Bpp 1.
      for (size_t i = Bpp; i < n; i += Bpp) {
        for (size_t k = 0; k < Bpp; ++k) {
          cur[i + k] = static_cast<uint8_t>(cur[i + k] + Paeth(cur[i + k - Bpp], prev[i + k], prev[i + k - Bpp]));
        }
      }
      break;
    }
    default:
      break;
  }
}

using UnfilterFn = void (*)(uint8_t, uint8_t*, const uint8_t*, size_t);

UnfilterFn UnfilterFor(size_t bpp) {
  switch (bpp) {
    case 1: return Unfilter<1>;
    case 2: return Unfilter<2>;
    case 3: return Unfilter<3>;
    case 4: return Unfilter<4>;
    case 6: return Unfilter<6>;
    default: return Unfilter<8>;
  }
}

// ---- Conversion of one unfiltered row to RGBA ------------------------------------------

struct Format {
  uint8_t color_type = 0;
  uint8_t depth = 0;
  bool has_trns = false;
  uint16_t trns[3] = {0, 0, 0};    // grey or RGB key, in the file's sample depth
  std::array<uint8_t, 256 * 4> palette{};  // RGBA; entries beyond the PLTE stay opaque black
};

inline void Put(uint8_t* d, uint8_t r, uint8_t g, uint8_t b, uint8_t a) {
  d[0] = r;
  d[1] = g;
  d[2] = b;
  d[3] = a;
}

// Writes n pixels to dst, step bytes apart (4 for a plain row, 4 * dx for an Adam7 pass).
void ConvertRow(const Format& f, const uint8_t* s, uint32_t n, uint8_t* dst, size_t step) {
  const uint8_t depth = f.depth;
  switch (f.color_type) {
    case 0:
      if (depth < 8) {
        const unsigned mask = (1u << depth) - 1;
        const unsigned scale = 255 / mask;
        const unsigned key = f.has_trns ? (f.trns[0] & mask) : 0x100;
        for (uint32_t i = 0; i < n; ++i, dst += step) {
          const size_t bit = size_t{i} * depth;
          const unsigned v = (s[bit >> 3] >> (8 - depth - (bit & 7))) & mask;
          const uint8_t g = static_cast<uint8_t>(v * scale);
          Put(dst, g, g, g, v == key ? 0 : 255);
        }
      } else if (depth == 8) {
        const unsigned key = f.has_trns ? (f.trns[0] & 0xFF) : 0x100;
        for (uint32_t i = 0; i < n; ++i, dst += step) Put(dst, s[i], s[i], s[i], s[i] == key ? 0 : 255);
      } else {
        const uint32_t key = f.has_trns ? f.trns[0] : 0x10000;
        for (uint32_t i = 0; i < n; ++i, s += 2, dst += step) {
          const uint32_t v = Be16(s);
          const uint8_t g = Reduce16(v);
          Put(dst, g, g, g, v == key ? 0 : 255);
        }
      }
      break;
    case 2:
      if (depth == 8) {
        if (f.has_trns) {
          const unsigned kr = f.trns[0] & 0xFF, kg = f.trns[1] & 0xFF, kb = f.trns[2] & 0xFF;
          for (uint32_t i = 0; i < n; ++i, s += 3, dst += step)
            Put(dst, s[0], s[1], s[2], (s[0] == kr && s[1] == kg && s[2] == kb) ? 0 : 255);
        } else {
          for (uint32_t i = 0; i < n; ++i, s += 3, dst += step) Put(dst, s[0], s[1], s[2], 255);
        }
      } else {
        for (uint32_t i = 0; i < n; ++i, s += 6, dst += step) {
          const uint32_t r = Be16(s), g = Be16(s + 2), b = Be16(s + 4);
          const bool clear = f.has_trns && r == f.trns[0] && g == f.trns[1] && b == f.trns[2];
          Put(dst, Reduce16(r), Reduce16(g), Reduce16(b), clear ? 0 : 255);
        }
      }
      break;
    case 3:
      if (depth == 8) {
        for (uint32_t i = 0; i < n; ++i, dst += step) std::memcpy(dst, &f.palette[size_t{s[i]} * 4], 4);
      } else {
        const unsigned mask = (1u << depth) - 1;
        for (uint32_t i = 0; i < n; ++i, dst += step) {
          const size_t bit = size_t{i} * depth;
          const unsigned v = (s[bit >> 3] >> (8 - depth - (bit & 7))) & mask;
          std::memcpy(dst, &f.palette[size_t{v} * 4], 4);
        }
      }
      break;
    case 4:
      if (depth == 8) {
        for (uint32_t i = 0; i < n; ++i, s += 2, dst += step) Put(dst, s[0], s[0], s[0], s[1]);
      } else {
        for (uint32_t i = 0; i < n; ++i, s += 4, dst += step) {
          const uint8_t g = Reduce16(Be16(s));
          Put(dst, g, g, g, Reduce16(Be16(s + 2)));
        }
      }
      break;
    default:  // 6
      if (depth == 8) {
        if (step == 4) {
          std::memcpy(dst, s, size_t{n} * 4);
        } else {
          for (uint32_t i = 0; i < n; ++i, s += 4, dst += step) std::memcpy(dst, s, 4);
        }
      } else {
        for (uint32_t i = 0; i < n; ++i, s += 8, dst += step)
          Put(dst, Reduce16(Be16(s)), Reduce16(Be16(s + 2)), Reduce16(Be16(s + 4)), Reduce16(Be16(s + 6)));
      }
      break;
  }
}

unsigned Channels(uint8_t color_type) {
  switch (color_type) {
    case 2: return 3;
    case 4: return 2;
    case 6: return 4;
    default: return 1;
  }
}

bool LegalDepth(uint8_t color_type, uint8_t depth) {
  switch (color_type) {
    case 0: return depth == 1 || depth == 2 || depth == 4 || depth == 8 || depth == 16;
    case 3: return depth == 1 || depth == 2 || depth == 4 || depth == 8;
    case 2:
    case 4:
    case 6: return depth == 8 || depth == 16;
    default: return false;
  }
}

// ---- The decoder ---------------------------------------------------------------------------

class Decoder {
 public:
  Decoder(const uint8_t* data, size_t size, Image& out, const Limits& limits)
      : data_(data), size_(size), out_(out), limits_(limits) {}
  ~Decoder() {
    if (zlib_ready_) inflateEnd(&zs_);
  }
  Decoder(const Decoder&) = delete;
  Decoder& operator=(const Decoder&) = delete;

  Result Run();

 private:
  // The one place that records a failure; the first one sticks.
  bool Fail(Error e, std::string message) {
    if (result_.error == Error::Ok) {
      result_.error = e;
      result_.message = "PNG: " + std::move(message);
    }
    return false;
  }

  bool ReadIhdr(const uint8_t* p, uint32_t len);
  bool ReadPlte(const uint8_t* p, uint32_t len);
  void ReadTrns(const uint8_t* p, uint32_t len);
  void ReadText(const uint8_t* p, uint32_t len);
  bool StartImageData();
  bool FeedIdat(const uint8_t* p, uint32_t len);
  bool FinishImageData();
  bool ZlibFailure(int ret);
  bool RowDone();
  void StartPass();

  const uint8_t* data_;
  size_t size_;
  Image& out_;
  const Limits& limits_;
  Result result_;

  // Header and palette state.
  bool have_ihdr_ = false;
  bool have_plte_ = false;
  bool have_trns_ = false;
  bool seen_idat_ = false;
  size_t palette_size_ = 0;
  Format format_;
  unsigned bits_per_pixel_ = 0;
  size_t filter_bpp_ = 1;
  UnfilterFn unfilter_ = nullptr;

  // Image data state.
  z_stream zs_{};
  bool zlib_ready_ = false;
  bool stream_ended_ = false;  // inflate reported the end of the zlib stream
  bool image_done_ = false;    // every row of every pass has been converted
  std::vector<uint8_t> window_;  // two rows: filter byte + row bytes each
  uint8_t* cur_ = nullptr;
  uint8_t* prev_ = nullptr;
  int pass_ = 0;               // 0..6 for Adam7, 0 otherwise
  uint32_t pass_w_ = 0;
  uint32_t pass_h_ = 0;
  uint32_t pass_y_ = 0;
  size_t row_len_ = 0;         // 1 + bytes of the current pass's rows
  size_t row_fill_ = 0;        // bytes of the current row inflated so far
  uint64_t rows_done_ = 0;
};

Result Decoder::Run() {
  out_ = Image{};
  if (size_ < 8 || std::memcmp(data_, kSignature, 8) != 0) {
    Fail(Error::BadSignature, size_ < 8 ? "file too short for the PNG signature" : "not a PNG signature");
    return result_;
  }
  size_t pos = 8;
  bool last_was_idat = false;
  for (;;) {
    const size_t left = size_ - pos;
    if (left < 8) {
      Fail(Error::Truncated, left == 0 ? "file ends before IEND" : "file ends inside a chunk header");
      break;
    }
    const uint32_t len = Be32(data_ + pos);
    const uint8_t* type = data_ + pos + 4;
    if (!IsLetter(type[0]) || !IsLetter(type[1]) || !IsLetter(type[2]) || !IsLetter(type[3])) {
      Fail(Error::BadChunkType, "chunk type \"" + TypeName(type) + "\" is not four letters");
      break;
    }
    const std::string name = TypeName(type);
    if (len > kMaxChunkLength) {
      Fail(Error::ChunkTooLong, "chunk " + name + " has length " + std::to_string(len) + ", above 2^31-1");
      break;
    }
    if (left - 8 < size_t{len} + 4) {
      Fail(Error::Truncated, "chunk " + name + " of " + std::to_string(len) + " bytes runs past the end of the file");
      break;
    }
    const uint8_t* body = type + 4;
    const uint32_t stored_crc = Be32(body + len);
    pos += size_t{len} + 12;

    const bool critical = (type[0] & 0x20) == 0;
    const bool is_ihdr = TypeIs(type, "IHDR");
    const bool is_idat = TypeIs(type, "IDAT");
    if (!have_ihdr_ && !is_ihdr) {
      Fail(Error::IhdrNotFirst, "first chunk is " + name + ", not IHDR");
      break;
    }
    if (critical && !is_ihdr && !is_idat && !TypeIs(type, "PLTE") && !TypeIs(type, "IEND")) {
      Fail(Error::UnknownCriticalChunk, "unknown critical chunk " + name);
      break;
    }
    if (is_ihdr && have_ihdr_) {
      Fail(Error::DuplicateIhdr, "a second IHDR chunk");
      break;
    }
    if (is_ihdr && len != 13) {
      Fail(Error::IhdrBadLength, "IHDR is " + std::to_string(len) + " bytes long, not 13");
      break;
    }
    // Ancillary chunks are only checked when used: a bad one is dropped either way.
    const bool used = critical || TypeIs(type, "tRNS") || TypeIs(type, "tEXt");
    const bool crc_ok = !used || Crc(type, size_t{len} + 4) == stored_crc;
    if (critical && !crc_ok) {
      Fail(Error::BadCrc, "CRC mismatch in chunk " + name);
      break;
    }

    if (is_idat) {
      if (seen_idat_ && !last_was_idat) {
        Fail(Error::IdatNotConsecutive, "IDAT chunks are not consecutive");
        break;
      }
      if (!seen_idat_ && !StartImageData()) break;
      seen_idat_ = true;
      last_was_idat = true;
      if (!FeedIdat(body, len)) break;
      continue;
    }
    last_was_idat = false;

    if (is_ihdr) {
      if (!ReadIhdr(body, len)) break;
    } else if (TypeIs(type, "PLTE")) {
      if (!ReadPlte(body, len)) break;
    } else if (TypeIs(type, "IEND")) {
      // IEND data is tolerated; nothing after IEND is read.
      if (!seen_idat_) {
        Fail(Error::MissingIdat, "no IDAT chunk before IEND");
        break;
      }
      if (!FinishImageData()) break;
      return result_;
    } else if (crc_ok && TypeIs(type, "tRNS")) {
      ReadTrns(body, len);
    } else if (crc_ok && TypeIs(type, "tEXt")) {
      ReadText(body, len);
    }
  }
  out_ = Image{};
  return result_;
}

bool Decoder::ReadIhdr(const uint8_t* p, uint32_t) {
  const uint32_t w = Be32(p), h = Be32(p + 4);
  const uint8_t depth = p[8], color = p[9];
  if (w == 0 || h == 0 || w > kMaxChunkLength || h > kMaxChunkLength)
    return Fail(Error::BadDimensions, "image size " + std::to_string(w) + "x" + std::to_string(h) +
                                          " is not within 1..2^31-1");
  if (!LegalDepth(color, depth))
    return Fail(Error::BadColorTypeOrDepth,
                "colour type " + std::to_string(color) + " with bit depth " + std::to_string(depth) + " is not legal");
  if (p[10] != 0) return Fail(Error::BadCompressionMethod, "compression method " + std::to_string(p[10]));
  if (p[11] != 0) return Fail(Error::BadFilterMethod, "filter method " + std::to_string(p[11]));
  if (p[12] > 1) return Fail(Error::BadInterlaceMethod, "interlace method " + std::to_string(p[12]));
  if (w > limits_.max_width)
    return Fail(Error::DimensionLimit,
                "width " + std::to_string(w) + " exceeds the limit of " + std::to_string(limits_.max_width));
  if (h > limits_.max_height)
    return Fail(Error::DimensionLimit,
                "height " + std::to_string(h) + " exceeds the limit of " + std::to_string(limits_.max_height));
  uint64_t rgba_bytes = 0;
  if (__builtin_mul_overflow(uint64_t{w}, uint64_t{h}, &rgba_bytes) ||
      __builtin_mul_overflow(rgba_bytes, uint64_t{4}, &rgba_bytes) || rgba_bytes > limits_.max_rgba_bytes ||
      rgba_bytes > std::vector<uint8_t>().max_size())
    return Fail(Error::MemoryLimit, "a " + std::to_string(w) + "x" + std::to_string(h) +
                                        " image needs more than the limit of " +
                                        std::to_string(limits_.max_rgba_bytes) + " bytes of RGBA");
  // One row at 64 bits per pixel must fit too (it can only overflow where size_t is 32-bit).
  if (uint64_t{w} * 8 + 1 > SIZE_MAX / 2)
    return Fail(Error::MemoryLimit, "a row of " + std::to_string(w) + " pixels does not fit in memory");
  have_ihdr_ = true;
  out_.width = w;
  out_.height = h;
  out_.bit_depth = depth;
  out_.color_type = color;
  out_.interlaced = p[12] == 1;
  format_.color_type = color;
  format_.depth = depth;
  bits_per_pixel_ = Channels(color) * depth;
  filter_bpp_ = std::max(1u, bits_per_pixel_ / 8);
  unfilter_ = UnfilterFor(filter_bpp_);
  // Palette entries the PLTE does not fill are opaque black.
  for (size_t i = 0; i < 256; ++i) format_.palette[i * 4 + 3] = 255;
  return true;
}

bool Decoder::ReadPlte(const uint8_t* p, uint32_t len) {
  if (seen_idat_) return Fail(Error::MisplacedPlte, "PLTE after IDAT");
  if (have_plte_) return Fail(Error::MisplacedPlte, "a second PLTE chunk");
  if (format_.color_type == 0 || format_.color_type == 4)
    return Fail(Error::MisplacedPlte, "PLTE in a grey image");
  if (len == 0 || len > 768 || len % 3 != 0)
    return Fail(Error::BadPlteLength, "PLTE length " + std::to_string(len) + " is not 3..768 in steps of 3");
  have_plte_ = true;
  if (format_.color_type != 3) return true;  // a suggested palette for a true-colour image
  // Entries beyond what the bit depth can index are unreachable; keep them out.
  const size_t count = std::min<size_t>(len / 3, size_t{1} << format_.depth);
  for (size_t i = 0; i < count; ++i) {
    format_.palette[i * 4 + 0] = p[i * 3 + 0];
    format_.palette[i * 4 + 1] = p[i * 3 + 1];
    format_.palette[i * 4 + 2] = p[i * 3 + 2];
  }
  palette_size_ = count;
  return true;
}

void Decoder::ReadTrns(const uint8_t* p, uint32_t len) {
  // A tRNS that cannot apply is dropped, as a damaged ancillary chunk is.
  if (seen_idat_ || have_trns_) return;
  switch (format_.color_type) {
    case 0:
      if (len != 2) return;
      format_.trns[0] = static_cast<uint16_t>(Be16(p));
      break;
    case 2:
      if (len != 6) return;
      for (int i = 0; i < 3; ++i) format_.trns[i] = static_cast<uint16_t>(Be16(p + 2 * i));
      break;
    case 3: {
      if (!have_plte_ || len == 0 || len > 256) return;
      // Alphas beyond the palette are accepted and ignored: those indices stay opaque black.
      const size_t count = std::min<size_t>(len, palette_size_);
      for (size_t i = 0; i < count; ++i) format_.palette[i * 4 + 3] = p[i];
      break;
    }
    default:
      return;  // grey+alpha and RGBA carry their own alpha
  }
  have_trns_ = true;
  format_.has_trns = format_.color_type != 3;
}

void Decoder::ReadText(const uint8_t* p, uint32_t len) {
  const uint8_t* nul = static_cast<const uint8_t*>(std::memchr(p, 0, len));
  if (nul == nullptr || nul == p || nul - p > 79) return;  // not a valid keyword: dropped
  Text t;
  t.keyword.assign(reinterpret_cast<const char*>(p), static_cast<size_t>(nul - p));
  t.text.assign(reinterpret_cast<const char*>(nul + 1), static_cast<size_t>(p + len - nul - 1));
  out_.texts.push_back(std::move(t));
}

// Called at the first IDAT: everything the image needs is allocated here, within the limits
// IHDR already checked.
bool Decoder::StartImageData() {
  if (format_.color_type == 3 && !have_plte_) return Fail(Error::MissingPlte, "palette image without PLTE");
  const size_t max_row = (size_t{out_.width} * bits_per_pixel_ + 7) / 8 + 1;
  try {
    out_.rgba.assign(size_t{out_.width} * out_.height * 4, 0);
    window_.assign(2 * max_row, 0);
  } catch (...) {  // bad_alloc or length_error: the caller gets an error, never an exception
    return Fail(Error::OutOfMemory, "out of memory for a " + std::to_string(out_.width) + "x" +
                                        std::to_string(out_.height) + " image");
  }
  cur_ = window_.data();
  prev_ = window_.data() + max_row;
  int ret = inflateInit(&zs_);
  if (ret != Z_OK) return Fail(Error::OutOfMemory, "zlib could not start");
  zlib_ready_ = true;
  pass_ = 0;
  StartPass();
  return true;
}

// Moves to the next pass that has pixels (or past the last one) and clears the previous row.
void Decoder::StartPass() {
  for (;;) {
    if (!out_.interlaced) {
      if (pass_ > 0) break;
      pass_w_ = out_.width;
      pass_h_ = out_.height;
    } else {
      if (pass_ >= 7) break;
      pass_w_ = out_.width > kPassX0[pass_] ? (out_.width - kPassX0[pass_] + kPassDx[pass_] - 1) / kPassDx[pass_] : 0;
      pass_h_ = out_.height > kPassY0[pass_] ? (out_.height - kPassY0[pass_] + kPassDy[pass_] - 1) / kPassDy[pass_] : 0;
    }
    if (pass_w_ != 0 && pass_h_ != 0) {
      pass_y_ = 0;
      row_len_ = (size_t{pass_w_} * bits_per_pixel_ + 7) / 8 + 1;
      row_fill_ = 0;
      std::memset(prev_, 0, row_len_);
      return;
    }
    ++pass_;
  }
  image_done_ = true;
}

bool Decoder::RowDone() {
  const uint8_t filter = cur_[0];
  if (filter > 4) {
    return Fail(Error::BadFilterType, "row " + std::to_string(rows_done_) + " has filter type " +
                                          std::to_string(filter));
  }
  uint8_t* row = cur_ + 1;
  unfilter_(filter, row, prev_ + 1, row_len_ - 1);
  size_t x0 = 0, dx = 1, y = pass_y_;
  if (out_.interlaced) {
    x0 = kPassX0[pass_];
    dx = kPassDx[pass_];
    y = kPassY0[pass_] + size_t{pass_y_} * kPassDy[pass_];
  }
  uint8_t* dst = out_.rgba.data() + (y * out_.width + x0) * 4;
  ConvertRow(format_, row, pass_w_, dst, dx * 4);
  std::swap(cur_, prev_);
  row_fill_ = 0;
  ++rows_done_;
  if (++pass_y_ == pass_h_) {
    ++pass_;
    StartPass();
  }
  return true;
}

bool Decoder::ZlibFailure(int ret) {
  const char* msg = zs_.msg != nullptr ? zs_.msg : "";
  if (ret == Z_NEED_DICT) return Fail(Error::ZlibPresetDictionary, "zlib stream asks for a preset dictionary");
  if (ret == Z_MEM_ERROR) return Fail(Error::OutOfMemory, "zlib ran out of memory");
  if (std::strcmp(msg, "incorrect data check") == 0)
    return Fail(Error::ZlibChecksum, "zlib Adler-32 checksum mismatch");
  if (std::strcmp(msg, "incorrect header check") == 0 || std::strcmp(msg, "unknown compression method") == 0 ||
      std::strcmp(msg, "invalid window size") == 0)
    return Fail(Error::ZlibHeader, std::string("bad zlib header: ") + msg);
  return Fail(Error::ZlibCorrupt, std::string("corrupt zlib data: ") + (*msg ? msg : "unknown error"));
}

bool Decoder::FeedIdat(const uint8_t* p, uint32_t len) {
  if (stream_ended_) return true;  // data past the end of the zlib stream is ignored
  zs_.next_in = const_cast<Bytef*>(p);
  zs_.avail_in = len;
  while (!stream_ended_) {
    if (image_done_) {
      // The image is complete: only ask whether the stream ends here. One byte of output
      // proves there is more data than the image needs, and inflating stops there.
      Bytef probe = 0;
      zs_.next_out = &probe;
      zs_.avail_out = 1;
      const int ret = inflate(&zs_, Z_NO_FLUSH);
      if (ret == Z_STREAM_END || zs_.avail_out == 0) {
        stream_ended_ = true;
        return true;
      }
      if (ret == Z_BUF_ERROR || (ret == Z_OK && zs_.avail_in == 0)) return true;  // wants the next IDAT
      if (ret != Z_OK) return ZlibFailure(ret);
      continue;
    }
    zs_.next_out = cur_ + row_fill_;
    zs_.avail_out = static_cast<uInt>(row_len_ - row_fill_);
    const int ret = inflate(&zs_, Z_NO_FLUSH);
    row_fill_ = row_len_ - zs_.avail_out;
    if (row_fill_ == row_len_ && !RowDone()) return false;
    if (ret == Z_STREAM_END) {
      stream_ended_ = true;
      return true;
    }
    if (ret != Z_OK && ret != Z_BUF_ERROR) return ZlibFailure(ret);
    // Out of input with room left (or no progress at all): wait for the next IDAT.
    if (ret == Z_BUF_ERROR || (zs_.avail_in == 0 && zs_.avail_out != 0)) return true;
  }
  return true;
}

bool Decoder::FinishImageData() {
  if (!image_done_) {
    if (stream_ended_)
      return Fail(Error::ImageDataShort, "image data ends after " + std::to_string(rows_done_) + " rows");
    return Fail(Error::ZlibTruncated, "IDAT data ends inside the zlib stream after " + std::to_string(rows_done_) +
                                          " rows");
  }
  if (!stream_ended_) return Fail(Error::ZlibTruncated, "IDAT data ends before the end of the zlib stream");
  return true;
}

}  // namespace

Result Decode(const uint8_t* data, size_t size, Image& out, const Limits& limits) {
  if (data == nullptr) size = 0;
  Decoder decoder(size == 0 ? kSignature : data, size, out, limits);
  return decoder.Run();
}

}  // namespace pngdec
