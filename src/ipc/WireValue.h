// One value of the wire vocabulary: a scalar, a table (a map, or a list when marked so),
// a proxy description or a proxy reference. The bridge converts JavaScript values to and
// from it, the host its own values; WireCodec is the one place that turns it into JSON
// and back. A value decoded from a peer may also be unreadable: then Kind::Unreadable
// says why, and each side words its own error.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "ipc/ProxyInfo.h"

namespace IPC {

class WireValue;

// Members in wire order. A JavaScript array is a list table keyed "0", "1", ...
using WireMembers = std::vector<std::pair<std::string, WireValue>>;

class WireValue {
 public:
  enum class Kind { None, Bool, Int, UInt64, Double, String, Table, Proxy, ProxyRef, Unreadable };

  // Why a decoded value has no wire meaning.
  enum class Fault {
    None,
    NoValue,        // null, or an empty JSON array
    UnknownObject,  // an object whose "type" is missing or names no wire kind
    TableNoValue,   // a table without its "value" member
  };

  // None: no value at all (a result the host left out).
  WireValue() = default;
  static WireValue Bool(bool value);
  // Integers; the encoder writes those beyond the signed 32-bit range as it is told.
  static WireValue Int(int64_t value);
  // Integers above the signed 64-bit range, only ever read from a peer.
  static WireValue UInt64(uint64_t value);
  static WireValue Double(double value);
  static WireValue String(std::string text);
  static WireValue Table(WireMembers members, bool isList);
  // A description with proxyId, uniqueId, name and functions.
  static WireValue Proxy(ProxyInfo info);
  // A proxy read from a peer without its "value" member: no description.
  static WireValue UndescribedProxy();
  static WireValue Reference(int64_t proxyId);
  static WireValue Unreadable(Fault fault);

  Kind GetKind() const { return kind_; }
  bool IsNone() const { return kind_ == Kind::None; }

  // Each reader gives the zero value for a value of another kind.
  bool AsBool() const { return kind_ == Kind::Bool && number_.b; }
  int64_t AsInt() const { return kind_ == Kind::Int ? number_.i : 0; }
  uint64_t AsUInt64() const { return kind_ == Kind::UInt64 ? number_.u : 0; }
  // Any number as a double.
  double AsNumber() const;
  // Strings; read from a peer they stop at the first zero byte, as every reader sees them.
  const std::string& AsString() const { return text_; }

  // Tables: the members, in wire order.
  const WireMembers& Members() const { return members_; }
  WireMembers& Members() { return members_; }
  bool IsList() const { return isList_; }
  // A table read from a peer whose "value" was no map: it has no members, and the host
  // refuses it where the plug-in reads it as empty.
  bool ValueIsMap() const { return valueIsMap_; }

  // Proxies: null when the description had no "value" member.
  const ProxyInfo* GetProxy() const { return proxy_.get(); }
  // Proxy references: the identifier, 0 when it was missing or not a 32-bit integer.
  int64_t GetProxyId() const { return kind_ == Kind::ProxyRef ? number_.i : 0; }

  Fault GetFault() const { return fault_; }
  // Read from a peer as a bare JSON array (the value is its first element): the host
  // refuses such values, the plug-in reads them by their first element.
  bool CameFromArray() const { return fromArray_; }
  void MarkFromArray() { fromArray_ = true; }
  void MarkValueNotMap() { valueIsMap_ = false; }

 private:
  Kind kind_ = Kind::None;
  Fault fault_ = Fault::None;
  bool isList_ = false;
  bool valueIsMap_ = true;
  bool fromArray_ = false;
  union {
    bool b;
    int64_t i;
    uint64_t u;
    double d;
  } number_{};
  std::string text_;
  WireMembers members_;
  std::shared_ptr<const ProxyInfo> proxy_;
};

}  // namespace IPC
