// The form-description reader: creates components by registered class name, sets properties
// through the per-class tables, binds events to the form's published handlers by name.
#include <cstring>

#include "vcl/ExtCtrls.h"
#include "vcl/Forms.h"
#include "vcl/StdCtrls.h"

namespace vcl {
namespace {

using Kind = dfm::Value::Kind;

TPropertySetter ColorSetter(TColor TControl::*field) {
  return [field](TObject* o, const dfm::Value& v, TReadContext&) {
    TColor c = 0;
    if (v.kind == Kind::Integer)
      c = static_cast<TColor>(v.integer);
    else if (v.kind != Kind::Ident || !IdentToColor(v.text, &c))
      throw EReadError("Invalid property value");
    dynamic_cast<TControl&>(*o).*field = c;
  };
}

// Font.* of a control: setting any of them means the control no longer follows its parent.
template <class F>
TPropertySetter FontSetter(F apply) {
  return [apply](TObject* o, const dfm::Value& v, TReadContext&) {
    auto& c = dynamic_cast<TControl&>(*o);
    c.ParentFont = false;
    apply(c.Font, v);
  };
}

void AddFontProperties(TClassInfo& ci) {
  ci.Property("Font.Name", FontSetter([](TFont& f, const dfm::Value& v) { f.Name = ReadString(v, "Font.Name"); }));
  ci.Property("Font.Height", FontSetter([](TFont& f, const dfm::Value& v) { f.Height = static_cast<int>(ReadInt(v, "Font.Height")); }));
  ci.Property("Font.Size", FontSetter([](TFont& f, const dfm::Value& v) {
    f.Height = -MulDiv(static_cast<int>(ReadInt(v, "Font.Size")), 96, 72);
  }));
  ci.Property("Font.Color", FontSetter([](TFont& f, const dfm::Value& v) {
    TColor c = 0;
    if (v.kind == Kind::Integer)
      c = static_cast<TColor>(v.integer);
    else if (v.kind != Kind::Ident || !IdentToColor(v.text, &c))
      throw EReadError("Invalid property value");
    f.Color = c;
  }));
  ci.Property("Font.Charset", FontSetter([](TFont& f, const dfm::Value& v) {
    if (v.kind == Kind::Integer) f.Charset = static_cast<int>(v.integer);
    else if (v.kind == Kind::Ident && v.IsIdent("DEFAULT_CHARSET")) f.Charset = 1;
    else if (v.kind == Kind::Ident && v.IsIdent("ANSI_CHARSET")) f.Charset = 0;
    else if (v.kind == Kind::Ident && v.IsIdent("GB2312_CHARSET")) f.Charset = 134;
    else throw EReadError("Invalid property value");
  }));
  ci.Property("Font.Style", FontSetter([](TFont& f, const dfm::Value& v) {
    if (v.kind != Kind::Set) throw EReadError("Invalid property value");
    f.Bold = f.Italic = false;
    for (const std::string& s : v.set) {
      if (s == "fsBold") f.Bold = true;
      else if (s == "fsItalic") f.Italic = true;
      else if (s != "fsUnderline" && s != "fsStrikeOut") throw EReadError("Invalid property value");
    }
  }));
}

TPropertySetter EventSetter(TNotifyEvent TControl::*field) {
  return [field](TObject* o, const dfm::Value& v, TReadContext& ctx) {
    if (v.kind != Kind::Ident) throw EReadError("Invalid property value");
    const TNotifyEvent* h = ctx.Root ? ctx.Root->FindMethod(v.text) : nullptr;
    if (!h) throw EReadError("Method '" + v.text + "' not found");
    dynamic_cast<TControl&>(*o).*field = *h;
  };
}

TPropertySetter FormEventSetter(TNotifyEvent TCustomForm::*field) {
  return [field](TObject* o, const dfm::Value& v, TReadContext& ctx) {
    if (v.kind != Kind::Ident) throw EReadError("Invalid property value");
    const TNotifyEvent* h = ctx.Root ? ctx.Root->FindMethod(v.text) : nullptr;
    if (!h) throw EReadError("Method '" + v.text + "' not found");
    dynamic_cast<TCustomForm&>(*o).*field = *h;
  };
}

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
  return s;
}

}  // namespace

