// PNG decoder core: a pure function of bytes. No globals, no class library, no exceptions:
// bytes in, 8-bit RGBA pixels or one precise error out.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace pngdec {

// One value per reason a file is refused; ErrorName() gives a stable identifier.
enum class Error : int {
  Ok = 0,
  // File structure.
  BadSignature,          // the first 8 bytes are not the PNG signature
  Truncated,             // the data ends early: inside a chunk, or before IEND
  ChunkTooLong,          // a chunk length above 2^31-1
  BadChunkType,          // chunk type bytes that are not ASCII letters
  BadCrc,                // CRC mismatch on a critical chunk
  UnknownCriticalChunk,  // a critical chunk this decoder does not know
  // Header.
  IhdrNotFirst,
  IhdrBadLength,         // IHDR that is not 13 bytes long
  DuplicateIhdr,
  BadDimensions,         // width or height zero or above 2^31-1
  BadColorTypeOrDepth,   // an illegal colour type, bit depth or combination of both
  BadCompressionMethod,
  BadFilterMethod,
  BadInterlaceMethod,
  DimensionLimit,        // width or height above Limits
  MemoryLimit,           // the RGBA output would exceed Limits::max_rgba_bytes
  // Palette and chunk order.
  MissingPlte,           // a palette image without PLTE before its image data
  MisplacedPlte,         // PLTE after IDAT, a second PLTE, or PLTE in a grey image
  BadPlteLength,         // PLTE length zero, above 768 or not a multiple of 3
  IdatNotConsecutive,    // another chunk between two IDAT chunks
  MissingIdat,           // IEND before any IDAT
  // Image data.
  ZlibHeader,            // bad zlib header: check bits, method or window size
  ZlibPresetDictionary,  // the zlib stream asks for a preset dictionary
  ZlibCorrupt,           // invalid deflate data
  ZlibChecksum,          // Adler-32 mismatch
  ZlibTruncated,         // the IDAT data ends before the zlib stream does
  ImageDataShort,        // the zlib stream ends before the last row of the image
  BadFilterType,         // a row filter byte above 4
  OutOfMemory,           // an allocation within the limits failed
};

const char* ErrorName(Error e);

// Bounds checked at IHDR, before anything is allocated.
struct Limits {
  uint32_t max_width = 16384;
  uint32_t max_height = 16384;
  uint64_t max_rgba_bytes = 256ull << 20;  // width * height * 4
};

struct Text {
  std::string keyword;
  std::string text;  // the bytes as stored (Latin-1)
};

struct Image {
  uint32_t width = 0;
  uint32_t height = 0;
  uint8_t bit_depth = 0;
  uint8_t color_type = 0;
  bool interlaced = false;
  std::vector<uint8_t> rgba;  // width * height * 4, rows top to bottom, R G B A
  std::vector<Text> texts;    // tEXt chunks in file order
};

struct Result {
  Error error = Error::Ok;
  std::string message;  // readable, e.g. "PNG: width 70000 exceeds the limit of 16384"
  explicit operator bool() const { return error == Error::Ok; }
};

// On failure `out` is left empty (Image{}).
Result Decode(const uint8_t* data, size_t size, Image& out, const Limits& limits = {});

}  // namespace pngdec
