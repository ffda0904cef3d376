// The host objects a plug-in can reach, by proxy identifier.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
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

  // The object's proxy identifier, registering it first if needed, held as its
  // GetHold() says. 0 (with a log line) for a null object, one with an empty kind, one
  // held by another registry, or when every identifier is taken.
  int64_t Register(const ObjectPtr& object);
  // Register, counting one more description of the object sent to the plug-in.
  int64_t HandOut(const ObjectPtr& object);
  // The plug-in let go of count descriptions of the object: an object held until
  // released goes once every description handed out is let go. False for an unknown
  // identifier (ignored, as it may have gone already).
  bool Release(int64_t proxyId, uint64_t count);
  // The plug-in's connection ended: it holds nothing any more. Objects held until
  // released go; the counts of the others start again from zero.
  void ForgetHandouts();
  // Removes the object; later requests naming its identifier fail as unknown.
  bool Unregister(int64_t proxyId);
  bool Unregister(const HostObject& object) { return Unregister(object.GetProxyId()); }
  // The registered object, or null (also for a weakly held object that is gone).
  ObjectPtr Find(int64_t proxyId) const;
  // Objects registered, weakly held ones that are gone not counted.
  size_t Size() const;
  // Removes every object.
  void Clear();

 private:
  struct Entry {
    ObjectPtr strong;  // empty for a weakly held object
    std::weak_ptr<HostObject> weak;
    HostObject::Hold hold = HostObject::Hold::Strong;
    uint64_t handedOut = 0;
  };

  // Under the lock.
  int64_t RegisterLocked(const ObjectPtr& object);
  void RemoveLocked(std::unordered_map<int64_t, Entry>::iterator entry, ObjectPtr& removed);
  // Drops the entries of weakly held objects that are gone.
  void SweepLocked() const;

  mutable std::mutex lock_;
  // Mutable: a lookup or a count drops the entries of weakly held objects that are gone.
  mutable std::unordered_map<int64_t, Entry> objects_;
  int64_t nextId_;
  // Weak entries, and how many there may be before the next sweep (twice those alive at
  // the last one), so that sweeping costs O(1) per registration.
  mutable size_t weakEntries_ = 0;
  mutable size_t sweepAt_ = kFirstSweep;
  static constexpr size_t kFirstSweep = 64;
};

}  // namespace Host