void RegisterStandardClasses() {
  static bool done = false;
  if (done) return;
  done = true;
  RegisterClass("TComponent", "", nullptr).Property("Tag", IgnoredProp());
  TClassInfo& control = RegisterClass("TControl", "TComponent", nullptr);
  control.Property("Left", IntProp(&TControl::SetLeft))
      .Property("Top", IntProp(&TControl::SetTop))
      .Property("Width", IntProp(&TControl::SetWidth))
      .Property("Height", IntProp(&TControl::SetHeight))
      .Property("ClientWidth", IntProp(&TControl::SetClientWidth))
      .Property("ClientHeight", IntProp(&TControl::SetClientHeight))
      .Property("Visible", BoolProp(&TControl::SetVisible))
      .Property("Enabled", BoolProp(&TControl::SetEnabled))
      .Property("Caption", [](TObject* o, const dfm::Value& v, TReadContext&) {
        dynamic_cast<TControl&>(*o).SetCaptionUtf8(ReadString(v, "Caption"));
      })
      .Property("Color", ColorSetter(&TControl::Color))
      .Property("ParentFont", BoolField(&TControl::ParentFont))
      .Property("ParentColor", BoolField(&TControl::ParentColor))
      .Property("OnClick", EventSetter(&TControl::OnClick))
      .Property("Hint", IgnoredProp())
      .Property("ShowHint", IgnoredProp())
      .Property("ParentShowHint", IgnoredProp());
  AddFontProperties(control);
  RegisterClass("TGraphicControl", "TControl", nullptr);
  RegisterClass("TWinControl", "TControl", nullptr)
      .Property("TabOrder", IntProp(&TWinControl::SetTabOrder))
      .Property("TabStop", BoolField(&TWinControl::TabStop));
  RegisterClass("TCustomForm", "TWinControl", nullptr)
      .Property("BorderStyle", EnumField(&TCustomForm::BorderStyle, std::vector<std::pair<const char*, TFormBorderStyle>>{
                                             {"bsNone", bsNone}, {"bsSingle", bsSingle}, {"bsSizeable", bsSizeable},
                                             {"bsDialog", bsDialog}, {"bsToolWindow", bsToolWindow}, {"bsSizeToolWin", bsSizeToolWin}}))
      .Property("Position", EnumField(&TCustomForm::Position, std::vector<std::pair<const char*, TPosition>>{
                                          {"poDesigned", poDesigned}, {"poDefault", poDefault},
                                          {"poDefaultPosOnly", poDefaultPosOnly}, {"poDefaultSizeOnly", poDefaultSizeOnly},
                                          {"poScreenCenter", poScreenCenter}, {"poDesktopCenter", poDesktopCenter},
                                          {"poMainFormCenter", poMainFormCenter}, {"poOwnerFormCenter", poOwnerFormCenter}}))
      .Property("WindowState", EnumField(&TCustomForm::WindowState, std::vector<std::pair<const char*, TWindowState>>{
                                             {"wsNormal", wsNormal}, {"wsMinimized", wsMinimized}, {"wsMaximized", wsMaximized}}))
      .Property("AutoSize", BoolField(&TCustomForm::AutoSize))
      .Property("PixelsPerInch", IntField(&TCustomForm::PixelsPerInch))
      .Property("TextHeight", IntField(&TCustomForm::TextHeight))
      .Property("Icon.Data", [](TObject* o, const dfm::Value& v, TReadContext&) {
        if (v.kind != Kind::Binary) throw EReadError("Invalid property value");
        dynamic_cast<TCustomForm&>(*o).Icon.Data = v.bytes;
      })
      .Property("OnCreate", FormEventSetter(&TCustomForm::OnCreate))
      .Property("OnShow", FormEventSetter(&TCustomForm::OnShow))
      .Property("OnDestroy", FormEventSetter(&TCustomForm::OnDestroy))
      .Property("OldCreateOrder", IgnoredProp())
      .Property("Scaled", IgnoredProp());
  RegisterClass("TForm", "TCustomForm", nullptr);
  RegisterClass("TImage", "TGraphicControl", [](TComponent* owner) { return new TImage(owner); })
      .Property("AutoSize", BoolField(&TImage::AutoSize))
      .Property("Picture.Data", [](TObject* o, const dfm::Value& v, TReadContext&) {
        if (v.kind != Kind::Binary) throw EReadError("Invalid property value");
        dynamic_cast<TImage&>(*o).Picture.LoadFromData(v.bytes.data(), v.bytes.size());
      })
      .Property("Transparent", IgnoredProp());
  RegisterClass("TLabel", "TGraphicControl", [](TComponent* owner) { return new TLabel(owner); })
      .Property("AutoSize", BoolField(&TLabel::AutoSize))
      .Property("Transparent", BoolField(&TLabel::Transparent));
}

