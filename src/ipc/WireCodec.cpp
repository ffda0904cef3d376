// Wire values written into and read out of a message's JSON document.
#include "ipc/WireCodec.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <unordered_map>
#include <utility>

#include "ipc/WireWriter.h"
#include "variant/JsonTextBuilder.h"
#include "variant/JsonValueBuilder.h"

namespace IPC {
namespace WireCodec {

namespace {

// --- Encoding ------------------------------------------------------------------------

bool HasWireForm(const WireValue& value);

void WriteValue(const WireValue& value, WireWriter& out) {
  switch (value.GetKind()) {
    case WireValue::Kind::Bool:
      out.Bool(value.AsBool());
      return;
    case WireValue::Kind::Int:
      out.Int(value.AsInt());
      return;
    case WireValue::Kind::UInt64:
    case WireValue::Kind::Double:
      out.Double(value.AsNumber());
      return;
    case WireValue::Kind::String:
      out.String(value.AsString());
      return;
    case WireValue::Kind::Table:
      out.StartTable();
      for (const auto& member : value.Members()) {
        if (!HasWireForm(member.second)) continue;
        out.Member(member.first);
        WriteValue(member.second, out);
      }
      out.EndTable(value.IsList());
      return;
    case WireValue::Kind::Proxy:
      if (const ProxyInfo* proxy = value.GetProxy()) {
        out.Proxy(proxy->proxyId, proxy->uniqueId, proxy->name, proxy->functions);
      }
      return;
    case WireValue::Kind::ProxyRef:
      out.Reference(value.GetProxyId());
      return;
    case WireValue::Kind::None:
    case WireValue::Kind::Unreadable:
      return;  // no wire form; the callers never send these
  }
}

void Write(const WireValue& value, JsonSink& sink) {
  WireWriter out(sink);
  WriteValue(value, out);
}

void WriteMembersTo(const WireMembers& members, WireWriter& out) {
  out.StartMembers();
  for (const auto& member : members) {
    if (!HasWireForm(member.second)) continue;
    out.Member(member.first);
    WriteValue(member.second, out);
  }
  out.EndMembers();
}

bool HasWireForm(const WireValue& value) {
  return !value.IsNone() && value.GetKind() != WireValue::Kind::Unreadable &&
         !(value.GetKind() == WireValue::Kind::Proxy && value.GetProxy() == nullptr);
}

// --- Decoding ------------------------------------------------------------------------

// A string as every keyed read of the variant map gives it: up to its first zero byte.
std::string_view UpToZero(std::string_view text) {
  const void* zero = std::memchr(text.data(), 0, text.size());
  return zero == nullptr
             ? text
             : text.substr(0, static_cast<size_t>(static_cast<const char*>(zero) - text.data()));
}

std::string TextOf(JsonView json) { return std::string(UpToZero(json.GetString())); }

WireValue DecodePresent(JsonView json);

WireValue DecodeObject(JsonView object) {
  const JsonView type = object.Find("type").Present();
  const std::string typeText = type.Kind() == JsonKind::String ? TextOf(type) : std::string();
  if (typeText == "table") {
    const JsonView value = object.Find("value");
    if (!value.IsPresent()) {
      return WireValue::Unreadable(WireValue::Fault::TableNoValue);
    }
    const JsonView isList = object.Find("isList").Present();
    WireValue table = WireValue::Table({}, isList.Kind() == JsonKind::Bool && isList.GetBool());
    const JsonView members = value.Present();
    if (members.Kind() == JsonKind::Object) {
      DecodeMembers(members, table.Members());
    } else if (members.IsPresent()) {
      table.MarkValueNotMap();
    }
    return table;
  }
  if (typeText == "proxy") {
    // Small and rare enough to be read by the description's own reader, with its rules.
    ProxyInfo info;
    if (!object.Find("value").IsPresent() || !info.FromVariantMap(object.CopyToMap())) {
      return WireValue::UndescribedProxy();
    }
    return WireValue::Proxy(std::move(info));
  }
  if (typeText == "proxyref") {
    const JsonView id = object.Find("value").Present();
    int64_t proxyId = 0;
    if (id.Kind() == JsonKind::Int64 && id.GetInt64() >= std::numeric_limits<int32_t>::min() &&
        id.GetInt64() <= std::numeric_limits<int32_t>::max()) {
      proxyId = id.GetInt64();
    }
    return WireValue::Reference(proxyId);
  }
  return WireValue::Unreadable(WireValue::Fault::UnknownObject);
}

WireValue DecodePresent(JsonView json) {
  switch (json.Kind()) {
    case JsonKind::Bool:
      return WireValue::Bool(json.GetBool());
    case JsonKind::Int64:
      return WireValue::Int(json.GetInt64());
    case JsonKind::UInt64:
      return WireValue::UInt64(json.GetUInt64());
    case JsonKind::Double:
      return WireValue::Double(json.GetDouble());
    case JsonKind::String:
      return WireValue::String(TextOf(json));
    case JsonKind::Object:
      return DecodeObject(json);
    case JsonKind::Absent:
    case JsonKind::Null:
    case JsonKind::Array:
      break;
  }
  return WireValue::Unreadable(WireValue::Fault::NoValue);
}

// For each member, the index of the first member of its name. Small objects are searched,
// large ones hashed, so n members cost O(n).
class FirstByName {
 public:
  explicit FirstByName(JsonView object) : object_(object) {
    const uint32_t count = object.Size();
    if (count > kSearchLimit) {
      hashed_.reserve(count);
      for (uint32_t i = 0; i < count; ++i) hashed_.emplace(object.MemberName(i), i);
    }
  }
  uint32_t FirstOf(uint32_t index) const {
    const std::string_view name = object_.MemberName(index);
    if (!hashed_.empty()) return hashed_.find(name)->second;
    for (uint32_t i = 0; i < index; ++i) {
      if (object_.MemberName(i) == name) return i;
    }
    return index;
  }

