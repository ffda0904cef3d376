// The host objects a plug-in can reach, by proxy identifier.
#pragma once

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <unordered_map>

#include "host/HostObject.h"

namespace Host {

// Identifiers run from 1 to 2147483647, the range the plug-in reads back unchanged;
// after the last one they wrap around, skipping those still in use. A removed object's
// identifier is not given out again until the counter comes round, so a plug-in's
// stale reference finds no object rather than a different one. Thread-safe.
class ObjectRegistry {
 public:
  static constexpr int64_t kMaxProxyId = 2147483647;

  // firstId lets a test start the counter near the end of the range.
  explicit ObjectRegistry(int64_t firstId = 1);
  ~ObjectRegistry();

  ObjectRegistry(const ObjectRegistry&) = delete;
  ObjectRegistry& operator=(const ObjectRegistry&) = delete;

  // The object's proxy identifier, registering it first if needed. 0 (with a log line)
  // for a null object, one with an empty kind, one held by another registry, or when
  // every identifier is taken.
  int64_t Register(const ObjectPtr& object);
  // Removes the object; later requests naming its identifier fail as unknown.
  bool Unregister(int64_t proxyId);
  bool Unregister(const HostObject& object) { return Unregister(object.GetProxyId()); }
  // The registered object, or null.
  ObjectPtr Find(int64_t proxyId) const;
  size_t Size() const;
  // Removes every object.
  void Clear();

 private:
  mutable std::mutex lock_;
  std::unordered_map<int64_t, ObjectPtr> objects_;
  int64_t nextId_;
};

}  // namespace Host
