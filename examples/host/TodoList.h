// The example host's object model: a to-do list (the root a plug-in gets from GetKestrel)
// holding items. Marking an item done fires the "ItemDone" callback with the item's title
// and the item. Every function runs on the host's main thread (its dispatcher), so the
// model has no locks.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "host/HostObject.h"

namespace Todo {

class Item;
using OnDone = std::function<void(const std::string&, const std::shared_ptr<Item>&)>;

// The list owns its items, and the host holds them weakly: once removed from the list an
// item is gone, and a plug-in's proxy of it fails as an unknown object.
class Item : public Host::HostObject {
 public:
  Item(std::string title, OnDone onDone);

 private:
  std::string title_;
  bool done_ = false;
};

class TodoList : public Host::HostObject {
 public:
  // onDone is called with an item's title and the item when it is marked done.
  explicit TodoList(OnDone onDone);

 private:
  OnDone onDone_;
  std::vector<std::shared_ptr<Item>> items_;
};

}  // namespace Todo
