// Components, the class registry with its property tables, and embedded resources.
#include "vcl/Classes.h"

#include <algorithm>
#include <mutex>

namespace vcl {

TComponent::TComponent(TComponent* AOwner) : owner_(AOwner) {
  if (owner_) owner_->components_.push_back(this);
}

TComponent::~TComponent() {
  DestroyComponents();
  if (owner_) {
    auto& list = owner_->components_;
    list.erase(std::remove(list.begin(), list.end(), this), list.end());
  }
}

void TComponent::DestroyComponents() {
  while (!components_.empty()) {
    TComponent* last = components_.back();
    components_.pop_back();
    last->owner_ = nullptr;
    delete last;
  }
}

TComponent* TComponent::FindComponent(std::string_view name) const {
  for (TComponent* c : components_)
    if (c->Name.size() == name.size() &&
        std::equal(name.begin(), name.end(), c->Name.begin(), [](char a, char b) { return (a | 0x20) == (b | 0x20); }))
      return c;
  return nullptr;
}

bool CaseLess::operator()(const std::string& a, const std::string& b) const {
  return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
    auto lx = static_cast<unsigned char>(x >= 'A' && x <= 'Z' ? x + 32 : x);
    auto ly = static_cast<unsigned char>(y >= 'A' && y <= 'Z' ? y + 32 : y);
    return lx < ly;
  });
}

namespace {

std::map<std::string, std::unique_ptr<TClassInfo>, CaseLess>& Registry() {
  static std::map<std::string, std::unique_ptr<TClassInfo>, CaseLess> r;
  return r;
}

std::vector<void (*)()>& Registrars() {
  static std::vector<void (*)()> r;
  return r;
}

struct Resource {
  const uint8_t* data = nullptr;
  size_t size = 0;
  std::string owned;
};

std::map<std::string, Resource, CaseLess>& Resources() {
  static std::map<std::string, Resource, CaseLess> r;
  return r;
}

}  // namespace

const TPropertySetter* TClassInfo::FindProperty(const std::string& name) const {
  for (const TClassInfo* c = this; c; c = c->Parent) {
    auto it = c->Properties.find(name);
    if (it != c->Properties.end()) return &it->second;
  }
  return nullptr;
}

TClassInfo& RegisterClass(const std::string& name, const std::string& parent, TComponentFactory factory) {
  auto& reg = Registry();
  auto it = reg.find(name);
  if (it != reg.end()) {
    if (factory) it->second->Create = std::move(factory);
    return *it->second;
  }
  auto info = std::make_unique<TClassInfo>();
  info->Name = name;
  if (!parent.empty()) {
    auto p = reg.find(parent);
    if (p == reg.end()) throw EClassNotFound("Class " + parent + " not found");
    info->Parent = p->second.get();
  }
  info->Create = std::move(factory);
  TClassInfo& ref = *info;
  reg.emplace(name, std::move(info));
  return ref;
}

const TClassInfo* FindClass(std::string_view name) {
  RunRegistrars();
  auto it = Registry().find(std::string(name));
  return it == Registry().end() ? nullptr : it->second.get();
}

TRegistrar::TRegistrar(void (*fn)()) { Registrars().push_back(fn); }

void RunRegistrars() {
  static bool running = false;
  static size_t done = 0;
  if (running) return;
  running = true;
  RegisterStandardClasses();
  // Units register in link order; a unit's classes may derive from an earlier unit's.
  while (done < Registrars().size()) Registrars()[done++]();
  running = false;
}

std::int64_t ReadInt(const dfm::Value& v, const std::string& prop) {
  if (v.kind != dfm::Value::Kind::Integer) throw EReadError("Invalid property value" + (prop.empty() ? "" : " of " + prop));
  return v.integer;
}

bool ReadBool(const dfm::Value& v, const std::string& prop) {
  if (v.kind == dfm::Value::Kind::Ident) {
    if (v.IsIdent("True")) return true;
    if (v.IsIdent("False")) return false;
  }
  throw EReadError("Invalid property value" + (prop.empty() ? "" : " of " + prop));
}

std::string ReadString(const dfm::Value& v, const std::string& prop) {
  if (v.kind != dfm::Value::Kind::String) throw EReadError("Invalid property value" + (prop.empty() ? "" : " of " + prop));
  return v.text;
}

TPropertySetter IgnoredProp() {
  return [](TObject*, const dfm::Value&, TReadContext&) {};
}

void RegisterResource(const std::string& name, const uint8_t* begin, const uint8_t* end) {
  Resource r;
  r.data = begin;
  r.size = static_cast<size_t>(end - begin);
  Resources()[name] = std::move(r);
}

bool FindResource(const std::string& name, const uint8_t** data, size_t* size) {
  auto it = Resources().find(name);
  if (it == Resources().end()) return false;
  *data = it->second.data;
  *size = it->second.size;
  return true;
}

void ReplaceResource(const std::string& name, std::string bytes) {
  Resource& r = Resources()[name];
  r.owned = std::move(bytes);
  r.data = reinterpret_cast<const uint8_t*>(r.owned.data());
  r.size = r.owned.size();
}

}  // namespace vcl
