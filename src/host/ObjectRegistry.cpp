// Proxy identifier allocation and lookup.
#include "host/ObjectRegistry.h"

#include "base/Log.h"

namespace Host {

ObjectRegistry::ObjectRegistry(int64_t firstId)
    : nextId_(firstId >= 1 && firstId <= kMaxProxyId ? firstId : 1) {}

ObjectRegistry::~ObjectRegistry() { Clear(); }

int64_t ObjectRegistry::Register(const ObjectPtr& object) {
  if (!object || object->GetKind().empty()) {
    IPC::LogError("ObjectRegistry : Failed to register an object without a kind");
    return 0;
  }
  std::lock_guard<std::mutex> lock(lock_);
  if (object->owner_ == this) {
    return object->GetProxyId();
  }
  if (object->owner_ != nullptr) {
    IPC::LogError("ObjectRegistry : Failed to register an object held by another registry");
    return 0;
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
  objects_.emplace(id, object);
  return id;
}

bool ObjectRegistry::Unregister(int64_t proxyId) {
  ObjectPtr removed;  // released after the lock, in case its destructor is heavy
  {
    std::lock_guard<std::mutex> lock(lock_);
    auto found = objects_.find(proxyId);
    if (found == objects_.end()) {
      return false;
    }
    removed = std::move(found->second);
    objects_.erase(found);
    removed->owner_ = nullptr;
    removed->proxyId_.store(0, std::memory_order_release);
  }
  return true;
}

ObjectPtr ObjectRegistry::Find(int64_t proxyId) const {
  std::lock_guard<std::mutex> lock(lock_);
  auto found = objects_.find(proxyId);
  return found == objects_.end() ? nullptr : found->second;
}

size_t ObjectRegistry::Size() const {
  std::lock_guard<std::mutex> lock(lock_);
  return objects_.size();
}

void ObjectRegistry::Clear() {
  std::unordered_map<int64_t, ObjectPtr> removed;
  {
    std::lock_guard<std::mutex> lock(lock_);
    removed.swap(objects_);
    for (auto& entry : removed) {
      entry.second->owner_ = nullptr;
      entry.second->proxyId_.store(0, std::memory_order_release);
    }
  }
}

}  // namespace Host
