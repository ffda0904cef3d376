// The event builder: a stack of open objects and their pending member names, all made
// in the target document's pool.
#include "variant/JsonValueBuilder.h"

#include <utility>
#include <vector>

#include "variant/KvVariantMapImpl.h"

namespace IPC {

using Value = rapidjson::Value;

namespace {

rapidjson::SizeType Size32(std::size_t size) { return static_cast<rapidjson::SizeType>(size); }

}  // namespace

struct JsonValueBuilder::Stack {
  std::vector<Value> open;   // the objects and arrays being filled, outermost first
  std::vector<Value> names;  // the name each open object's next member takes
  Value finished;
  bool done = false;

  // A complete value goes into the innermost open object under its pending name, or,
  // outside every object, becomes the finished value.
  void Place(Value& value, KvVariantMapImpl::Allocator& allocator) {
    if (open.empty()) {
      finished = value;  // moves
      done = true;
      return;
    }
    if (open.back().IsArray()) {
      open.back().PushBack(value, allocator);
      return;
    }
    open.back().AddMember(names.back(), value, allocator);
    names.pop_back();
  }
};

JsonValueBuilder::JsonValueBuilder(KvVariantMap& target)
    : target_(target), stack_(std::make_unique<Stack>()) {}

JsonValueBuilder::~JsonValueBuilder() = default;

void JsonValueBuilder::Bool(bool value) {
  Value json(value);
  stack_->Place(json, KvVariantMapImpl::Of(target_).GetAllocator());
}

void JsonValueBuilder::Int(int32_t value) {
  Value json(value);
  stack_->Place(json, KvVariantMapImpl::Of(target_).GetAllocator());
}

void JsonValueBuilder::Int64(int64_t value) {
  Value json(value);
  stack_->Place(json, KvVariantMapImpl::Of(target_).GetAllocator());
}

void JsonValueBuilder::Double(double value) {
  Value json(value);
  stack_->Place(json, KvVariantMapImpl::Of(target_).GetAllocator());
}

void JsonValueBuilder::String(std::string_view text) {
  KvVariantMapImpl::Allocator& allocator = KvVariantMapImpl::Of(target_).GetAllocator();
  Value json(text.data(), Size32(text.size()), allocator);
  stack_->Place(json, allocator);
}

void JsonValueBuilder::StartObject() { stack_->open.emplace_back(rapidjson::kObjectType); }

void JsonValueBuilder::StartArray() { stack_->open.emplace_back(rapidjson::kArrayType); }

void JsonValueBuilder::EndArray() { EndObject(); }

void JsonValueBuilder::Key(std::string_view name) {
  stack_->names.emplace_back(name.data(), Size32(name.size()),
                             KvVariantMapImpl::Of(target_).GetAllocator());
}

// Closes the innermost open object or array alike.
void JsonValueBuilder::EndObject() {
  Value object(std::move(stack_->open.back()));
  stack_->open.pop_back();
  stack_->Place(object, KvVariantMapImpl::Of(target_).GetAllocator());
}

void JsonValueBuilder::Copy(JsonView value) {
  KvVariantMapImpl::Allocator& allocator = KvVariantMapImpl::Of(target_).GetAllocator();
  Value json;
  if (value.node_ != nullptr) {
    json.CopyFrom(*static_cast<const Value*>(value.node_), allocator);
  }
  stack_->Place(json, allocator);
}

void JsonValueBuilder::AppendAs(std::string_view key) {
  KvVariantMapImpl& impl = KvVariantMapImpl::Of(target_);
  if (!stack_->done || !impl.IsValid()) return;
  Value name(key.data(), Size32(key.size()), impl.GetAllocator());
  impl.document.AddMember(name, stack_->finished, impl.GetAllocator());
  stack_->done = false;
}

void JsonValueBuilder::StoreAsRoot() {
  if (!stack_->done) return;
  static_cast<Value&>(KvVariantMapImpl::Of(target_).document) = stack_->finished;
  stack_->done = false;
}

void JsonValueBuilder::StoreAs(const std::string& key) {
  KvVariantMapImpl& impl = KvVariantMapImpl::Of(target_);
  if (!stack_->done || !impl.IsValid()) return;
  if (stack_->finished.IsObject()) {
    impl.StoreLast(key, stack_->finished);
  } else {
    impl.Store(key, stack_->finished);
  }
  stack_->done = false;
}

}  // namespace IPC
