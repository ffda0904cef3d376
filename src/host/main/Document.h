// A document of the reference model: a title and a list of shapes.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "Notify.h"
#include "host/HostObject.h"

namespace ReferenceHost {

class DocumentCollection;

// Shapes travel as tables {"id", "type", "x", "y", "width", "height"}. Every change
// fires "DocumentChanged" with the document and what changed: "shapeAdded", "shapeMoved",
// "shapeRemoved" or "titleChanged". The collection outlives its documents' calls: a closed
// document leaves the registry, so later calls on it fail as unknown objects.
class Document : public Host::HostObject {
 public:
  static const std::vector<std::string>& ShapeTypes();

  Document(std::string title, DocumentCollection& collection, Notify notify);

  const std::string& GetTitle() const { return title_; }

 private:
  struct Shape {
    int64_t id;
    std::string type;
    double x;
    double y;
    double width;
    double height;
  };

  static Host::Value Describe(const Shape& shape);
  void Announce(const char* change);
  // The shape with that identifier; fails the call when there is none.
  Shape& FindShape(int64_t id);
  Host::Result AddShape(const Host::Arguments& args);
  Host::Result MoveShape(const Host::Arguments& args);
  Host::Result RemoveShape(const Host::Arguments& args);
  Host::Result SetTitle(const Host::Arguments& args);
  Host::Value ListShapes() const;

  std::string title_;
  std::vector<Shape> shapes_;
  int64_t nextShapeId_ = 1;
  DocumentCollection& collection_;
  Notify notify_;
};

}  // namespace ReferenceHost
