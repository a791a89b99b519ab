// Face selection with fontconfig: one start per process, one match per font request, and a
// lazy match per character that the chosen faces lack (CJK in the button captions).
#include <fcntl.h>
#include <fontconfig/fontconfig.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <string_view>

#include "text_internal.h"

namespace plat::textimpl {

namespace {

bool EqualNoCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) ==
                  std::tolower(static_cast<unsigned char>(y));
         });
}

// Em size in pixels that fontconfig sees; only size-dependent configuration rules use it.
double RequestedPixels(const FontRequest& request) {
  if (request.height < 0) return -static_cast<double>(request.height);
  if (request.height > 0) return request.height * 0.85;  // a cell is roughly 1.2 em
  return 11.0;
}

// Han ideographs, where Chinese and Japanese faces draw different shapes.
bool IsHan(char32_t c) {
  return (c >= 0x3400 && c <= 0x4DBF) || (c >= 0x4E00 && c <= 0x9FFF) ||
         (c >= 0xF900 && c <= 0xFAFF) || (c >= 0x20000 && c <= 0x3FFFF);
}

// Font files are read, not mapped. FreeType would map the whole file, and the kernel maps up
// to 64 kB of cached file around every page that is touched: the few glyphs of a caption
// scattered over a 5 MB CJK collection then cost well over a megabyte of resident memory.
// Through a stream FreeType copies only the tables it keeps (character map, metrics, glyph
// locations) and reads each glyph when it loads it.
unsigned long ReadFontFile(FT_Stream stream, unsigned long offset, unsigned char* buffer,
                           unsigned long count) {
  if (count == 0) return offset > stream->size ? 1 : 0;  // a seek: non-zero is the failure
  const int fd = static_cast<int>(stream->descriptor.value);
  unsigned long done = 0;
  while (done < count) {
    const ssize_t n = pread(fd, buffer + done, count - done, static_cast<off_t>(offset + done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += static_cast<unsigned long>(n);
  }
  return done;
}

// FreeType calls this once, when the face goes or when opening it failed.
void CloseFontFile(FT_Stream stream) {
  close(static_cast<int>(stream->descriptor.value));
  delete stream;
}

}  // namespace

std::string SubstituteFamily(const std::string& name) {
  // The Windows dialog faces. Their layouts assume a text height of 13 at em 11; DejaVu Sans
  // rounds to 10 + 3 there, and Liberation Sans (Arial's metrics) only to 12.
  static constexpr std::array<std::pair<std::string_view, std::string_view>, 7> kTable{{
      {"MS Sans Serif", "DejaVu Sans"},
      {"Microsoft Sans Serif", "DejaVu Sans"},
      {"MS Shell Dlg", "DejaVu Sans"},
      {"MS Shell Dlg 2", "DejaVu Sans"},
      {"Tahoma", "DejaVu Sans"},
      {"System", "DejaVu Sans"},
      {"MS Serif", "DejaVu Serif"},
  }};
  for (const auto& [from, to] : kTable) {
    if (EqualNoCase(name, from)) return std::string(to);
  }
  return name;
}

std::shared_ptr<FontLibrary> FontLibrary::Instance() {
  // Started once, on first use, for the whole process; later calls share it.
  static const std::shared_ptr<FontLibrary> instance = []() -> std::shared_ptr<FontLibrary> {
    FT_Library ft = nullptr;
    if (FT_Init_FreeType(&ft) != 0) return nullptr;
    FcConfig* config = FcInitLoadConfigAndFonts();
    if (config == nullptr) {
      FT_Done_FreeType(ft);
      return nullptr;
    }
    return std::shared_ptr<FontLibrary>(new FontLibrary(ft, config));
  }();
  return instance;
}

FontLibrary::~FontLibrary() {
  FT_Done_FreeType(ft_);
  FcConfigDestroy(config_);
  // Nothing else in the program uses fontconfig, so its process-wide caches go too; that
  // keeps the leak checker's report free of them.
  FcFini();
}

std::optional<FaceChoice> FontLibrary::Match(const FontRequest& request,
                                             std::optional<char32_t> must_have) {
  std::lock_guard lock(mutex_);
  FcPattern* pattern = FcPatternCreate();
  if (pattern == nullptr) return std::nullopt;

  const std::string first = SubstituteFamily(request.name);
  if (!first.empty()) {
    FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(first.c_str()));
  }
  if (first != request.name && !request.name.empty()) {
    FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(request.name.c_str()));
  }
  FcPatternAddInteger(pattern, FC_WEIGHT, request.bold ? FC_WEIGHT_BOLD : FC_WEIGHT_REGULAR);
  FcPatternAddInteger(pattern, FC_SLANT, request.italic ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
  FcPatternAddDouble(pattern, FC_PIXEL_SIZE, RequestedPixels(request));
  // Outlines only: a bitmap strike would not scale with the requested height.
  FcPatternAddBool(pattern, FC_SCALABLE, FcTrue);
  if (must_have) {
    // Coverage outranks the family in fontconfig's scoring, so one plain match finds the
    // nearest face that has the character, without sorting every font on the machine.
    FcCharSet* charset = FcCharSetCreate();
    FcCharSetAddChar(charset, *must_have);
    FcPatternAddCharSet(pattern, FC_CHARSET, charset);
    FcCharSetDestroy(charset);
    // The captions are Simplified Chinese: where several CJK faces are installed, the
    // configuration's language rules then prefer the Simplified Chinese one.
    if (IsHan(*must_have)) {
      FcPatternAddString(pattern, FC_LANG, reinterpret_cast<const FcChar8*>("zh-cn"));
    }
  }
  FcConfigSubstitute(config_, pattern, FcMatchPattern);
  FcDefaultSubstitute(pattern);

  FcResult result = FcResultNoMatch;
  FcPattern* match = FcFontMatch(config_, pattern, &result);
  FcPatternDestroy(pattern);
  if (match == nullptr) return std::nullopt;

  std::optional<FaceChoice> choice;
  FcChar8* file = nullptr;
  FcCharSet* coverage = nullptr;
  const bool covers = !must_have ||
                      (FcPatternGetCharSet(match, FC_CHARSET, 0, &coverage) == FcResultMatch &&
                       FcCharSetHasChar(coverage, *must_have));
  if (covers && FcPatternGetString(match, FC_FILE, 0, &file) == FcResultMatch) {
    choice.emplace();
    choice->file = reinterpret_cast<const char*>(file);
    int index = 0;
    if (FcPatternGetInteger(match, FC_INDEX, 0, &index) == FcResultMatch) choice->index = index;
    FcBool embolden = FcFalse;
    if (FcPatternGetBool(match, FC_EMBOLDEN, 0, &embolden) == FcResultMatch) {
      choice->embolden = embolden == FcTrue;
    }
    FcMatrix* m = nullptr;
    if (FcPatternGetMatrix(match, FC_MATRIX, 0, &m) == FcResultMatch && m != nullptr &&
        (m->xx != 1 || m->xy != 0 || m->yx != 0 || m->yy != 1)) {
      choice->transform = true;
      choice->matrix = FT_Matrix{static_cast<FT_Fixed>(m->xx * 0x10000),
                                 static_cast<FT_Fixed>(m->xy * 0x10000),
                                 static_cast<FT_Fixed>(m->yx * 0x10000),
                                 static_cast<FT_Fixed>(m->yy * 0x10000)};
    }
  }
  FcPatternDestroy(match);
  return choice;
}

FT_Face FontLibrary::OpenFace(const FaceChoice& choice) {
  std::lock_guard lock(mutex_);
  const int fd = open(choice.file.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return nullptr;
  const off_t size = lseek(fd, 0, SEEK_END);
  if (size <= 0 || static_cast<unsigned long long>(size) > ULONG_MAX) {
    close(fd);
    return nullptr;
  }
  auto* stream = new FT_StreamRec{};
  stream->size = static_cast<unsigned long>(size);
  stream->descriptor.value = fd;
  stream->read = &ReadFontFile;
  stream->close = &CloseFontFile;
  FT_Open_Args args{};
  args.flags = FT_OPEN_STREAM;
  args.stream = stream;
  FT_Face face = nullptr;
  // The stream is FreeType's from here on, whether the face opens or not.
  if (FT_Open_Face(ft_, &args, choice.index, &face) != 0) return nullptr;
  return face;
}

void FontLibrary::CloseFace(FT_Face face) {
  std::lock_guard lock(mutex_);
  FT_Done_Face(face);
}

}  // namespace plat::textimpl
