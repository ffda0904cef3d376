// Proxy identifier allocation and lookup, the three ways of holding an object, and the
// count of descriptions handed out that a plug-in's releases are set against.
#include "host/ObjectRegistry.h"

#include <algorithm>
#include <utility>
#include <vector>

#include "base/Log.h"

namespace Host {

ObjectRegistry::ObjectRegistry(int64_t firstId)
    : nextId_(firstId >= 1 && firstId <= kMaxProxyId ? firstId : 1) {}

ObjectRegistry::~ObjectRegistry() { Clear(); }

int64_t ObjectRegistry::Register(const ObjectPtr& object) {
  std::lock_guard<std::mutex> lock(lock_);
  return RegisterLocked(object);
}

int64_t ObjectRegistry::HandOut(const ObjectPtr& object) {
  std::lock_guard<std::mutex> lock(lock_);
  const int64_t id = RegisterLocked(object);
  if (id != 0) {
    ++objects_[id].handedOut;
  }
  return id;
}

int64_t ObjectRegistry::RegisterLocked(const ObjectPtr& object) {
  if (!object || object->GetKind().empty()) {
    IPC::LogError("ObjectRegistry : Failed to register an object without a kind");
    return 0;
  }
  if (object->owner_ == this) {
    return object->GetProxyId();
  }
  if (object->owner_ != nullptr) {
    IPC::LogError("ObjectRegistry : Failed to register an object held by another registry");
    return 0;
  }
  if (weakEntries_ >= sweepAt_) {
    SweepLocked();
  }
  if (objects_.size() >= static_cast<size_t>(kMaxProxyId)) {
    IPC::LogError("ObjectRegistry : Failed to register an object, every proxy id is taken");
    return 0;
  }
  while (objects_.count(nextId_) != 0) {
    nextId_ = nextId_ == kMaxProxyId ? 1 : nextId_ + 1;
  }
  const int64_t id = nextId_;
  nextId_ = nextId_ == kMaxProxyId ? 1 : nextId_ + 1;
  if (object->uniqueId_.empty()) {
    object->uniqueId_ = object->GetKind() + "-" + std::to_string(id);
  }
  object->owner_ = this;
  object->proxyId_.store(id, std::memory_order_release);
  Entry entry;
  entry.hold = object->GetHold();
  if (entry.hold == HostObject::Hold::Weak) {
    entry.weak = object;
    ++weakEntries_;
  } else {
    entry.strong = object;
  }
  objects_.emplace(id, std::move(entry));
  return id;
}

void ObjectRegistry::RemoveLocked(std::unordered_map<int64_t, Entry>::iterator entry,
                                  ObjectPtr& removed) {
  removed = entry->second.strong ? std::move(entry->second.strong) : entry->second.weak.lock();
  if (entry->second.hold == HostObject::Hold::Weak) {
    --weakEntries_;
  }
  objects_.erase(entry);
  if (removed) {
    removed->owner_ = nullptr;
    removed->proxyId_.store(0, std::memory_order_release);
  }
}

bool ObjectRegistry::Unregister(int64_t proxyId) {
  ObjectPtr removed;  // released after the lock, in case its destructor is heavy
  std::lock_guard<std::mutex> lock(lock_);
  auto found = objects_.find(proxyId);
  if (found == objects_.end()) {
    return false;
  }
  RemoveLocked(found, removed);
  return true;
}

bool ObjectRegistry::Release(int64_t proxyId, uint64_t count) {
  ObjectPtr removed;  // declared before the lock: destroyed after it is released
  std::lock_guard<std::mutex> lock(lock_);
  auto found = objects_.find(proxyId);
  if (found == objects_.end()) {
    return false;
  }
  Entry& entry = found->second;
  // A release names only descriptions the plug-in received, so it never takes more than
  // were handed out; if it does (a confused plug-in), the object is simply let go.
  entry.handedOut -= std::min(count, entry.handedOut);
  if (entry.handedOut == 0 && entry.hold == HostObject::Hold::ReleasedByPlugin) {
    RemoveLocked(found, removed);
  }
  return true;
}

void ObjectRegistry::ForgetHandouts() {
  std::vector<ObjectPtr> removed;  // declared before the lock: destroyed after it
  std::lock_guard<std::mutex> lock(lock_);
  for (auto entry = objects_.begin(); entry != objects_.end();) {
    entry->second.handedOut = 0;
    if (entry->second.hold == HostObject::Hold::ReleasedByPlugin) {
      removed.emplace_back();
      RemoveLocked(entry++, removed.back());
    } else {
      ++entry;
    }
  }
}

ObjectPtr ObjectRegistry::Find(int64_t proxyId) const {
  std::lock_guard<std::mutex> lock(lock_);
  auto found = objects_.find(proxyId);
  if (found == objects_.end()) {
    return nullptr;
  }
  if (found->second.strong) {
    return found->second.strong;
  }
  ObjectPtr object = found->second.weak.lock();
  if (!object) {
    objects_.erase(found);
    --weakEntries_;
  }
  return object;
}

size_t ObjectRegistry::Size() const {
  std::lock_guard<std::mutex> lock(lock_);
  SweepLocked();
  return objects_.size();
}

void ObjectRegistry::SweepLocked() const {
  for (auto entry = objects_.begin(); entry != objects_.end();) {
    if (entry->second.hold == HostObject::Hold::Weak && entry->second.weak.expired()) {
      entry = objects_.erase(entry);
      --weakEntries_;
    } else {
      ++entry;
    }
  }
  sweepAt_ = std::max(kFirstSweep, 2 * weakEntries_);
}

void ObjectRegistry::Clear() {
  std::vector<ObjectPtr> removed;  // declared before the lock: destroyed after it
  std::lock_guard<std::mutex> lock(lock_);
  removed.reserve(objects_.size());
  while (!objects_.empty()) {
    removed.emplace_back();
    RemoveLocked(objects_.begin(), removed.back());
  }
}

}  // namespace Host
