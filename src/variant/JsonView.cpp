// The read-only view's accessors, each checking the kind before RapidJSON is asked.
#include "variant/JsonView.h"

#include "variant/KvVariantMapImpl.h"

namespace IPC {

namespace {

using Value = rapidjson::Value;

const Value& At(const void* node) { return *static_cast<const Value*>(node); }

}  // namespace

JsonView JsonView::Of(const KvVariantMap& map) {
  return JsonView(&static_cast<const Value&>(KvVariantMapImpl::Of(map).document));
}

JsonKind JsonView::Kind() const {
  if (node_ == nullptr) return JsonKind::Absent;
  const Value& v = At(node_);
  switch (v.GetType()) {
    case rapidjson::kNullType:
      return JsonKind::Null;
    case rapidjson::kFalseType:
    case rapidjson::kTrueType:
      return JsonKind::Bool;
    case rapidjson::kObjectType:
      return JsonKind::Object;
    case rapidjson::kArrayType:
      return JsonKind::Array;
    case rapidjson::kStringType:
      return JsonKind::String;
    case rapidjson::kNumberType:
      if (v.IsInt64()) return JsonKind::Int64;
      if (v.IsUint64()) return JsonKind::UInt64;
      return JsonKind::Double;
  }
  return JsonKind::Null;
}

bool JsonView::GetBool() const { return node_ != nullptr && At(node_).IsBool() && At(node_).GetBool(); }

int64_t JsonView::GetInt64() const {
  return node_ != nullptr && At(node_).IsInt64() ? At(node_).GetInt64() : 0;
}

uint64_t JsonView::GetUInt64() const {
  return node_ != nullptr && At(node_).IsUint64() ? At(node_).GetUint64() : 0;
}

double JsonView::GetDouble() const {
  return node_ != nullptr && At(node_).IsNumber() ? At(node_).GetDouble() : 0.0;
}

std::string_view JsonView::GetString() const {
  if (node_ == nullptr || !At(node_).IsString()) return {};
  return std::string_view(At(node_).GetString(), At(node_).GetStringLength());
}

uint32_t JsonView::Size() const {
  if (node_ == nullptr) return 0;
  const Value& v = At(node_);
  if (v.IsObject()) return v.MemberCount();
  if (v.IsArray()) return v.Size();
  return 0;
}

JsonView JsonView::Element(uint32_t index) const {
  if (node_ == nullptr || !At(node_).IsArray() || index >= At(node_).Size()) return {};
  return JsonView(&At(node_)[index]);
}

std::string_view JsonView::MemberName(uint32_t index) const {
  if (node_ == nullptr || !At(node_).IsObject() || index >= At(node_).MemberCount()) return {};
  const Value& name = (At(node_).MemberBegin() + index)->name;
  return std::string_view(name.GetString(), name.GetStringLength());
}

JsonView JsonView::MemberValue(uint32_t index) const {
  if (node_ == nullptr || !At(node_).IsObject() || index >= At(node_).MemberCount()) return {};
  return JsonView(&(At(node_).MemberBegin() + index)->value);
}

JsonView JsonView::Find(std::string_view name) const {
  if (node_ == nullptr || !At(node_).IsObject()) return {};
  const Value key(rapidjson::StringRef(name.data(), static_cast<rapidjson::SizeType>(name.size())));
  const auto member = At(node_).FindMember(key);
  return member == At(node_).MemberEnd() ? JsonView() : JsonView(&member->value);
}

JsonView JsonView::Present() const {
  if (node_ == nullptr || !At(node_).IsArray()) return *this;
  return At(node_).Empty() ? JsonView() : JsonView(&*At(node_).Begin());
}

KvVariantMap JsonView::CopyToMap() const {
  KvVariantMap map;
  if (node_ == nullptr) return map;
  KvVariantMapImpl& impl = KvVariantMapImpl::Of(map);
  impl.document.CopyFrom(At(node_), impl.GetAllocator());
  return map;
}

}  // namespace IPC
