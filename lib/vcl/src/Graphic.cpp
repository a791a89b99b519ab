// The graphic base class, the picture and the registry of picture formats.
#include "vcl/Graphic.h"

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <list>
#include <map>
#include <utility>

#include "vcl/SysUtils.h"

namespace vcl {

namespace {

std::string Lower(std::string s) {
  for (char& c : s)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return s;
}

std::string NormalExtension(const std::string& extension) {
  return Lower(!extension.empty() && extension[0] == '.' ? extension.substr(1) : extension);
}

// Lists keep their nodes in place, so the pointers that the look-ups hand out stay valid
// while other formats register.
struct Registry {
  std::list<TPictureFormat> by_extension;  // registration order
  std::map<std::string, TPictureFormat> by_class;
};

Registry& Formats() {
  static Registry registry;
  return registry;
}

// Clips one axis: the image spans [pos, pos + len) and the surface [0, limit).
bool ClipAxis(int pos, int len, int limit, int& src, int& dst, int& out_len) {
  const int64_t begin = std::max<int64_t>(pos, 0);
  const int64_t end = std::min<int64_t>(int64_t{pos} + len, limit);
  if (len <= 0 || limit <= 0 || end <= begin) return false;
  src = static_cast<int>(begin - pos);
  dst = static_cast<int>(begin);
  out_len = static_cast<int>(end - begin);
  return true;
}

std::vector<uint8_t> ReadFileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw EReadError("Cannot open file \"" + path + "\"");
  std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (in.bad()) throw EReadError("Error reading file \"" + path + "\"");
  return bytes;
}

std::unique_ptr<TGraphic> Create(const TPictureFormat& format) {
  std::unique_ptr<TGraphic> graphic = format.Factory ? format.Factory() : nullptr;
  if (!graphic) throw EInvalidGraphic("Picture format '" + format.ClassName + "' cannot be created");
  return graphic;
}

}  // namespace

TGraphic::~TGraphic() = default;

void TGraphic::LoadFromFile(const std::string& path) {
  const std::vector<uint8_t> bytes = ReadFileBytes(path);
  LoadFromBytes(bytes.data(), bytes.size());
}

bool ClipDraw(const plat::Surface32& dst, int x, int y, int width, int height, TDrawClip& out) {
  if (dst.bits == nullptr) return false;
  TDrawClip c;
  if (!ClipAxis(x, width, dst.width, c.src_x, c.dst_x, c.width)) return false;
  if (!ClipAxis(y, height, dst.height, c.src_y, c.dst_y, c.height)) return false;
  out = c;
  return true;
}

TPicture::TPicture() = default;
TPicture::~TPicture() = default;

void TPicture::LoadFromData(const uint8_t* data, size_t size) {
  if (data == nullptr || size == 0) throw EInvalidGraphic("Picture data is empty");
  const size_t name_length = data[0];
  if (name_length == 0 || size < 1 + name_length)
    throw EInvalidGraphic("Picture data ends inside the class name");
  const std::string class_name(reinterpret_cast<const char*>(data + 1), name_length);
  const TPictureFormat* format = FindGraphicClass(class_name);
  if (format == nullptr) throw EInvalidGraphic("Unknown picture format '" + class_name + "'");
  // Load into a fresh graphic first, so a bad image leaves the current one untouched.
  std::unique_ptr<TGraphic> graphic = Create(*format);
  graphic->LoadFromBytes(data + 1 + name_length, size - 1 - name_length);
  graphic_ = std::move(graphic);
  Changed();
}

void TPicture::LoadFromFile(const std::string& path) {
  const size_t slash = path.find_last_of("/\\");
  const size_t dot = path.find_last_of('.');
  const bool has_extension = dot != std::string::npos && (slash == std::string::npos || dot > slash);
  const std::string extension = has_extension ? path.substr(dot + 1) : std::string();
  if (extension.empty()) throw EInvalidGraphic("Picture file \"" + path + "\" has no extension");
  const TPictureFormat* format = FindFileFormat(extension);
  if (format == nullptr) throw EInvalidGraphic("Unknown picture file extension (." + extension + ")");
  std::unique_ptr<TGraphic> graphic = Create(*format);
  graphic->LoadFromFile(path);
  graphic_ = std::move(graphic);
  Changed();
}

void TPicture::SetGraphic(std::unique_ptr<TGraphic> graphic) {
  graphic_ = std::move(graphic);
  Changed();
}

void TPicture::Changed() {
  if (OnChange) OnChange();
}

void TPicture::RegisterFileFormat(const std::string& extension, const std::string& description,
                                  const std::string& class_name, TGraphicFactory factory) {
  Registry& r = Formats();
  TPictureFormat format{NormalExtension(extension), description, class_name, std::move(factory)};
  auto same = std::find_if(r.by_extension.begin(), r.by_extension.end(),
                           [&](const TPictureFormat& f) { return f.Extension == format.Extension; });
  if (same != r.by_extension.end())
    *same = format;
  else
    r.by_extension.push_back(format);
  r.by_class[class_name] = std::move(format);
}

void TPicture::UnregisterGraphicClass(const std::string& class_name) {
  Registry& r = Formats();
  r.by_extension.remove_if([&](const TPictureFormat& f) { return f.ClassName == class_name; });
  r.by_class.erase(class_name);
}

const TPictureFormat* TPicture::FindFileFormat(const std::string& extension) {
  const Registry& r = Formats();
  const std::string wanted = NormalExtension(extension);
  for (const TPictureFormat& f : r.by_extension)
    if (f.Extension == wanted) return &f;
  return nullptr;
}

const TPictureFormat* TPicture::FindGraphicClass(const std::string& class_name) {
  const Registry& r = Formats();
  auto it = r.by_class.find(class_name);
  return it == r.by_class.end() ? nullptr : &it->second;
}

std::vector<TPictureFormat> TPicture::FileFormats() {
  const Registry& r = Formats();
  return {r.by_extension.begin(), r.by_extension.end()};
}

}  // namespace vcl
