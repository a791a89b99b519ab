// The asset generator's pieces: the artwork and icon painters, and the writers for PNG, ICO and the
// binary properties of a form description. The program gen_assets and the asset tests share them.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace assets {

using Bytes = std::vector<uint8_t>;

// 8-bit RGBA, rows top to bottom, not premultiplied.
struct Rgba8 {
  uint32_t width = 0;
  uint32_t height = 0;
  Bytes pixels;  // width * height * 4
};

// The artwork's geometry: a translucent body with a shadow along the right and bottom edges.
inline constexpr uint32_t kArtWidth = 546;
inline constexpr uint32_t kArtHeight = 319;
inline constexpr uint32_t kBodyWidth = 536;   // columns 0..535
inline constexpr uint32_t kBodyHeight = 301;  // rows 0..300
inline constexpr uint8_t kBodyAlpha = 219;
inline constexpr uint8_t kBodyAlphaMax = 249;
inline constexpr uint8_t kRightShadow[10] = {144, 125, 99, 65, 40, 20, 6, 0, 0, 0};
inline constexpr uint8_t kBottomShadow[8] = {158, 144, 125, 99, 65, 40, 20, 6};

// Where the shadows meet: the product of both ramps, scaled so that the corner's first pixel
// keeps the right ramp's first value. Never darker than either ramp.
uint8_t CornerShadowAlpha(uint32_t column_in_ramp, uint32_t row_in_ramp);

// The icon's image sizes, in directory order.
inline constexpr int kIconSizes[4] = {48, 32, 24, 16};

// The text of the PNG's "Software" tEXt chunk.
inline constexpr const char* kSoftwareText = "gen_assets (VELOR setup launcher)";

// PNG: IHDR, optional tEXt, the zlib stream (deflate level 9) split over idat_count IDAT chunks, IEND.
struct PngOptions {
  std::optional<std::pair<std::string, std::string>> text;  // keyword, text
  int idat_count = 1;
};
Bytes EncodePng(const Rgba8& image, const PngOptions& options);
uint32_t Crc32(const uint8_t* data, size_t size, uint32_t crc = 0);

// ICO with one 32-bit BMP image (BITMAPINFOHEADER, doubled height, BGRA rows bottom-up, then the
// AND mask) per entry, in the given order.
Bytes EncodeIco(const std::vector<Rgba8>& images);

// Painters. Both are pure functions of the installed fonts; they throw std::runtime_error when no
// font can be loaded.
Rgba8 PaintArtwork();
Rgba8 PaintIcon(int size);

// The finished files, byte for byte as committed under resources/.
Bytes MakeArtworkPng();
Bytes MakeIconIco();

// The picture stream of a TImage holding a PNG: a length byte, the class name "TPNGObject", the file.
Bytes PictureData(const Bytes& png);

// Rewrites the hex blocks of the properties named in `blocks` (e.g. "Picture.Data"; every occurrence)
// in a form description, 64 upper-case hex digits per line, indented two spaces deeper than the
// property line, in the file's own line endings; every other byte of the text stays as it was. Throws std::runtime_error when a named property is
// missing or its block has no closing brace.
struct DfmBlock {
  std::string property;
  Bytes data;
};
std::string UpdateDfm(const std::string& text, const std::vector<DfmBlock>& blocks);

}  // namespace assets
