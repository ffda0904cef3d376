// The example host's object model: a to-do list (the root a plug-in gets from GetKestrel)
// holding items. Marking an item done fires the "ItemDone" callback with the item's title.
#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "host/HostObject.h"

namespace Todo {

class Item : public Host::HostObject {
 public:
  Item(std::string title, std::function<void(const std::string&)> onDone);

 private:
  std::mutex lock_;
  std::string title_;
  bool done_ = false;
};

class TodoList : public Host::HostObject {
 public:
  // onDone is called with an item's title when it is marked done.
  explicit TodoList(std::function<void(const std::string&)> onDone);

 private:
  std::function<void(const std::string&)> onDone_;
  std::mutex lock_;
  std::vector<std::shared_ptr<Item>> items_;
};

}  // namespace Todo
