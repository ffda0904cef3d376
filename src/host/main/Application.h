// The root object of the reference model: the application, its documents and its bench.
#pragma once

#include <memory>
#include <string>

#include "BenchObject.h"
#include "DocumentCollection.h"
#include "Notify.h"
#include "host/HostObject.h"
#include "host/ObjectRegistry.h"

namespace ReferenceHost {

// GetName(), GetVersion(), GetInfo() (a table), GetDocuments(), GetBench(), Echo(x).
class Application : public Host::HostObject {
 public:
  static constexpr const char* kName = "Hostlink Reference Host";
  static constexpr const char* kVersion = "1.0.0";

  Application(Host::ObjectRegistry& registry, Notify notify);

 private:
  std::shared_ptr<DocumentCollection> documents_;
  std::shared_ptr<BenchObject> bench_;
};

}  // namespace ReferenceHost
