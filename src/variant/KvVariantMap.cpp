// KvVariantMap: construction, copying, typed access and member operations, each
// forwarded to the map's own KvVariantMapImpl.
#include "variant/KvVariantMap.h"

#include <cstring>

#include "base/Log.h"
#include "variant/JsonValueKinds.h"
#include "variant/KvVariantMapImpl.h"

namespace IPC {

namespace K = JsonValueKinds;
using Value = KvVariantMapImpl::Value;
using OnInvalid = KvVariantMapImpl::OnInvalid;

namespace {

// A new map whose root is a deep copy of value, whatever its kind.
KvVariantMap MapOf(const Value& value) {
  KvVariantMap map;
  KvVariantMapImpl& impl = KvVariantMapImpl::Of(map);
  impl.document.CopyFrom(value, impl.GetAllocator());
  return map;
}

// GetString copies the text up to its first zero byte, as GetCString would show it.
std::string StringOf(const Value& value) {
  const char* text = KvVariantMapImpl::ReadPresent<const char*>(value, K::ReadCString);
  return text != nullptr ? std::string(text) : std::string();
}

}  // namespace

// --- Construction and copying -------------------------------------------------------

KvVariantMap::KvVariantMap() : impl(std::make_shared<KvVariantMapImpl>()) {}

KvVariantMap::KvVariantMap(const KvVariantMap& other) : KvVariantMap() {
  impl->document.CopyFrom(other.impl->document, impl->GetAllocator());
}

KvVariantMap::KvVariantMap(KvVariantMap&& other) noexcept : KvVariantMap() {
  impl->SwapContent(*other.impl);
}

KvVariantMap::KvVariantMap(const std::string& jsonText) : KvVariantMap() {
  impl->ParseJSON(jsonText);
}

KvVariantMap::~KvVariantMap() = default;

KvVariantMap& KvVariantMap::operator=(const KvVariantMap& other) {
  if (this != &other) impl->document.CopyFrom(other.impl->document, impl->GetAllocator());
  return *this;
}

KvVariantMap& KvVariantMap::operator=(KvVariantMap&& other) noexcept {
  impl->SwapContent(*other.impl);
  return *this;
}

// --- Setters ------------------------------------------------------------------------

void KvVariantMap::Set(const std::string& key, const std::shared_ptr<IVariantMap>& value) {
  if (value) Set(key, *value);
}

void KvVariantMap::Set(const std::string& key, const IVariantMap& value) {
  if (!impl->IsValid()) return;
  Value copy = impl->CopyOf(value);  // complete before this map changes (value may be *this)
  impl->StoreLast(key, copy);
}

void KvVariantMap::Set(const std::string& key, const char* value) {
  if (value != nullptr) impl->Set(key, [&] { return impl->MakeString(value, std::strlen(value)); });
}

void KvVariantMap::Set(const std::string& key, const std::string& value) {
  impl->Set(key, [&] { return impl->MakeString(value.data(), value.size()); });
}

void KvVariantMap::Set(const std::string& key, double value) {
  impl->Set(key, [&] { return Value(value); });
}

void KvVariantMap::Set(const std::string& key, float value) {
  impl->Set(key, [&] { return Value(static_cast<double>(value)); });
}

void KvVariantMap::Set(const std::string& key, uint64_t value) {
  impl->Set(key, [&] { return Value(value); });
}

void KvVariantMap::Set(const std::string& key, int64_t value) {
  impl->Set(key, [&] { return Value(value); });
}

void KvVariantMap::Set(const std::string& key, uint32_t value) {
  impl->Set(key, [&] { return Value(value); });
}

void KvVariantMap::Set(const std::string& key, int32_t value) {
  impl->Set(key, [&] { return Value(value); });
}

void KvVariantMap::Set(const std::string& key, bool value) {
  impl->Set(key, [&] { return Value(value); });
}

void KvVariantMap::Set(const std::string& key,
                       const std::vector<std::shared_ptr<IVariantMap>>& value) {
  impl->SetList(key, value, [&](const std::shared_ptr<IVariantMap>& map) {
    return map ? impl->CopyOf(*map) : Value(rapidjson::kObjectType);
  });
}

void KvVariantMap::Set(const std::string& key, const std::vector<KvVariantMap>& value) {
  impl->SetList(key, value, [&](const KvVariantMap& map) { return impl->CopyOf(map); });
}

void KvVariantMap::Set(const std::string& key, const std::vector<std::string>& value) {
  impl->SetList(key, value,
                [&](const std::string& s) { return impl->MakeString(s.data(), s.size()); });
}

void KvVariantMap::Set(const std::string& key, const std::vector<double>& value) {
  impl->SetList(key, value, [](double d) { return Value(d); });
}

void KvVariantMap::Set(const std::string& key, const std::vector<float>& value) {
  impl->SetList(key, value, [](float f) { return Value(static_cast<double>(f)); });
}

void KvVariantMap::Set(const std::string& key, const std::vector<uint64_t>& value) {
  impl->SetList(key, value, [](uint64_t n) { return Value(n); });
}

void KvVariantMap::Set(const std::string& key, const std::vector<int64_t>& value) {
  impl->SetList(key, value, [](int64_t n) { return Value(n); });
}

void KvVariantMap::Set(const std::string& key, const std::vector<uint32_t>& value) {
  impl->SetList(key, value, [](uint32_t n) { return Value(n); });
}

void KvVariantMap::Set(const std::string& key, const std::vector<int32_t>& value) {
  impl->SetList(key, value, [](int32_t n) { return Value(n); });
}

void KvVariantMap::Set(const std::string& key, const std::vector<bool>& value) {
  impl->SetList(key, value, [](bool b) { return Value(b); });
}

// --- Single values ------------------------------------------------------------------

#define HOSTLINK_SCALAR_GETTERS(Name, Type, Read)                             \
  Type KvVariantMap::Name(const std::string& key, Type defaultValue) const {  \
    return impl->Get<Type>(key, MissingKeySite::kValue, &defaultValue, Read); \
  }                                                                           \
  Type KvVariantMap::Name(const std::string& key) const {                     \
    return impl->Get<Type>(key, MissingKeySite::kValue, nullptr, Read);       \
  }

HOSTLINK_SCALAR_GETTERS(GetBool, bool, K::ReadBool)
HOSTLINK_SCALAR_GETTERS(GetInt, int32_t, K::ReadInt)
HOSTLINK_SCALAR_GETTERS(GetUInt, uint32_t, K::ReadUInt)
HOSTLINK_SCALAR_GETTERS(GetInt64, int64_t, K::ReadInt64)
HOSTLINK_SCALAR_GETTERS(GetUInt64, uint64_t, K::ReadUInt64)
HOSTLINK_SCALAR_GETTERS(GetFloat, float, K::ReadFloat)
HOSTLINK_SCALAR_GETTERS(GetDouble, double, K::ReadDouble)
HOSTLINK_SCALAR_GETTERS(GetCString, const char*, K::ReadCString)
#undef HOSTLINK_SCALAR_GETTERS

std::string KvVariantMap::GetString(const std::string& key, const std::string& defaultValue) const {
  const Value* value = impl->Find(key);
  return value != nullptr ? StringOf(*value) : defaultValue;
}

std::string KvVariantMap::GetString(const std::string& key) const {
  const Value* value = impl->Find(key);
  if (value == nullptr) {
    impl->Report(key, MissingKeySite::kString);
    return std::string();
  }
  return StringOf(*value);
}

KvVariantMap KvVariantMap::GetMap(const std::string& key) const {
  return impl->Get<KvVariantMap>(key, MissingKeySite::kMap, nullptr, MapOf);
}

KvVariantMap KvVariantMap::GetMap(const std::string& key, KvVariantMap defaultValue) const {
  if (impl->IsValid() && impl->Find(key) == nullptr) return defaultValue;
  return impl->Get<KvVariantMap>(key, MissingKeySite::kMap, nullptr, MapOf);
}

std::shared_ptr<IVariantMap> KvVariantMap::GetVariantMap(
    const std::string& key, const std::shared_ptr<IVariantMap>& defaultValue) const {
  const Value* value = impl->Find(key);
  if (value == nullptr) return defaultValue;
  return std::make_shared<KvVariantMap>(KvVariantMapImpl::ReadPresent<KvVariantMap>(*value, MapOf));
}

std::shared_ptr<IVariantMap> KvVariantMap::GetVariantMap(const std::string& key) const {
  const Value* value = impl->Find(key);
  if (value == nullptr) {
    impl->Report(key, MissingKeySite::kVariantMap);
    return nullptr;
  }
  return std::make_shared<KvVariantMap>(KvVariantMapImpl::ReadPresent<KvVariantMap>(*value, MapOf));
}

// --- Lists --------------------------------------------------------------------------

#define HOSTLINK_LIST_GETTERS(Name, Type, Read)                                       \
  std::vector<Type> KvVariantMap::Name(const std::string& key,                        \
                                       const std::vector<Type>& defaultValue) const { \
    return impl->GetList<Type>(key, MissingKeySite::kList, &defaultValue, Read);      \
  }                                                                                   \
  std::vector<Type> KvVariantMap::Name(const std::string& key) const {                \
    return impl->GetList<Type>(key, MissingKeySite::kList, nullptr, Read);            \
  }

HOSTLINK_LIST_GETTERS(GetBoolList, bool, K::ReadBool)
HOSTLINK_LIST_GETTERS(GetIntList, int32_t, K::ReadInt)
HOSTLINK_LIST_GETTERS(GetUIntList, uint32_t, K::ReadUInt)
HOSTLINK_LIST_GETTERS(GetInt64List, int64_t, K::ReadInt64)
HOSTLINK_LIST_GETTERS(GetUInt64List, uint64_t, K::ReadUInt64)
HOSTLINK_LIST_GETTERS(GetFloatList, float, K::ReadFloat)
HOSTLINK_LIST_GETTERS(GetDoubleList, double, K::ReadDouble)
HOSTLINK_LIST_GETTERS(GetCStringList, const char*, K::ReadCString)
#undef HOSTLINK_LIST_GETTERS

namespace {

std::string ReadString(const Value& value) {
  const char* text = K::ReadCString(value);
  return text != nullptr ? std::string(text) : std::string();
}

}  // namespace

std::vector<std::string> KvVariantMap::GetStringList(
    const std::string& key, const std::vector<std::string>& defaultValue) const {
  return impl->GetList<std::string>(key, MissingKeySite::kStringList, &defaultValue, ReadString,
                                    OnInvalid::MissingKey);
}

std::vector<std::string> KvVariantMap::GetStringList(const std::string& key) const {
  return impl->GetList<std::string>(key, MissingKeySite::kStringList, nullptr, ReadString,
                                    OnInvalid::MissingKey);
}

std::vector<KvVariantMap> KvVariantMap::GetMapList(const std::string& key) const {
  return impl->GetList<KvVariantMap>(key, MissingKeySite::kMapList, nullptr, MapOf);
}

std::vector<KvVariantMap> KvVariantMap::GetMapList(
    const std::string& key, const std::vector<KvVariantMap>& defaultValue) const {
  return impl->GetList<KvVariantMap>(key, MissingKeySite::kMapList, &defaultValue, MapOf);
}

namespace {

std::vector<std::shared_ptr<IVariantMap>> Shared(std::vector<KvVariantMap>&& maps) {
  std::vector<std::shared_ptr<IVariantMap>> shared;
  shared.reserve(maps.size());
  for (KvVariantMap& map : maps) shared.push_back(std::make_shared<KvVariantMap>(std::move(map)));
  return shared;
}

}  // namespace

std::vector<std::shared_ptr<IVariantMap>> KvVariantMap::GetVariantMapList(
    const std::string& key, const std::vector<std::shared_ptr<IVariantMap>>& defaultValue) const {
  if (impl->Find(key) == nullptr) return defaultValue;
  return Shared(GetMapList(key));
}

std::vector<std::shared_ptr<IVariantMap>> KvVariantMap::GetVariantMapList(
    const std::string& key) const {
  if (impl->Find(key) == nullptr) {
    impl->Report(key, MissingKeySite::kVariantMapList);
    return {};
  }
  return Shared(GetMapList(key));
}

// --- Presence and shape -------------------------------------------------------------

bool KvVariantMap::Has(const std::string& key) const { return impl->Find(key) != nullptr; }

bool KvVariantMap::HasAny(const std::vector<std::string>& keys) const {
  for (const std::string& key : keys) {
    if (Has(key)) return true;
  }
  return false;
}

uint32_t KvVariantMap::GetListSize(const std::string& key) const {
  const Value* value = impl->Find(key);
  return value != nullptr && value->IsArray() ? value->Size() : 0;
}

std::vector<std::string> KvVariantMap::GetKeys() const {
  std::vector<std::string> keys;
  if (!impl->IsValid()) return keys;
  keys.reserve(impl->document.MemberCount());
  for (const auto& member : impl->document.GetObject()) {
    keys.emplace_back(member.name.GetString(), member.name.GetStringLength());
  }
  return keys;
}

bool KvVariantMap::IsBool(const std::string& key) const { return impl->Is(key, K::IsBool); }
bool KvVariantMap::IsInt(const std::string& key) const { return impl->Is(key, K::IsInt); }
bool KvVariantMap::IsUInt(const std::string& key) const { return impl->Is(key, K::IsUInt); }
bool KvVariantMap::IsInt64(const std::string& key) const { return impl->Is(key, K::IsInt64); }
bool KvVariantMap::IsUInt64(const std::string& key) const { return impl->Is(key, K::IsUInt64); }
bool KvVariantMap::IsFloat(const std::string& key) const { return impl->Is(key, K::IsFloat); }
bool KvVariantMap::IsDouble(const std::string& key) const { return impl->Is(key, K::IsDouble); }
bool KvVariantMap::IsString(const std::string& key) const { return impl->Is(key, K::IsString); }

bool KvVariantMap::IsMap(const std::string& key) const {
  if (!impl->IsValid()) return false;
  const Value* value = impl->Find(key);
  if (value == nullptr) {
    LogError(("KvVariantMap : 671 - " + key).c_str());
    return false;
  }
  if (value->IsArray()) return !value->Empty() && value->Begin()->IsObject();
  return value->IsObject();
}

bool KvVariantMap::IsList(const std::string& key) const {
  if (!impl->IsValid()) return false;
  const Value* value = impl->Find(key);
  if (value == nullptr) {
    LogError(("KvVariantMap : " + key + " not found").c_str());
    return false;
  }
  return value->IsArray();
}

// Each step goes through the interface and stops at the first false, so a missing
// key is never reported here.
bool KvVariantMap::IsTrue(const std::string& key) const {
  return Has(key) && IsBool(key) && GetBool(key);
}

bool KvVariantMap::IsFalse(const std::string& key) const {
  return Has(key) && IsBool(key) && !GetBool(key);
}

// --- JSON text ----------------------------------------------------------------------

std::string KvVariantMap::ToJSONString(bool compact) const {
  std::string text;
  impl->AppendJSON(text, compact);
  return text;
}

void KvVariantMap::AppendJSONString(std::string& out, bool compact) const {
  impl->AppendJSON(out, compact);
}

void KvVariantMap::FromJSONString(const std::string& text) { impl->ParseJSON(text); }

// --- Whole-map operations -----------------------------------------------------------

bool KvVariantMap::IsEmpty() const { return !impl->IsValid() || impl->document.ObjectEmpty(); }

bool KvVariantMap::IsValid() const { return impl->IsValid(); }

void KvVariantMap::CopyKey(const std::string& key, const KvVariantMap& source) {
  if (!impl->IsValid()) return;
  const Value* value = source.impl->Find(key);
  if (value == nullptr) {
    LogError(("KvVariantMap : " + key + " not found").c_str());
    return;
  }
  // Copy before erasing: source may be this map.
  Value copy(*value, impl->GetAllocator());
  impl->StoreLast(key, copy);
}

void KvVariantMap::MergeKeys(const std::vector<std::string>& keys, const KvVariantMap& source) {
  if (!impl->IsValid()) return;
  for (const std::string& key : keys) {
    if (source.Has(key) && !Has(key)) CopyKey(key, source);
  }
}

void KvVariantMap::Merge(const KvVariantMap& source) { MergeKeys(source.GetKeys(), source); }

void KvVariantMap::Remove(const std::string& key) {
  if (!impl->IsValid()) return;
  if (!impl->Erase(key)) LogError(("KvVariantMap : " + key + " not found").c_str());
}

void KvVariantMap::Remove(const std::vector<std::string>& keys) {
  for (const std::string& key : keys) Remove(key);
}

void KvVariantMap::Print(const std::string& tag) const {
  LogError(("KvVariantMap : " + tag + " = " + ToJSONString(false)).c_str());
}

}  // namespace IPC
