// The product's artwork and icon: a dark brand header with waveform traces and the product name,
// a light body where the buttons and the copyright line sit, and the maker's logo at the bottom left.
#include <algorithm>
#include <cmath>

#include "assets.h"
#include "paint.h"

namespace assets {
namespace {

constexpr float kPi = 3.14159265f;
constexpr int kBodyW = int(kBodyWidth), kBodyH = int(kBodyHeight);

// The lower edge of the header band: a slow swell, lower on the right so the buttons (from row 120)
// sit well clear of it.
float HeaderEdge(float x) {
  return 98.0f + 9.0f * std::cos(kPi * x / float(kBodyW)) + 3.0f * std::sin(2 * kPi * x / 260.0f + 0.6f);
}

float Smooth(float e0, float e1, float x) {
  const float t = std::clamp((x - e0) / (e1 - e0), 0.0f, 1.0f);
  return t * t * (3 - 2 * t);
}

}  // namespace

uint8_t CornerShadowAlpha(uint32_t column_in_ramp, uint32_t row_in_ramp) {
  const uint32_t c = kRightShadow[column_in_ramp], r = kBottomShadow[row_in_ramp];
  return static_cast<uint8_t>((c * r + kBottomShadow[0] / 2) / kBottomShadow[0]);
}

Rgba8 PaintArtwork() {
  Canvas body(kBodyW, kBodyH);
  const Color navy = Hex(0x0A2342), teal = Hex(0x0E6F86), cyan = Hex(0x2BC4DC), white = Hex(0xFFFFFF);
  const Color paper_top = Hex(0xF5F8FB), paper_bottom = Hex(0xDDE6EE);

  // Light body, then the header band over it with an anti-aliased lower edge.
  body.Shade([&](float, float y) {
    return std::pair{Mix(paper_top, paper_bottom, y / float(kBodyH)), 1.0f};
  });
  body.Shade([&](float x, float y) {
    const float d = y - HeaderEdge(x);
    return std::pair{Mix(navy, navy, 0), d > 0 && d < 14 ? 0.10f * (1 - d / 14) * (1 - d / 14) : 0.0f};
  });
  body.Shade([&](float x, float y) {
    Color c = Mix(navy, teal, std::pow(x / float(kBodyW), 0.8f));
    c = Mix(c, Hex(0x061733), 0.35f * (1 - y / 110.0f));
    return std::pair{c, std::clamp(HeaderEdge(x) - y + 0.5f, 0.0f, 1.0f)};
  });

  // A fine measuring grid in the header, fading out towards its edge.
  body.Shade([&](float x, float y) {
    const int xi = int(x), yi = int(y);
    const bool line = xi % 14 == 6 || yi % 14 == 6;
    const float inside = Smooth(0, 12, HeaderEdge(x) - y);
    return std::pair{white, line ? 0.045f * inside : 0.0f};
  });

  // Three phase traces and one with harmonics, strongest on the right, quiet under the title.
  auto in_header = [&](float x) { return Smooth(150, 330, x); };
  const Color traces[3] = {Hex(0x5FE3F0), Hex(0x78F0C0), Hex(0x8DB6FF)};
  for (int phase = 0; phase < 3; ++phase) {
    const float shift = float(phase) * 2 * kPi / 3;
    body.Curve(0, float(kBodyW), [&](float x) { return 62.0f + 17.0f * std::sin(2 * kPi * x / 190.0f + shift); },
               1.4f, traces[phase], 0.55f, 3.5f, 0.12f, in_header);
  }
  body.Curve(0, float(kBodyW),
             [&](float x) {
               const float t = 2 * kPi * x / 190.0f + 0.8f;
               return 62.0f + 11.0f * std::sin(t) + 4.0f * std::sin(3 * t) + 2.0f * std::sin(5 * t);
             },
             1.0f, white, 0.35f, 2.5f, 0.06f, in_header);

  // The glowing accent along the header's edge.
  body.Curve(0, float(kBodyW), HeaderEdge, 1.6f, cyan, 0.9f, 3.0f, 0.22f);

  // The grid continues faintly into the light body on the left, where nothing has to be read.
  body.Shade([&](float x, float y) {
    const int xi = int(x), yi = int(y);
    const bool line = xi % 14 == 6 || yi % 14 == 6;
    const float below = Smooth(0, 20, y - HeaderEdge(x)) * (1.0f - Smooth(120, 300, x)) * (1.0f - Smooth(230, 262, y));
    return std::pair{teal, line ? 0.05f * below : 0.0f};
  });

  // Soft waves in the light body, only on the left half and below the header, so that the buttons
  // and the copyright line keep a calm ground.
  auto left_only = [&](float x) { return 1.0f - Smooth(180, 310, x); };
  for (int k = 0; k < 3; ++k) {
    const float fk = float(k);
    body.Curve(0, float(kBodyW),
               [&, fk](float x) { return 190.0f + 8 * fk + (26 - 6 * fk) * std::sin(2 * kPi * x / (260 + 40 * fk) + 1.2f + fk); },
               1.2f, Mix(teal, cyan, 0.3f * fk), 0.22f, 6.0f, 0.05f, left_only);
  }

  // The highlight sweep: a broad diagonal sheen, brighter on the header.
  body.Shade([&](float x, float y) {
    const float d = (x + 0.55f * y - 330.0f) / 70.0f;
    const float header = Smooth(-1, 1, HeaderEdge(x) - y);
    return std::pair{white, std::exp(-d * d) * (0.04f + 0.08f * header)};
  });

  // Product name and subtitle. Their ink, like the logo's, is made a little more opaque than the
  // translucent body so that they stay crisp over a dark desktop.
  std::vector<float> ink(size_t(kBodyW) * kBodyH, 0.0f);
  auto record = [&](int x, int y, float cover) {
    if (x >= 0 && y >= 0 && x < kBodyW && y < kBodyH) {
      float& v = ink[size_t(y) * kBodyW + size_t(x)];
      v = std::max(v, cover);
    }
  };
  const Font title("DejaVu Sans:bold", 25);
  const Font subtitle("DejaVu Sans", 13);
  title.Draw(body, 19, 42, "KVT3086 Power Analyzer", Hex(0x03101F), 0.45f);
  title.Draw(body, 18, 40, "KVT3086 Power Analyzer", white, 1.0f, record);
  subtitle.Draw(body, 20, 62, "Power Quality Analysis Software", Hex(0xBFE8F0), 0.95f);

  // The maker's logo: the emblem and the name, bottom left, clear of the copyright line at x 112.
  DrawEmblem(body, 14, 264, 26, record);
  const Font logo("DejaVu Sans:bold", 16);
  logo.Draw(body, 45, 283, "VELOR", Hex(0x0B2A4F), 1.0f, record);

  Rgba8 out{kArtWidth, kArtHeight, Bytes(size_t(kArtWidth) * kArtHeight * 4, 0)};
  const Rgba8 painted = body.ToRgba8();
  for (uint32_t y = 0; y < kArtHeight; ++y)
    for (uint32_t x = 0; x < kArtWidth; ++x) {
      uint8_t* p = &out.pixels[(size_t(y) * kArtWidth + x) * 4];
      if (x < kBodyWidth && y < kBodyHeight) {
        const uint8_t* s = &painted.pixels[(size_t(y) * kBodyWidth + x) * 4];
        p[0] = s[0];
        p[1] = s[1];
        p[2] = s[2];
        const float boost = ink[size_t(y) * kBodyW + x];
        p[3] = static_cast<uint8_t>(kBodyAlpha + std::lround(float(kBodyAlphaMax - kBodyAlpha) * boost));
      } else if (x >= kBodyWidth && y < kBodyHeight) {
        p[3] = kRightShadow[x - kBodyWidth];  // shadow: black, only its alpha varies
      } else if (x < kBodyWidth && y < kBodyHeight + 8) {
        p[3] = kBottomShadow[y - kBodyHeight];
      } else if (y < kBodyHeight + 8) {
        p[3] = CornerShadowAlpha(x - kBodyWidth, y - kBodyHeight);
      }
    }
  return out;
}

Rgba8 PaintIcon(int size) {
  Canvas canvas(size, size);
  DrawEmblem(canvas, 0, 0, size);
  return canvas.ToRgba8();
}

Bytes MakeArtworkPng() {
  PngOptions options;
  options.text = {"Software", kSoftwareText};
  options.idat_count = 3;
  return EncodePng(PaintArtwork(), options);
}

Bytes MakeIconIco() {
  std::vector<Rgba8> images;
  for (int size : kIconSizes) images.push_back(PaintIcon(size));
  return EncodeIco(images);
}

}  // namespace assets
