// A response text as the add-on receives it: read into a fresh message, then every typed
// reader on the result and the members nested in it, as the add-on's conversion reads
// them, and the writer's text read back. A table result the straight road reads from the
// text must be the one the parsed message gives, as must a callback name read straight
// from it, and the plain text of any value read off the wire must read back as that value.
#include <cstdint>
#include <cstring>
#include <string>

#include "FuzzCheck.h"
#include "JsonCompare.h"
#include "MapWalker.h"
#include "ipc/BareCallback.h"
#include "ipc/PlainResult.h"
#include "ipc/ResponseMessage.h"
#include "ipc/WireCodec.h"
#include "variant/JsonView.h"

namespace {

bool SameText(const std::string& a, const std::string& b) {
  rapidjson::Document x;
  rapidjson::Document y;
  return Fuzz::ParseExactly(a, x) && Fuzz::ParseExactly(b, y) &&
         Fuzz::SameJson(x, y, Fuzz::Doubles::NearlyEqual);
}

using IPC::JsonKind;
using IPC::JsonView;
using IPC::ResponseMessage;

bool IsNumber(JsonKind kind) {
  return kind == JsonKind::Int64 || kind == JsonKind::UInt64 || kind == JsonKind::Double;
}

// The same values as JSON.parse builds them: numbers as doubles, bit for bit.
bool SameValues(JsonView a, JsonView b) {
  if (IsNumber(a.Kind()) && IsNumber(b.Kind())) {
    const double x = a.GetDouble();
    const double y = b.GetDouble();
    return std::memcmp(&x, &y, sizeof x) == 0;
  }
  if (a.Kind() != b.Kind()) return false;
  switch (a.Kind()) {
    case JsonKind::Bool:
      return a.GetBool() == b.GetBool();
    case JsonKind::String:
      return a.GetString() == b.GetString();
    case JsonKind::Array:
      if (a.Size() != b.Size()) return false;
      for (uint32_t i = 0; i < a.Size(); ++i) {
        if (!SameValues(a.Element(i), b.Element(i))) return false;
      }
      return true;
    case JsonKind::Object:
      if (a.Size() != b.Size()) return false;
      for (uint32_t i = 0; i < a.Size(); ++i) {
        if (a.MemberName(i) != b.MemberName(i) || !SameValues(a.MemberValue(i), b.MemberValue(i))) {
          return false;
        }
      }
      return true;
    default:
      return false;
  }
}

// Plain text written from a value read off the wire reads back as what the value-by-value
// road makes of it: numbers as the same doubles, bit for bit, names in the same order.
bool SameAsWire(JsonView json, const IPC::WireValue& value) {
  using Kind = IPC::WireValue::Kind;
  switch (value.GetKind()) {
    case Kind::Bool:
      return json.Kind() == JsonKind::Bool && json.GetBool() == value.AsBool();
    case Kind::Int:
    case Kind::UInt64:
    case Kind::Double: {
      if (!IsNumber(json.Kind())) return false;
      const double x = json.GetDouble();
      const double y = value.AsNumber();
      return std::memcmp(&x, &y, sizeof x) == 0;
    }
    case Kind::String:
      return json.Kind() == JsonKind::String && json.GetString() == value.AsString();
    case Kind::Table:
      break;
    default:
      return false;
  }
  const IPC::WireMembers& members = value.Members();
  const bool list = value.IsList();
  if (json.Kind() != (list ? JsonKind::Array : JsonKind::Object) || json.Size() != members.size()) {
    return false;
  }
  for (uint32_t i = 0; i < json.Size(); ++i) {
    if (list ? !SameAsWire(json.Element(i), members[i].second)
             : json.MemberName(i) != members[i].first ||
                   !SameAsWire(json.MemberValue(i), members[i].second)) {
      return false;
    }
  }
  return true;
}

void CheckPlainWire(const IPC::WireValue& value) {
  std::string plain;
  bool asciiOnly = false;
  if (!IPC::WireCodec::WritePlainJson(value, plain, &asciiOnly)) {
    FUZZ_CHECK(plain.empty());
    return;
  }
  const IPC::KvVariantMap back("{\"v\":" + plain + "}");
  FUZZ_CHECK(back.Has("v"));
  FUZZ_CHECK(SameAsWire(JsonView::Of(back).Find("v"), value));
  bool high = false;
  for (const char c : plain) high = high || static_cast<unsigned char>(c) >= 0x80;
  FUZZ_CHECK(asciiOnly == !high);
}

// Whatever the straight road takes, the parsed road reads as a success whose result
// writes the same plain values.
void CheckStraightRoad(const std::string& text, const ResponseMessage& response, bool read) {
  std::string straight;
  bool asciiOnly = false;
  if (!IPC::WritePlainResult(text, straight, &asciiOnly)) {
    FUZZ_CHECK(straight.empty());
    return;
  }
  FUZZ_CHECK(read && response.status);
  std::string parsed;
  FUZZ_CHECK(IPC::WireCodec::WritePlainJson(JsonView::Of(response.result).Find("result"), parsed));
  const IPC::KvVariantMap a("{\"v\":" + straight + "}");
  const IPC::KvVariantMap b("{\"v\":" + parsed + "}");
  FUZZ_CHECK(a.Has("v") && b.Has("v"));
  FUZZ_CHECK(SameValues(JsonView::Of(a).Find("v"), JsonView::Of(b).Find("v")));
  bool high = false;
  for (const char c : straight) high = high || static_cast<unsigned char>(c) >= 0x80;
  FUZZ_CHECK(asciiOnly == !high);
}

// A callback name the straight read takes is the one the parsed road reads, from a success
// without arguments.
void CheckBareCallback(const std::string& text, const ResponseMessage& response, bool read) {
  std::string name;
  if (!IPC::ReadBareCallbackName(text, name)) {
    FUZZ_CHECK(name.empty());
    return;
  }
  FUZZ_CHECK(read && response.status && response.args.empty());
  FUZZ_CHECK(response.result.IsString("result") && response.result.GetString("result") == name);
}

void CheckUntouched(const ResponseMessage& response) {
  FUZZ_CHECK(!response.status);
  FUZZ_CHECK(response.requestId == ResponseMessage::kNoRequestId);
  FUZZ_CHECK(response.result.IsValid() && response.result.IsEmpty());
  FUZZ_CHECK(response.errorStr.empty());
  FUZZ_CHECK(response.errorCode == ResponseMessage::kNoErrorCode);
  FUZZ_CHECK(response.FormatError().empty());
}

// What the writer gives back is read as the same response, and writing that again gives
// the same text (a response without an identifier writes the value for none).
void CheckRoundTrip(const ResponseMessage& response) {
  const std::string text = response.ToJSONString();
  ResponseMessage back;
  FUZZ_CHECK(back.FromJSONString(text));
  FUZZ_CHECK(back.status == response.status);
  FUZZ_CHECK(back.requestId ==
             (response.requestId != 0 ? response.requestId : ResponseMessage::kNoRequestId));
  if (response.status) {
    FUZZ_CHECK(back.result.Has("result") == response.result.Has("result"));
  } else {
    FUZZ_CHECK(back.errorStr == response.errorStr);
    FUZZ_CHECK(back.errorCode ==
               (response.errorStr.empty() ? ResponseMessage::kNoErrorCode : response.errorCode));
  }
  ResponseMessage again;
  FUZZ_CHECK(again.FromJSONString(back.ToJSONString()));
  // The same text, but for floating numbers, which the parser reads back to within
  // their last bits (normal precision).
  FUZZ_CHECK(SameText(again.ToJSONString(), back.ToJSONString()));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  ResponseMessage response;
  const bool read = response.FromJSONString(text);
  CheckStraightRoad(text, response, read);
  CheckBareCallback(text, response, read);
  if (!read) {
    CheckUntouched(response);
    return 0;
  }
  // The result map holds at most the one member "result", and only on success.
  FUZZ_CHECK(response.result.IsValid());
  FUZZ_CHECK(response.result.GetKeys().size() <= 1);
  FUZZ_CHECK(response.status || response.result.IsEmpty());
  if (!response.status) FUZZ_CHECK(response.errorStr.find('\0') == std::string::npos);

  // The checks of the add-on: a callback name, or a result of any kind.
  if (response.status && response.result.IsString("result")) {
    (void)response.result.GetString("result");
  }
  (void)response.FormatError();
  Fuzz::WalkMap(response.result);
  CheckRoundTrip(response);
  // A callback's arguments, and a result that no plain text road took, go to JavaScript
  // from their wire values.
  if (response.status) CheckPlainWire(response.ResultValue());
  for (const auto& argument : response.args) CheckPlainWire(argument.second);
  return 0;
}
