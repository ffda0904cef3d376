// The document's functions: title and shapes.
#include "Document.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <utility>

#include "DocumentCollection.h"
#include "host/CallError.h"

namespace ReferenceHost {

namespace {

using Host::Arguments;
using Host::CallError;
using Host::ErrorCode;
using Host::Result;
using Host::Value;
using Host::ValueMap;

double FiniteNumber(const Value* value, const char* what, double defaultValue) {
  if (!value) {
    return defaultValue;
  }
  if (!value->IsNumber() || !std::isfinite(value->AsNumber())) {
    throw CallError(std::string(what) + " must be a finite number", ErrorCode::BadArgument);
  }
  return value->AsNumber();
}

double Size(const Value* value, const char* what, double defaultValue) {
  const double size = FiniteNumber(value, what, defaultValue);
  if (size < 0) {
    throw CallError(std::string(what) + " must not be negative", ErrorCode::BadArgument);
  }
  return size;
}

}  // namespace

const std::vector<std::string>& Document::ShapeTypes() {
  static const std::vector<std::string> types = {"rectangle", "ellipse", "line", "text"};
  return types;
}

Document::Document(std::string title, DocumentCollection& collection, Notify notify)
    : HostObject("Document"),
      title_(std::move(title)),
      collection_(collection),
      notify_(std::move(notify)) {
  Define("GetTitle", [this](const Arguments&) -> Result { return title_; });
  Define("SetTitle", [this](const Arguments& args) { return SetTitle(args); });
  Define("AddShape", [this](const Arguments& args) { return AddShape(args); });
  Define("GetShapes", [this](const Arguments&) -> Result { return ListShapes(); });
  Define("GetShape",
         [this](const Arguments& args) -> Result { return Describe(FindShape(args.GetInt(0))); });
  Define("GetShapeCount",
         [this](const Arguments&) -> Result { return static_cast<int64_t>(shapes_.size()); });
  Define("MoveShape", [this](const Arguments& args) { return MoveShape(args); });
  Define("RemoveShape", [this](const Arguments& args) { return RemoveShape(args); });
  Define("Close", [this](const Arguments&) -> Result { return collection_.Close(*this); });
}

Value Document::Describe(const Shape& shape) {
  return Value::Map({{"id", shape.id},
                     {"type", shape.type},
                     {"x", shape.x},
                     {"y", shape.y},
                     {"width", shape.width},
                     {"height", shape.height}});
}

Value Document::ListShapes() const {
  Host::ValueList list;
  list.reserve(shapes_.size());
  for (const Shape& shape : shapes_) {
    list.push_back(Describe(shape));
  }
  return Value(std::move(list));
}

Document::Shape& Document::FindShape(int64_t id) {
  for (Shape& shape : shapes_) {
    if (shape.id == id) {
      return shape;
    }
  }
  throw CallError("No shape " + std::to_string(id) + " in " + title_, ErrorCode::BadArgument);
}

void Document::Announce(const char* change) {
  notify_("DocumentChanged", {Host::Value(Self()), Host::Value(change)});
}

Result Document::SetTitle(const Arguments& args) {
  const std::string& title = args.GetString(0);
  if (title.empty()) {
    return Result::Error("A title must not be empty", ErrorCode::BadArgument);
  }
  if (title != title_ && collection_.FindByTitle(title)) {
    return Result::Error("A document titled " + title + " is already open", ErrorCode::BadArgument);
  }
  title_ = title;
  Announce("titleChanged");
  return true;
}

// AddShape(type, x, y, width, height) or AddShape({type, x, y, width, height}); the
// position defaults to 0, 0 and the size to 10 x 10.
Result Document::AddShape(const Arguments& args) {
  const Value* type = nullptr;
  const Value* x = nullptr;
  const Value* y = nullptr;
  const Value* width = nullptr;
  const Value* height = nullptr;
  if (args.At(0).IsMap()) {
    const Value& table = args.At(0);
    type = table.Find("type");
    x = table.Find("x");
    y = table.Find("y");
    width = table.Find("width");
    height = table.Find("height");
  } else {
    type = args.Find(0);
    x = args.Find(1);
    y = args.Find(2);
    width = args.Find(3);
    height = args.Find(4);
  }
  if (!type || !type->IsString()) {
    return Result::Error("A shape needs a type", ErrorCode::BadArgument);
  }
  const auto& types = ShapeTypes();
  if (std::find(types.begin(), types.end(), type->AsString()) == types.end()) {
    return Result::Error("Unknown shape type: " + type->AsString(), ErrorCode::BadArgument);
  }
  Shape shape{nextShapeId_,
              type->AsString(),
              FiniteNumber(x, "x", 0),
              FiniteNumber(y, "y", 0),
              Size(width, "width", 10),
              Size(height, "height", 10)};
  ++nextShapeId_;
  shapes_.push_back(shape);
  Announce("shapeAdded");
  return Describe(shape);
}

// MoveShape(id, x, y): places the shape at x, y.
Result Document::MoveShape(const Arguments& args) {
  Shape& shape = FindShape(args.GetInt(0));
  const double x = FiniteNumber(args.Find(1), "x", shape.x);
  const double y = FiniteNumber(args.Find(2), "y", shape.y);
  if (!args.Has(1) && !args.Has(2)) {
    return Result::Error("MoveShape needs a position", ErrorCode::BadArgument);
  }
  shape.x = x;
  shape.y = y;
  Announce("shapeMoved");
  return Describe(shape);
}

Result Document::RemoveShape(const Arguments& args) {
  const int64_t id = args.GetInt(0);
  FindShape(id);
  shapes_.erase(std::remove_if(shapes_.begin(), shapes_.end(),
                               [id](const Shape& shape) { return shape.id == id; }),
                shapes_.end());
  Announce("shapeRemoved");
  return true;
}

}  // namespace ReferenceHost