namespace {

void SetProperties(TObject* obj, const std::string& comp_name, const std::vector<dfm::Property>& props,
                   TReadContext& ctx) {
  const TClassInfo* ci = FindClass(obj->ClassName());
  if (!ci) throw EClassNotFound(std::string("Class ") + obj->ClassName() + " not found");
  for (const dfm::Property& p : props) {
    const TPropertySetter* set = ci->FindProperty(p.name);
    if (!set) throw EReadError("Error reading " + comp_name + "." + p.name + ": Property " + p.name + " does not exist");
    try {
      (*set)(obj, p.value, ctx);
    } catch (const EReadError& e) {
      throw EReadError("Error reading " + comp_name + "." + p.name + ": " + e.Message);
    } catch (const std::bad_cast&) {
      throw EReadError("Error reading " + comp_name + "." + p.name + ": Invalid property value");
    }
  }
}

void ReadChildren(const dfm::Object& obj, TWinControl* parent, TReadContext& ctx, std::vector<TComponent*>& made) {
  for (const dfm::Object& child : obj.children) {
    const TClassInfo* ci = FindClass(child.class_name);
    if (!ci || !ci->Create) throw EClassNotFound("Class " + child.class_name + " not found");
    TComponent* c = ci->Create(ctx.Root);
    made.push_back(c);
    c->Name = child.name;
    c->Loading = true;
    if (auto* ctl = dynamic_cast<TControl*>(c)) ctl->SetParent(parent);
    if (!child.name.empty() && ctx.Root->HasField(child.name) && !ctx.Root->BindField(child.name, c))
      throw EReadError("Invalid field type for " + child.name);
    SetProperties(c, child.name, child.properties, ctx);
    auto* wc = dynamic_cast<TWinControl*>(c);
    ReadChildren(child, wc ? wc : parent, ctx, made);
  }
}

}  // namespace

void TCustomForm::ReadDescription(std::string_view text) {
  const dfm::Object root = dfm::ParseForm(text);
  if (Lower(root.class_name) != Lower(ClassName()))
    throw EReadError("Form description is for " + root.class_name + ", not " + ClassName());
  TReadContext ctx;
  ctx.Root = this;
  Loading = true;
  Name = root.name;
  SetProperties(this, root.name, root.properties, ctx);
  std::vector<TComponent*> made;
  ReadChildren(root, this, ctx, made);
  // The layout was made for the designed text height; a font that measures otherwise on this
  // machine scales every position and size.
  if (auto font = Font.Handle()) ScaleForTextHeight(font->Metrics().height);
  for (TComponent* c : made) c->Loading = false;
  for (TComponent* c : made) c->Loaded();
  Loading = false;
  Loaded();
  AdjustSize();
}

void TCustomForm::LoadFromText(std::string_view text) {
  ReadDescription(text);
  HandleNeeded();  // created hidden
  if (OnCreate) OnCreate(this);
}

void TCustomForm::LoadFromResource() {
  std::string name = ClassName();
  for (char& c : name) c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 32 : c);
  const uint8_t* data = nullptr;
  size_t size = 0;
  if (!FindResource(name, &data, &size)) throw EReadError("Resource " + name + " not found");
  LoadFromText(std::string_view(reinterpret_cast<const char*>(data), size));
}

}  // namespace vcl
