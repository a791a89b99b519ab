// Pictures: the graphic base class, the picture that owns one graphic, and the registry of
// picture formats by class name (form descriptions) and by file extension (files).
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/surface.h"

namespace vcl {

// One decoded image that can draw itself into a surface. Subclasses are the picture formats.
class TGraphic {
 public:
  virtual ~TGraphic();
  TGraphic() = default;
  TGraphic(const TGraphic&) = delete;
  TGraphic& operator=(const TGraphic&) = delete;

  // The registered class name, the one a form description stores ("TPNGObject").
  virtual const char* ClassName() const = 0;
  virtual int Width() const = 0;
  virtual int Height() const = 0;
  bool Empty() const { return Width() <= 0 || Height() <= 0; }

  // Replaces the image with the one in these bytes (a whole image file). Bad data raises
  // EInvalidGraphic with the decoder's message and leaves the previous image in place.
  virtual void LoadFromBytes(const uint8_t* data, size_t size) = 0;
  // A file that cannot be read raises EReadError naming it.
  void LoadFromFile(const std::string& path);

  // Draws at natural size with the top left at (x, y) in surface coordinates, clipped to the
  // surface. The canvas calls this with its surface; a graphic knows nothing of windows.
  virtual void Draw(const plat::Surface32& dst, int x, int y) const = 0;
};

// The part of a width x height image placed at (x, y) that falls on a surface.
struct TDrawClip {
  int src_x = 0;
  int src_y = 0;
  int dst_x = 0;
  int dst_y = 0;
  int width = 0;
  int height = 0;
};

// False when nothing of the image lands on the surface. Safe for any int position.
bool ClipDraw(const plat::Surface32& dst, int x, int y, int width, int height, TDrawClip& out);

using TGraphicFactory = std::function<std::unique_ptr<TGraphic>()>;

struct TPictureFormat {
  std::string Extension;    // lower case, without the dot: "png"
  std::string Description;  // "Portable Network Graphics"
  std::string ClassName;    // "TPNGObject"
  TGraphicFactory Factory;
};

// A picture owns at most one graphic, of whatever registered format was loaded into it.
class TPicture {
 public:
  TPicture();
  ~TPicture();
  TPicture(const TPicture&) = delete;
  TPicture& operator=(const TPicture&) = delete;

  // Reads the picture as a form description stores it: one length byte, the graphic's class
  // name in ASCII, then the image file. An unknown class or bad image raises EInvalidGraphic.
  void LoadFromData(const uint8_t* data, size_t size);
  // Picks the format by the file's extension, in any letter case.
  void LoadFromFile(const std::string& path);

  // Takes ownership; nullptr empties the picture.
  void SetGraphic(std::unique_ptr<TGraphic> graphic);
  TGraphic* Graphic() const { return graphic_.get(); }
  int Width() const { return graphic_ ? graphic_->Width() : 0; }
  int Height() const { return graphic_ ? graphic_->Height() : 0; }
  bool Empty() const { return !graphic_ || graphic_->Empty(); }

  // Called after every successful load or SetGraphic, so an image control can resize.
  std::function<void()> OnChange;

  // The registry. Formats register at start-up from static objects of their own units, so the
  // registry lives in a function-local static that exists before its first use.
  // A second registration of an extension or class name replaces the first.
  static void RegisterFileFormat(const std::string& extension, const std::string& description,
                                 const std::string& class_name, TGraphicFactory factory);
  // Removes the class name and every extension registered for it.
  static void UnregisterGraphicClass(const std::string& class_name);
  // nullptr when not registered. The extension is matched in any letter case, with or without
  // its leading dot.
  static const TPictureFormat* FindFileFormat(const std::string& extension);
  static const TPictureFormat* FindGraphicClass(const std::string& class_name);
  // Every registered extension, in registration order.
  static std::vector<TPictureFormat> FileFormats();

 private:
  void Changed();
  std::unique_ptr<TGraphic> graphic_;
};

}  // namespace vcl
