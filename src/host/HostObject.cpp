// The function table of a host object.
#include "host/HostObject.h"

#include <utility>

namespace Host {

HostObject::HostObject(std::string kind, std::string uniqueId)
    : kind_(std::move(kind)), uniqueId_(std::move(uniqueId)) {}

HostObject& HostObject::Define(const std::string& name, Function function) {
  auto found = functions_.find(name);
  if (found == functions_.end()) {
    functionNames_.push_back(name);
    functions_.emplace(name, std::move(function));
  } else {
    found->second = std::move(function);
  }
  return *this;
}

const HostObject::Function* HostObject::FindFunction(const std::string& name) const {
  auto found = functions_.find(name);
  return found == functions_.end() ? nullptr : &found->second;
}

}  // namespace Host
