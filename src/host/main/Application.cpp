// The root object's functions.
#include "Application.h"

#include <utility>

#include "Document.h"

namespace ReferenceHost {

using Host::Arguments;
using Host::Result;
using Host::Value;

Application::Application(Host::ObjectRegistry& registry, Notify notify)
    : HostObject("Application", "app"),
      documents_(std::make_shared<DocumentCollection>(registry, notify)),
      bench_(std::make_shared<BenchObject>(std::move(notify), registry)) {
  Define("GetName", [](const Arguments&) -> Result { return kName; });
  Define("GetVersion", [](const Arguments&) -> Result { return kVersion; });
  Define("GetInfo", [this](const Arguments&) -> Result {
    return Value::Map({{"name", kName},
                       {"version", kVersion},
                       {"documents", static_cast<int64_t>(documents_->Count())},
                       {"shapeTypes", Host::ValueList(Document::ShapeTypes().begin(),
                                                      Document::ShapeTypes().end())}});
  });
  Define("GetDocuments", [this](const Arguments&) -> Result { return documents_; });
  Define("GetBench", [this](const Arguments&) -> Result { return bench_; });
  Define("Echo", [](const Arguments& args) -> Result { return args.At(0); });
}

}  // namespace ReferenceHost
