// One scriptable host object: its kind, its unique identifier and its function table.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "host/Arguments.h"
#include "host/Result.h"

namespace Host {

class ObjectRegistry;

// A host makes one per object of its model, defines its functions, and hands it out
// as a result (which registers it) or as the service's root:
//
//   auto doc = std::make_shared<Host::HostObject>("Document");
//   doc->Define("GetTitle", [](const Host::Arguments&) -> Host::Result { return "Notes"; });
//   doc->Define("SetTitle", [&](const Host::Arguments& args) -> Host::Result {
//     title = args.GetString(0);
//     return true;
//   });
//
// The functions run on the service's request thread, one call at a time. Define them
// before the object is first handed out: the table is not locked.
// A host may also derive its own classes from HostObject and define functions on `this`.
class HostObject {
 public:
  using Function = std::function<Result(const Arguments&)>;

  // The kind names the plug-in's class for this object and must not be empty. An empty
  // unique identifier is filled in as "<kind>-<proxy id>" when the object is registered.
  explicit HostObject(std::string kind, std::string uniqueId = "");
  virtual ~HostObject() = default;

  HostObject(const HostObject&) = delete;
  HostObject& operator=(const HostObject&) = delete;

  // Adds a function, or replaces the one of that name (keeping its place in the list).
  HostObject& Define(const std::string& name, Function function);

  const std::string& GetKind() const { return kind_; }
  const std::string& GetUniqueId() const { return uniqueId_; }
  // The proxy identifier while registered; 0 otherwise.
  int64_t GetProxyId() const { return proxyId_.load(std::memory_order_acquire); }
  // In the order of definition: the order of the methods the plug-in sees.
  const std::vector<std::string>& GetFunctionNames() const { return functionNames_; }
  // nullptr when the object has no function of that name.
  const Function* FindFunction(const std::string& name) const;

 private:
  friend class ObjectRegistry;

  std::string kind_;
  std::string uniqueId_;
  std::vector<std::string> functionNames_;
  std::unordered_map<std::string, Function> functions_;
  // Set and cleared by the registry that holds the object, under its lock.
  std::atomic<int64_t> proxyId_{0};
  const ObjectRegistry* owner_ = nullptr;
};

}  // namespace Host
