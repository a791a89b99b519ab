// Shared by the text files: the process-wide font library (FreeType and fontconfig together)
// and the face it picks for a font request.
#pragma once

#include <ft2build.h>
#include FT_FREETYPE_H

#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "platform/text.h"

typedef struct _FcConfig FcConfig;

namespace plat::textimpl {

// One face in one font file, as fontconfig chose it, with the synthetic styling it asks for
// when the family lacks the requested weight or slant.
struct FaceChoice {
  std::string file;
  int index = 0;           // face in a collection (.ttc), plus the named instance bits
  bool embolden = false;   // no bold face: glyphs are overstruck
  bool transform = false;  // no italic face: fontconfig's shear matrix applies
  FT_Matrix matrix{0x10000, 0, 0, 0x10000};
};

// FreeType and fontconfig, started once per process on first use: fontconfig's start reads
// every font cache on the machine, which is the slow part of showing the first text.
// Lives as long as any font does; the last owner gives everything back.
class FontLibrary {
 public:
  // nullptr when FreeType or fontconfig cannot start.
  static std::shared_ptr<FontLibrary> Instance();
  ~FontLibrary();
  FontLibrary(const FontLibrary&) = delete;
  FontLibrary& operator=(const FontLibrary&) = delete;

  // The face for `request`; with `must_have`, the best face that has that character, for the
  // per-character fallback. Empty when no installed face fits.
  std::optional<FaceChoice> Match(const FontRequest& request, std::optional<char32_t> must_have);

  // Opens a face (under the library lock, as FreeType asks); nullptr when the file is unusable.
  FT_Face OpenFace(const FaceChoice& choice);
  void CloseFace(FT_Face face);

 private:
  FontLibrary(FT_Library ft, FcConfig* config) : ft_(ft), config_(config) {}

  std::mutex mutex_;
  FT_Library ft_ = nullptr;
  FcConfig* config_ = nullptr;
};

// The family fontconfig is asked for first: Windows UI faces that Linux has no copy of get
// a substitute whose metrics match the layout (DejaVu Sans at em 11 measures 13 like the
// original); any other name is asked for as it is.
std::string SubstituteFamily(const std::string& name);

}  // namespace plat::textimpl
