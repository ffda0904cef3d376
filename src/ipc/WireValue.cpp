// The wire value's constructors.
#include "ipc/WireValue.h"

namespace IPC {

WireValue WireValue::Bool(bool value) {
  WireValue v;
  v.kind_ = Kind::Bool;
  v.number_.b = value;
  return v;
}

WireValue WireValue::Int(int64_t value) {
  WireValue v;
  v.kind_ = Kind::Int;
  v.number_.i = value;
  return v;
}

WireValue WireValue::UInt64(uint64_t value) {
  WireValue v;
  v.kind_ = Kind::UInt64;
  v.number_.u = value;
  return v;
}

WireValue WireValue::Double(double value) {
  WireValue v;
  v.kind_ = Kind::Double;
  v.number_.d = value;
  return v;
}

WireValue WireValue::String(std::string text) {
  WireValue v;
  v.kind_ = Kind::String;
  v.text_ = std::move(text);
  return v;
}

WireValue WireValue::Table(WireMembers members, bool isList) {
  WireValue v;
  v.kind_ = Kind::Table;
  v.members_ = std::move(members);
  v.isList_ = isList;
  return v;
}

WireValue WireValue::Proxy(ProxyInfo info) {
  WireValue v;
  v.kind_ = Kind::Proxy;
  v.proxy_ = std::make_shared<const ProxyInfo>(std::move(info));
  return v;
}

WireValue WireValue::UndescribedProxy() {
  WireValue v;
  v.kind_ = Kind::Proxy;
  return v;
}

WireValue WireValue::Reference(int64_t proxyId) {
  WireValue v;
  v.kind_ = Kind::ProxyRef;
  v.number_.i = proxyId;
  return v;
}

WireValue WireValue::Unreadable(Fault fault) {
  WireValue v;
  v.kind_ = Kind::Unreadable;
  v.fault_ = fault;
  return v;
}

double WireValue::AsNumber() const {
  switch (kind_) {
    case Kind::Int:
      return static_cast<double>(number_.i);
    case Kind::UInt64:
      return static_cast<double>(number_.u);
    case Kind::Double:
      return number_.d;
    default:
      return 0.0;
  }
}

}  // namespace IPC