 private:
  static constexpr uint32_t kSearchLimit = 16;
  JsonView object_;
  std::unordered_map<std::string_view, uint32_t> hashed_;
};

// True when the members are named "0", "1", ... in order, as lists are.
bool NamedByPosition(JsonView object) {
  const uint32_t count = object.Size();
  char digits[16];
  for (uint32_t i = 0; i < count; ++i) {
    const auto written = std::to_chars(digits, digits + sizeof digits, i);
    if (object.MemberName(i) !=
        std::string_view(digits, static_cast<size_t>(written.ptr - digits))) {
      return false;
    }
  }
  return true;
}

// --- Plain JSON ----------------------------------------------------------------------

// True when a member name comes twice, which the decoder reads by its first member and
// JSON.parse by its last.
bool RepeatsAName(JsonView object) {
  const uint32_t count = object.Size();
  if (count < 2 || NamedByPosition(object)) return false;
  const FirstByName lookup(object);
  for (uint32_t i = 1; i < count; ++i) {
    if (lookup.FirstOf(i) != i) return true;
  }
  return false;
}

bool WritePlainValue(JsonView json, JsonTextBuilder& out) {
  switch (json.Kind()) {
    case JsonKind::Bool:
      out.Bool(json.GetBool());
      return true;
    case JsonKind::Int64:
      out.Int64(json.GetInt64());
      return true;
    case JsonKind::UInt64:
    case JsonKind::Double:
      out.Double(json.GetDouble());
      return true;
    case JsonKind::String:
      out.String(UpToZero(json.GetString()));
      return true;
    case JsonKind::Object:
      break;
    case JsonKind::Absent:
    case JsonKind::Null:
    case JsonKind::Array:
      return false;
  }
  // Only a table whose "value" is an object with no repeated name reads plainly.
  const JsonView type = json.Find("type").Present();
  if (type.Kind() != JsonKind::String || UpToZero(type.GetString()) != "table") return false;
  const JsonView members = json.Find("value");
  if (members.Kind() != JsonKind::Object || RepeatsAName(members)) return false;
  const JsonView isList = json.Find("isList").Present();
  const uint32_t count = members.Size();
  if (isList.Kind() == JsonKind::Bool && isList.GetBool()) {
    out.StartArray();
    for (uint32_t i = 0; i < count; ++i) {
      if (!WritePlainValue(members.MemberValue(i), out)) return false;
    }
    out.EndArray();
    return true;
  }
  out.StartObject();
  for (uint32_t i = 0; i < count; ++i) {
    // A JavaScript key ends at its first zero byte, which could make two names one.
    const std::string_view name = members.MemberName(i);
    if (std::memchr(name.data(), 0, name.size()) != nullptr) return false;
    out.Key(name);
    if (!WritePlainValue(members.MemberValue(i), out)) return false;
  }
  out.EndObject();
  return true;
}

bool WritePlainWire(const WireValue& value, JsonTextBuilder& out) {
  using Kind = WireValue::Kind;
  switch (value.GetKind()) {
    case Kind::Bool:
      out.Bool(value.AsBool());
      return true;
    case Kind::Int:
      out.Int64(value.AsInt());
      return true;
    case Kind::UInt64:
    case Kind::Double: {
      // The double the value road makes, written so that it reads back bit for bit.
      const double number = value.AsNumber();
      if (!std::isfinite(number)) return false;
      out.Double(number);
      return true;
    }
    case Kind::String:
      out.String(value.AsString());
      return true;
    case Kind::Table:
      break;
    default:
      return false;  // undefined, proxies, references and what could not be read
  }
  if (value.IsList()) {
    out.StartArray();
    for (const auto& member : value.Members()) {
      if (!WritePlainWire(member.second, out)) return false;
    }
    out.EndArray();
    return true;
  }
  out.StartObject();
  for (const auto& member : value.Members()) {
    if (std::memchr(member.first.data(), 0, member.first.size()) != nullptr) return false;
    out.Key(member.first);
    if (!WritePlainWire(member.second, out)) return false;
  }
  out.EndObject();
  return true;
}

}  // namespace

void Write(const WireValue& value, WireWriter& out) { WriteValue(value, out); }

void WriteMembers(const WireMembers& members, WireWriter& out) { WriteMembersTo(members, out); }

void Append(const WireValue& value, std::string_view key, KvVariantMap& map) {
  if (!HasWireForm(value)) return;
  JsonValueBuilder builder(map);
  Write(value, builder);
  builder.AppendAs(key);
}

void Store(const WireValue& value, const std::string& key, KvVariantMap& map) {
  if (!HasWireForm(value)) return;
  JsonValueBuilder builder(map);
  Write(value, builder);
  builder.StoreAs(key);
}

void AppendMembers(const WireMembers& members, KvVariantMap& map) {
  for (const auto& member : members) Append(member.second, member.first, map);
}

void StoreMembers(const WireMembers& members, const std::string& key, KvVariantMap& map) {
  JsonValueBuilder builder(map);
  WireWriter out(builder);
  WriteMembersTo(members, out);
  builder.StoreAs(key);
}

WireValue Decode(JsonView json) {
  if (json.Kind() != JsonKind::Array) return DecodePresent(json);
  WireValue value = DecodePresent(json.Present());
  value.MarkFromArray();
  return value;
}

void DecodeMembers(JsonView object, WireMembers& members) {
  members.clear();
  if (object.Kind() != JsonKind::Object) return;
  const uint32_t count = object.Size();
  members.reserve(count);
  if (count > 1 && NamedByPosition(object)) {
    // A list's members, "0", "1", ...: no name repeats.
    for (uint32_t i = 0; i < count; ++i) {
      members.emplace_back(std::string(object.MemberName(i)), Decode(object.MemberValue(i)));
    }
    return;
  }
  const FirstByName lookup(object);
  for (uint32_t i = 0; i < count; ++i) {
    const uint32_t first = lookup.FirstOf(i);
    std::string name(object.MemberName(i));
    if (first == i) {
      members.emplace_back(std::move(name), Decode(object.MemberValue(i)));
    } else {
      members.emplace_back(std::move(name), members[first].second);  // a rare repeat: copied
    }
  }
}

bool WritePlainJson(JsonView json, std::string& out) {
  const size_t start = out.size();
  JsonTextBuilder builder(out);
  if (WritePlainValue(json, builder)) return true;
  out.resize(start);
  return false;
}

bool WritePlainJson(const WireValue& value, std::string& out, bool* asciiOnly) {
  const size_t start = out.size();
  JsonTextBuilder builder(out);
  if (!WritePlainWire(value, builder)) {
    out.resize(start);
    return false;
  }
  unsigned char high = 0;
  for (size_t i = start; i < out.size(); ++i) high |= static_cast<unsigned char>(out[i]);
  *asciiOnly = high < 0x80;
  return true;
}

}  // namespace WireCodec
}  // namespace IPC
