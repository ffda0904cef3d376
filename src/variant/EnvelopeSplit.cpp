// The envelope split, on the documents behind the maps.
#include "variant/EnvelopeSplit.h"

#include "variant/KvVariantMapImpl.h"

namespace IPC {

bool SplitEnvelope(KvVariantMap& message, const std::string& envelope, const std::string& bulkKey,
                   BulkForm form, KvVariantMap& body, KvVariantMap& bulk, bool* hasBulk) {
  *hasBulk = false;
  if (!message.IsMap(envelope)) {
    return false;
  }
  using Value = rapidjson::Value;
  KvVariantMapImpl& parsed = KvVariantMapImpl::Of(message);
  Value* bodyValue = &parsed.document.FindMember(
      Value(rapidjson::StringRef(envelope.data(), static_cast<rapidjson::SizeType>(envelope.size()))))
      ->value;
  if (bodyValue->IsArray()) {
    bodyValue = &*bodyValue->Begin();  // read as GetMap reads a list: its first element
  }
  Value bulkValue;
  const auto member = bodyValue->FindMember(
      Value(rapidjson::StringRef(bulkKey.data(), static_cast<rapidjson::SizeType>(bulkKey.size()))));
  *hasBulk = member != bodyValue->MemberEnd();
  if (*hasBulk) {
    bulkValue = member->value;  // moves; the body keeps a null in its place
  }
  body = message.GetMap(envelope);
  if (!*hasBulk) {
    return true;
  }
  // bulk takes the parsed document's pool, where the value lives, so nothing is copied.
  KvVariantMapImpl& own = KvVariantMapImpl::Of(bulk);
  own.SwapContent(parsed);
  Value root(rapidjson::kObjectType);
  if (form == BulkForm::Member) {
    Value name(bulkKey.data(), static_cast<rapidjson::SizeType>(bulkKey.size()), own.GetAllocator());
    root.AddMember(name, bulkValue, own.GetAllocator());
  } else {
    Value* present = &bulkValue;
    if (bulkValue.IsArray()) {
      present = bulkValue.Empty() ? nullptr : &*bulkValue.Begin();
    }
    if (present != nullptr) {
      root = *present;
    }
  }
  static_cast<Value&>(own.document) = root;
  return true;
}

}  // namespace IPC
