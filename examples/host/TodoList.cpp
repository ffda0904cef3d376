// The to-do list and its items. Every function runs on the host's main thread.
#include "TodoList.h"

#include <utility>

#include "host/CallError.h"

namespace Todo {

Item::Item(std::string title, OnDone onDone) : HostObject("Item"), title_(std::move(title)) {
  SetHold(Hold::Weak);
  Define("GetTitle", [this](const Host::Arguments&) -> Host::Result { return title_; });
  Define("SetTitle", [this](const Host::Arguments& args) -> Host::Result {
    const std::string& title = args.GetString(0);  // not a string: a BadArgument failure
    if (title.empty())
      return Host::Result::Error("A title must not be empty", Host::ErrorCode::BadArgument);
    title_ = title;
    return true;
  });
  Define("IsDone", [this](const Host::Arguments&) -> Host::Result { return done_; });
  Define("MarkDone", [this, onDone](const Host::Arguments&) -> Host::Result {
    if (done_) return false;  // already done: nothing changes, no callback
    done_ = true;
    onDone(title_, Self<Item>());  // the item passes itself to the callback
    return true;
  });
}

TodoList::TodoList(OnDone onDone) : HostObject("TodoList", "todo"), onDone_(std::move(onDone)) {
  Define("AddItem", [this](const Host::Arguments& args) -> Host::Result {
    auto item = std::make_shared<Item>(args.GetString(0), onDone_);
    items_.push_back(item);
    return Host::Value(item);  // returning an object registers it and sends a proxy
  });
  Define("GetItems", [this](const Host::Arguments&) -> Host::Result {
    Host::ValueList list;  // what a loop fills; Value::List({...}) is for fixed lists
    for (const auto& item : items_) list.emplace_back(item);
    return Host::Value(std::move(list));
  });
  Define("Count", [this](const Host::Arguments&) -> Host::Result {
    return static_cast<int64_t>(items_.size());
  });
  Define("RemoveItem", [this](const Host::Arguments& args) -> Host::Result {
    auto item = args.GetObjectAs<Item>(0);  // another kind of object: a BadArgument failure
    for (auto it = items_.begin(); it != items_.end(); ++it) {
      if (*it == item) {
        items_.erase(it);
        return true;
      }
    }
    throw Host::CallError("The item is not on the list", Host::ErrorCode::BadArgument);
  });
}

}  // namespace Todo
