// Fonts and text drawing: what the layout measures, and what ends up in the pixels.
#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/text.h"

#ifdef LAUNCHER_HAVE_PNG
#include <png.h>

#include <cstdio>
#endif

namespace {

using namespace plat;

constexpr char16_t kInstall[] = u"安装USB驱动 / Install USB Driver";
constexpr char16_t kClose[] = u"关闭 / Close";
constexpr char16_t kNotice[] = u"Copyright (C) 2024 VELOR Electronics Co., Ltd.";
constexpr uint32_t kBlack = 0x000000;

// A surface with its own pixels. Padding past each row's width catches writes beyond a row.
struct Canvas {
  Canvas(int w, int h, uint32_t fill, int pad = 0)
      : pixels(static_cast<size_t>(w + pad) * h, fill), surface{nullptr, w, h, w + pad} {
    surface.bits = pixels.data();
  }
  uint32_t At(int x, int y) const { return pixels[static_cast<size_t>(y) * surface.stride + x]; }
  Rect Whole() const { return {0, 0, surface.width, surface.height}; }

  std::vector<uint32_t> pixels;
  Surface32 surface;
};

// Bounding box of the pixels that differ from `background`; empty when nothing was drawn.
Rect Ink(const Canvas& c, uint32_t background) {
  Rect box{INT_MAX, INT_MAX, INT_MIN, INT_MIN};
  for (int y = 0; y < c.surface.height; ++y) {
    for (int x = 0; x < c.surface.width; ++x) {
      if (c.At(x, y) == background) continue;
      box.left = std::min(box.left, x);
      box.top = std::min(box.top, y);
      box.right = std::max(box.right, x + 1);
      box.bottom = std::max(box.bottom, y + 1);
    }
  }
  return box.Empty() ? Rect{} : box;
}

bool Inside(const Rect& inner, const Rect& outer) {
  return inner.Empty() || (inner.left >= outer.left && inner.top >= outer.top &&
                           inner.right <= outer.right && inner.bottom <= outer.bottom);
}

const Font& FormFont() {
  static const std::shared_ptr<Font> font = Font::Create(FontRequest{});
  if (!font) {
    ADD_FAILURE() << "no font at all: is fontconfig seeing any installed font?";
    std::abort();
  }
  return *font;
}

// The pixels of one line drawn at the origin of a fresh white canvas.
std::vector<uint32_t> Rendered(const Font& font, std::u16string_view text) {
  Canvas c(64, 20, 0xFFFFFFFF);
  font.Draw(c.surface, 2, 2, text, kBlack, c.Whole());
  return c.pixels;
}

#ifdef LAUNCHER_HAVE_PNG
void WritePng(const Canvas& c, const char* path) {
  FILE* f = std::fopen(path, "wb");
  ASSERT_NE(f, nullptr) << path;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  png_init_io(png, f);
  png_set_IHDR(png, info, static_cast<png_uint_32>(c.surface.width),
               static_cast<png_uint_32>(c.surface.height), 8, PNG_COLOR_TYPE_RGB,
               PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  std::vector<uint8_t> row(static_cast<size_t>(c.surface.width) * 3);
  for (int y = 0; y < c.surface.height; ++y) {
    for (int x = 0; x < c.surface.width; ++x) {
      const uint32_t p = c.At(x, y);
      row[x * 3] = static_cast<uint8_t>(p >> 16);
      row[x * 3 + 1] = static_cast<uint8_t>(p >> 8);
      row[x * 3 + 2] = static_cast<uint8_t>(p);
    }
    png_write_row(png, row.data());
  }
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  std::fclose(f);
}
#endif

// ---- metrics and font requests

TEST(FontMetrics, FormFontMeasuresTheLayoutsTextHeight) {
  // The form was laid out for 13 at em 11; anything else rescales the whole window.
  const TextMetrics& m = FormFont().Metrics();
  EXPECT_EQ(m.height, 13);
  EXPECT_EQ(m.ascent + m.descent, m.height);
  EXPECT_GT(m.ascent, m.descent);
  EXPECT_GT(m.average_char_width, 0);
}

TEST(FontMetrics, LargerEmHeightsMeasureMore) {
  int last_height = 0;
  int last_width = 0;
  for (int em : {8, 11, 13, 16, 24, 32}) {
    SCOPED_TRACE("em " + std::to_string(em));
    const auto font = Font::Create(FontRequest{.height = -em});
    ASSERT_NE(font, nullptr);
    EXPECT_GT(font->Metrics().height, last_height);
    EXPECT_GT(font->TextWidth(u"Install USB Driver"), last_width);
    last_height = font->Metrics().height;
    last_width = font->TextWidth(u"Install USB Driver");
  }
}

TEST(FontMetrics, PositiveHeightIsTheCellHeight) {
  for (int cell : {13, 20, 31}) {
    const auto font = Font::Create(FontRequest{.height = cell});
    ASSERT_NE(font, nullptr);
    EXPECT_NEAR(font->Metrics().height, cell, 1) << "cell " << cell;
  }
}

TEST(FontMetrics, BoldIsWiderThanRegular) {
  // Latin comes from a real bold face; the Chinese fallback face has no bold and is made bold.
  const auto bold = Font::Create(FontRequest{.bold = true});
  ASSERT_NE(bold, nullptr);
  for (std::u16string_view text : {u"Install USB Driver", u"关闭"}) {
    EXPECT_GT(bold->TextWidth(text), FormFont().TextWidth(text));
    EXPECT_NE(Rendered(*bold, text), Rendered(FormFont(), text));
  }
}

TEST(FontCreate, SameRequestSharesOneFont) {
  const FontRequest request{.height = -14};
  EXPECT_EQ(Font::Create(request).get(), Font::Create(request).get());
  EXPECT_NE(Font::Create(request).get(), Font::Create(FontRequest{.height = -15}).get());
}

TEST(FontCreate, UnknownFaceGetsASubstitute) {
  const auto font = Font::Create(FontRequest{.name = "No Such Face Anywhere"});
  ASSERT_NE(font, nullptr);
  EXPECT_GT(font->Metrics().height, 0);
  EXPECT_GT(font->TextWidth(u"abc"), 0);
}

// ---- measuring

TEST(TextWidth, GrowsWithTheStringAndAddsUp) {
  const Font& font = FormFont();
  const std::u16string text = kInstall;
  EXPECT_EQ(font.TextWidth(u""), 0);
  int last = 0;
  for (size_t n = 1; n <= text.size(); ++n) {
    const int width = font.TextWidth(std::u16string_view(text).substr(0, n));
    // Spaces and letters alike advance: no character of the caption is zero-width.
    EXPECT_GT(width, last) << "first " << n << " characters";
    last = width;
  }
  // Without kerning the width of a line is the sum of its parts.
  EXPECT_EQ(font.TextWidth(u"安装USB"), font.TextWidth(u"安装") + font.TextWidth(u"USB"));
}

TEST(TextWidth, TabsStopEveryEightAverageCharacterWidths) {
  const Font& font = FormFont();
  const int tab = 8 * font.Metrics().average_char_width;
  const std::u16string wide = u"WWWWWWWWWWWW";  // wider than one tab stop
  const int wide_width = font.TextWidth(wide);
  ASSERT_GT(wide_width, tab);
  struct Case {
    std::u16string text;
    int expected;
  } cases[] = {
      {u"\t", tab},
      {u"a\t", tab},
      {u"\t\t", 2 * tab},
      {u"\tb", tab + font.TextWidth(u"b")},
      {wide + u"\t", (wide_width / tab + 1) * tab},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(font.TextWidth(c.text, true), c.expected) << c.text.size() << " characters";
  }
  EXPECT_NE(font.TextWidth(u"\t", false), tab) << "a tab only jumps when expanded";
}

// ---- drawing

TEST(TextDraw, ChangesPixelsOnlyInsideTheClip) {
  const uint32_t bg = 0x80C0C0C0;
  Canvas c(140, 24, bg, 5);
  const Rect clip{10, 5, 60, 12};  // cuts the line on every side
  FormFont().Draw(c.surface, 2, 2, u"Install USB Driver", kBlack, clip);
  int changed = 0;
  for (int y = 0; y < c.surface.height; ++y) {
    for (int x = 0; x < c.surface.stride; ++x) {
      const uint32_t p = c.At(x, y);
      EXPECT_EQ(p >> 24, bg >> 24u) << x << "," << y << ": the alpha byte belongs to the surface";
      if (p == bg) continue;
      ++changed;
      EXPECT_TRUE(clip.Contains({x, y})) << "drawn outside the clip at " << x << "," << y;
    }
  }
  EXPECT_GT(changed, 0);
}

TEST(TextDraw, StaysInsideTheSurfaceWhereverItStarts) {
  const uint32_t bg = 0xFF0000FF;
  const Rect everywhere{INT_MIN, INT_MIN, INT_MAX, INT_MAX};
  struct Case {
    int x, y;
    bool ink;
  } cases[] = {
      {-40, -6, true},           // off the top left, its tail still on
      {100, 10, true},           // off the right and bottom edges
      {-1000, 0, false},         // wholly to the left
      {0, 500, false},           // wholly below
      {INT_MAX - 5, INT_MAX - 5, false},
      {INT_MIN, INT_MIN, false},
  };
  for (const Case& k : cases) {
    Canvas c(120, 16, bg, 8);
    FormFont().Draw(c.surface, k.x, k.y, kInstall, 0xFFFFFF, everywhere);
    for (int y = 0; y < c.surface.height; ++y) {
      for (int x = c.surface.width; x < c.surface.stride; ++x) {
        ASSERT_EQ(c.At(x, y), bg) << "row padding written, origin " << k.x << "," << k.y;
      }
    }
    EXPECT_EQ(!Ink(c, bg).Empty(), k.ink) << "origin " << k.x << "," << k.y;
  }
}

TEST(TextDraw, SmallTextIsCrispLargeTextBlendsItsEdges) {
  const uint32_t color = 0x00AA3311;
  const auto large = Font::Create(FontRequest{.height = -24});
  ASSERT_NE(large, nullptr);
  struct Case {
    const Font* font;
    bool smooth;  // anti-aliased edges expected
  } cases[] = {{&FormFont(), false}, {large.get(), true}};
  for (const Case& k : cases) {
    for (uint32_t bg : {0xFFFFFFFFu, 0x00FFFFFFu, 0x7F204060u}) {
      SCOPED_TRACE(testing::Message() << std::hex << "background " << bg << " smooth " << k.smooth);
      Canvas c(120, 40, bg);
      // Full blocks cover whole pixels; the letters' curves are partly covered when smooth.
      k.font->Draw(c.surface, 2, 2, u"\u2588\u2588 Ago", color, c.Whole());
      const uint32_t full = (bg & 0xFF000000u) | color;
      int exact = 0;
      int partial = 0;
      for (uint32_t p : c.pixels) {
        if (p == bg) continue;
        if (p == full) {
          ++exact;
          continue;
        }
        ++partial;
        ASSERT_EQ(p >> 24, bg >> 24) << "the alpha byte belongs to the surface";
        for (int shift : {0, 8, 16}) {
          const int v = (p >> shift) & 0xFF, b = (bg >> shift) & 0xFF, f = (color >> shift) & 0xFF;
          EXPECT_TRUE(v >= std::min(b, f) && v <= std::max(b, f))
              << "channel " << shift << " leaves the range between background and colour";
        }
      }
      EXPECT_GE(exact, 2 * 5 * 9) << "two blocks of solid pixels";
      EXPECT_EQ(partial > 0, k.smooth);
    }
  }
}

TEST(TextDraw, InkStaysInTheTextCell) {
  // Baseline at top + ascent: every caption's ink, Chinese included, sits in its 13-pixel cell.
  const Font& font = FormFont();
  for (std::u16string_view text : {std::u16string_view(kInstall), std::u16string_view(kClose),
                                   std::u16string_view(kNotice)}) {
    Canvas c(320, 40, 0xFFFFFFFF);
    font.Draw(c.surface, 4, 10, text, kBlack, c.Whole());
    const Rect ink = Ink(c, 0xFFFFFFFF);
    ASSERT_FALSE(ink.Empty());
    EXPECT_TRUE(Inside(ink, {4, 10, 4 + font.TextWidth(text) + 1, 10 + font.Metrics().height}))
        << "ink " << ink.left << "," << ink.top << " to " << ink.right << "," << ink.bottom;
  }
}

TEST(TextFallback, ChineseCharactersDrawFromAFallbackFace) {
  const Font& font = FormFont();
  const std::vector<uint32_t> missing = Rendered(font, u"\U0010FFFD");  // no face has it
  for (char16_t ch : std::u16string(u"安装驱动关闭用户手册主程序")) {
    const std::u16string one(1, ch);
    const std::vector<uint32_t> drawn = Rendered(font, one);
    SCOPED_TRACE(testing::Message() << "U+" << std::hex << static_cast<int>(ch));
    EXPECT_NE(drawn, Rendered(font, u"")) << "no ink";
    EXPECT_NE(drawn, missing) << "drawn as the missing-glyph box";
    EXPECT_GE(font.TextWidth(one), font.Metrics().average_char_width);
  }
}

TEST(TextFallback, SurrogatePairsDecodeAndStrayHalvesAreReplaced) {
  const Font& font = FormFont();
  const std::u16string pair = u"\U0001D538";  // double-struck A, beyond the BMP
  ASSERT_EQ(pair.size(), 2u);
  const std::u16string lone_high(1, u'\xD835');
  const std::u16string reversed = {pair[1], pair[0]};
  EXPECT_EQ(Rendered(font, lone_high), Rendered(font, u"\uFFFD"));
  EXPECT_EQ(font.TextWidth(reversed), 2 * font.TextWidth(u"\uFFFD"));
  EXPECT_NE(Rendered(font, pair), Rendered(font, u"\uFFFD\uFFFD"));
  EXPECT_NE(Rendered(font, pair), Rendered(font, u"\U0010FFFD"));
}

// ---- DrawTextW

TEST(DrawTextW, PlacesTheLineByItsAlignmentFlags) {
  const Font& font = FormFont();
  const std::u16string text = kClose;
  const int w = font.TextWidth(text);
  const int h = font.Metrics().height;
  for (int rect_width : {193, 194}) {  // odd and even leftovers: halves are truncated
    const int left = 10, top = 20, right = left + rect_width, bottom = top + 25;
    struct Case {
      uint32_t format;
      int x, y;
    } cases[] = {
        {DT_LEFT, left, top},
        {DT_CENTER, left + (rect_width - w) / 2, top},
        {DT_RIGHT, right - w, top},
        {DT_CENTER | DT_VCENTER | DT_SINGLELINE, left + (rect_width - w) / 2, top + (25 - h) / 2},
        {DT_RIGHT | DT_BOTTOM, right - w, bottom - h},
    };
    for (const Case& k : cases) {
      SCOPED_TRACE(testing::Message() << "width " << rect_width << " format " << k.format);
      Canvas got(240, 60, 0xFFF0F0F0), want(240, 60, 0xFFF0F0F0);
      Rect rect{left, top, right, bottom};
      DrawTextW(got.surface, font, text, rect, k.format, kBlack);
      font.Draw(want.surface, k.x, k.y, text, kBlack, want.Whole());
      EXPECT_EQ(got.pixels, want.pixels);
      EXPECT_EQ(rect.right, right) << "drawing leaves the rect as it was";
    }
  }
}

TEST(DrawTextW, CalcRectMeasuresWithoutDrawing) {
  const Font& font = FormFont();
  struct Case {
    std::u16string text;
    uint32_t format;
    int width;
  } cases[] = {
      {kNotice, DT_CALCRECT, font.TextWidth(kNotice)},
      {u"a\tb", DT_CALCRECT | DT_EXPANDTABS, font.TextWidth(u"a\tb", true)},
      {u"&Close", DT_CALCRECT | DT_CENTER | DT_VCENTER, font.TextWidth(u"Close")},
      {u"", DT_CALCRECT, 0},
  };
  for (const Case& k : cases) {
    Canvas c(40, 40, 0xFF123456);
    Rect rect{5, 7, 30, 9};
    EXPECT_EQ(DrawTextW(c.surface, font, k.text, rect, k.format, kBlack), 13);
    EXPECT_EQ(rect.left, 5);
    EXPECT_EQ(rect.top, 7);
    EXPECT_EQ(rect.right, 5 + k.width);
    EXPECT_EQ(rect.bottom, 7 + 13);
    EXPECT_TRUE(Ink(c, 0xFF123456).Empty()) << "measuring drew something";
  }
}

TEST(DrawTextW, ReturnsHeightOrOffsetToTheTextBottom) {
  struct Case {
    uint32_t format;
    int expected;
  } cases[] = {
      {DT_LEFT, 13},
      {DT_CENTER | DT_VCENTER, (25 - 13) / 2 + 13},
      {DT_BOTTOM, 25},
  };
  for (const Case& k : cases) {
    Canvas c(200, 40, 0xFFFFFFFF);
    Rect rect{0, 5, 200, 30};
    EXPECT_EQ(DrawTextW(c.surface, FormFont(), kClose, rect, k.format, kBlack), k.expected)
        << "format " << k.format;
  }
}

TEST(DrawTextW, ClipsToTheRectUnlessTold) {
  const Rect narrow{20, 4, 60, 17};
  for (bool noclip : {false, true}) {
    Canvas c(200, 24, 0xFFFFFFFF);
    Rect rect = narrow;
    DrawTextW(c.surface, FormFont(), kNotice, rect, noclip ? DT_NOCLIP : DT_LEFT, kBlack);
    EXPECT_EQ(Inside(Ink(c, 0xFFFFFFFF), narrow), !noclip) << "noclip " << noclip;
  }
}

TEST(DrawTextW, AmpersandsMarkTheUnderlinedCharacter) {
  const Font& font = FormFont();
  const int underline_row = 4 + font.Metrics().ascent + 1;
  struct Case {
    std::u16string text;
    uint32_t format;
    std::u16string shown;
    std::u16string underlined;  // the character drawn with a line under it, if any
  } cases[] = {
      {u"&Close", DT_LEFT, u"Close", u"C"},
      {u"A&&B", DT_LEFT, u"A&B", u""},
      {u"&Close", DT_NOPREFIX, u"&Close", u""},
      {u"Close&", DT_LEFT, u"Close&", u""},
      {u"&\U0001D538x", DT_LEFT, u"\U0001D538x", u"\U0001D538"},  // a pair is one character
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(testing::Message() << k.text.size() << " code units, format " << k.format);
    Canvas got(120, 24, 0xFFFFFFFF), want(120, 24, 0xFFFFFFFF);
    Rect rect{4, 4, 120, 24};
    DrawTextW(got.surface, font, k.text, rect, k.format, kBlack);
    font.Draw(want.surface, 4, 4, k.shown, kBlack, want.Whole());
    std::vector<int> line;  // columns where the drawings differ
    for (int y = 0; y < 24; ++y) {
      for (int x = 0; x < 120; ++x) {
        if (got.At(x, y) == want.At(x, y)) continue;
        EXPECT_EQ(y, underline_row) << "differs off the underline row at " << x << "," << y;
        EXPECT_EQ(got.At(x, y), 0xFF000000u);
        line.push_back(x);
      }
    }
    const int w = font.TextWidth(k.underlined);
    // The underline spans the character's advance, less pixels that its own ink already set.
    if (w == 0) {
      EXPECT_TRUE(line.empty());
    } else {
      ASSERT_FALSE(line.empty());
      EXPECT_GE(line.front(), 4);
      EXPECT_LT(line.back(), 4 + w);
    }
  }
}

TEST(DrawTextW, ExtremeRectsStayInRangeAndInTheSurface) {
  const uint32_t bg = 0xFF336699;
  struct Case {
    Rect rect;
    uint32_t format;
  } cases[] = {
      {{INT_MIN, INT_MIN, INT_MAX, INT_MAX}, DT_CENTER | DT_VCENTER},
      {{INT_MIN, INT_MIN, INT_MAX, INT_MAX}, DT_RIGHT | DT_BOTTOM},
      {{INT_MAX - 3, INT_MAX - 3, INT_MAX, INT_MAX}, DT_LEFT},
      {{INT_MAX - 3, INT_MAX - 3, INT_MAX, INT_MAX}, DT_CALCRECT},
      {{40, 30, -40, -30}, DT_CENTER | DT_VCENTER},  // inverted: nothing to draw in
  };
  for (const Case& k : cases) {
    Canvas c(64, 16, bg, 4);
    Rect rect = k.rect;
    DrawTextW(c.surface, FormFont(), u"&Install", rect, k.format, kBlack);
    for (int y = 0; y < c.surface.height; ++y) {
      for (int x = c.surface.width; x < c.surface.stride; ++x) ASSERT_EQ(c.At(x, y), bg);
    }
    if (k.format & DT_CALCRECT) {
      EXPECT_EQ(rect.right, INT_MAX);
      EXPECT_EQ(rect.bottom, INT_MAX);
    }
  }
}

// The two visible captions on button faces and the notice under them, as the window shows
// them. Set LAUNCHER_TEXT_PNG to a path to get the picture.
TEST(TextSample, CaptionsAndNoticeDrawInTheirRects) {
  const Font& font = FormFont();
  const uint32_t face = 0xFFD4D0C8;
  Canvas c(300, 100, face);
  struct Line {
    std::u16string_view text;
    Rect rect;
    uint32_t format;
  } lines[] = {
      {kInstall, {8, 8, 8 + 193, 8 + 25}, DT_CENTER | DT_VCENTER | DT_SINGLELINE},
      {kClose, {8, 40, 8 + 81, 40 + 25}, DT_CENTER | DT_VCENTER | DT_SINGLELINE},
      {kNotice, {8, 76, 292, 76 + 13}, DT_LEFT | DT_EXPANDTABS},
  };
  for (const Line& line : lines) {
    Rect rect = line.rect;
    DrawTextW(c.surface, font, line.text, rect, line.format, kBlack);
  }
  for (const Line& line : lines) {
    Canvas alone(300, 100, face);
    Rect rect = line.rect;
    DrawTextW(alone.surface, font, line.text, rect, line.format, kBlack);
    const Rect ink = Ink(alone, face);
    EXPECT_FALSE(ink.Empty());
    EXPECT_TRUE(Inside(ink, line.rect));
  }
#ifdef LAUNCHER_HAVE_PNG
  if (const char* path = std::getenv("LAUNCHER_TEXT_PNG")) WritePng(c, path);
#endif
}

}  // namespace
