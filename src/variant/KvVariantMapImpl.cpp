// Lookup, storage and JSON text of the document behind a KvVariantMap.
#include "variant/KvVariantMapImpl.h"

#include "base/Log.h"
#include "variant/FiniteJsonParse.h"
#include "variant/JsonGuard.h"
#include "variant/JsonTextWriter.h"
#include "variant/StringAppendStream.h"

namespace IPC {

namespace {

rapidjson::SizeType Size32(std::size_t size) { return static_cast<rapidjson::SizeType>(size); }

constexpr std::size_t kPoolChunkSize = 4096;

void ReportMissingKey(const std::string& key, int32_t site) {
  LogError(("KvVariantMap : " + std::to_string(site) + " : missing key:" + key).c_str());
}

}  // namespace

KvVariantMapImpl::KvVariantMapImpl()
    : pool(std::make_unique<Allocator>(kPoolChunkSize)),
      document(rapidjson::kObjectType, pool.get()),
      missingKeyReporter(ReportMissingKey) {}

void KvVariantMapImpl::SwapContent(KvVariantMapImpl& other) noexcept {
  document.Swap(other.document);
  pool.swap(other.pool);
}

void KvVariantMapImpl::ResetContent(rapidjson::Type rootType) {
  auto freshPool = std::make_unique<Allocator>(kPoolChunkSize);
  rapidjson::Document fresh(rootType, freshPool.get());
  document.Swap(fresh);
  pool.swap(freshPool);  // the old pool goes with the old document at scope exit
}

const KvVariantMapImpl::Value* KvVariantMapImpl::Find(const std::string& key) const {
  if (!IsValid()) return nullptr;
  const Value name(rapidjson::StringRef(key.data(), Size32(key.size())));
  const auto member = document.FindMember(name);
  return member == document.MemberEnd() ? nullptr : &member->value;
}

KvVariantMapImpl::Value KvVariantMapImpl::MakeString(const char* data, std::size_t size) {
  return Value(data, Size32(size), GetAllocator());
}

KvVariantMapImpl::Value KvVariantMapImpl::CopyOf(const IVariantMap& map) {
  if (const auto* kv = dynamic_cast<const KvVariantMap*>(&map)) {
    return Value(Of(*kv).document, GetAllocator());
  }
  // Another implementation: carry its content over through its JSON text.
  const std::string text = map.ToJSONString(true);
  KvVariantMap copy;
  if (!text.empty()) copy.FromJSONString(text);
  return Value(Of(copy).document, GetAllocator());
}

void KvVariantMapImpl::Store(const std::string& key, Value& value) {
  const Value name(rapidjson::StringRef(key.data(), Size32(key.size())));
  const auto member = document.FindMember(name);
  if (member != document.MemberEnd()) {
    member->value = value;  // moves; the old value's storage stays in the pool
    return;
  }
  Value ownName(key.data(), Size32(key.size()), GetAllocator());
  document.AddMember(ownName, value, GetAllocator());
}

void KvVariantMapImpl::StoreLast(const std::string& key, Value& value) {
  Erase(key);
  Value ownName(key.data(), Size32(key.size()), GetAllocator());
  document.AddMember(ownName, value, GetAllocator());
}

bool KvVariantMapImpl::Erase(const std::string& key) {
  const Value name(rapidjson::StringRef(key.data(), Size32(key.size())));
  const auto member = document.FindMember(name);
  if (member == document.MemberEnd()) return false;
  document.EraseMember(member);  // keeps the order of the members after it
  return true;
}

bool KvVariantMapImpl::Is(const std::string& key, bool (*test)(const Value&)) const {
  if (!IsValid()) return false;
  const Value* value = Find(key);
  if (value == nullptr) {
    Report(key, MissingKeySite::kKind);
    return false;
  }
  if (value->IsArray()) return !value->Empty() && test(*value->Begin());
  return test(*value);
}

void KvVariantMapImpl::AppendJSON(std::string& out, bool compact) const {
  if (!IsValid()) return;
  if (compact) {
    AppendCompactJsonText(document, out);
    return;
  }
  StringAppendStream stream(out);
  WriteJsonText(document, stream, compact);
}

void KvVariantMapImpl::ParseJSON(const std::string& text) {
  // The guard and the parser both stop at the first zero byte.
  if (!JsonGuard::Accepts(text.data(), text.size())) {
    LogError("KvVariantMap : JSON parse failed");
    return;
  }
  // On failure the root stays as it was.
  if (!ParseFiniteJson(document, text.c_str())) LogError("KvVariantMap : JSON parse failed");
}

}  // namespace IPC
