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
// The functions run one call at a time, on the service's request thread, or on the thread
// its dispatcher chooses (HostService::SetDispatcher). Define them before the object is
// first handed out: the table is not locked.
// A host may also derive its own classes from HostObject and define functions on `this`;
// such a function returns its own object, or passes it to FireCallback, as Self().
class HostObject : public std::enable_shared_from_this<HostObject> {
 public:
  using Function = std::function<Result(const Arguments&)>;

  // How the service's registry holds the object once it has handed it out.
  enum class Hold {
    // Until the host unregisters it (or the service ends). The default.
    Strong,
    // For objects the application owns: only while the application keeps the object.
    // Once it is destroyed, calls on it fail as on an unknown object, and arguments that
    // refer to it as stale references, as after Unregister.
    Weak,
    // For objects made for the plug-in (a selection, an iterator): until the plug-in has
    // let go of every description of it that it was sent, which a plug-in that supports
    // releases says (the add-on does so once its proxies are garbage-collected), or until
    // its connection ends. With a plug-in that never releases, as Strong.
    ReleasedByPlugin,
  };

  // The kind names the plug-in's class for this object and must not be empty. An empty
  // unique identifier is filled in as "<kind>-<proxy id>" when the object is registered.
  explicit HostObject(std::string kind, std::string uniqueId = "");
  virtual ~HostObject() = default;

  HostObject(const HostObject&) = delete;
  HostObject& operator=(const HostObject&) = delete;

  // Adds a function, or replaces the one of that name (keeping its place in the list).
  HostObject& Define(const std::string& name, Function function);
  // Set before the object is first handed out; the registry reads it then.
  HostObject& SetHold(Hold hold) {
    hold_ = hold;
    return *this;
  }
  Hold GetHold() const { return hold_; }

  // The shared pointer that owns this object, as T (a class derived from HostObject):
  // for a function that returns its own object or passes it to FireCallback. The object
  // must be owned by a shared pointer (std::make_shared), as every handed-out one is.
  template <typename T = HostObject>
  std::shared_ptr<T> Self() {
    return std::static_pointer_cast<T>(shared_from_this());
  }

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
  Hold hold_ = Hold::Strong;
  // Set and cleared by the registry that holds the object, under its lock.
  std::atomic<int64_t> proxyId_{0};
  const ObjectRegistry* owner_ = nullptr;
};

}  // namespace Host
