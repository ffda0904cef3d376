// The wire vocabulary written as JSON events: the one place that knows how a scalar, a
// table, a list, a proxy description and a proxy reference look on the wire. WireCodec
// writes wire values with it; the host writes its own values with it straight into the
// response text, without a wire value or a document in between.
//
//   WireWriter out(sink);
//   out.StartTable(); out.Member("a"); out.Int(1); out.EndTable(false);
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "variant/JsonSink.h"

namespace IPC {

class WireWriter {
 public:
  explicit WireWriter(JsonSink& sink) : sink_(sink) {}

  void Bool(bool value) { sink_.Bool(value); }
  // Integers beyond the signed 32-bit range, the widest both ends read as integers,
  // travel as doubles.
  void Int(int64_t value);
  void Double(double value) { sink_.Double(value); }
  void String(std::string_view text) { sink_.String(text); }

  // {"type":"table","value":{ members... }[,"isList":true]}: Member names the next value.
  void StartTable();
  void Member(std::string_view name) { sink_.Key(name); }
  void EndTable(bool isList);
  // The same form around a value the caller writes whole: {"type":"table","value": then
  // the value, then [,"isList":true]}.
  void TableHead();
  void TableTail(bool isList);

  // {"type":"proxy","value":{"proxyId":..,"uniqueId":..,"name":..,"functions":[..]}},
  // with "features":[..] after the functions when features is given and not empty (a
  // host's root object announces the extensions it supports there).
  void Proxy(int64_t proxyId, std::string_view uniqueId, std::string_view name,
             const std::vector<std::string>& functions,
             const std::vector<std::string>* features = nullptr);
  // {"type":"proxyref","value":id}
  void Reference(int64_t proxyId);

  // The bare JSON object a callback's "args" are: {"0":..,"1":..}, without a table's form.
  void StartMembers() { sink_.StartObject(); }
  void EndMembers() { sink_.EndObject(); }

 private:
  JsonSink& sink_;
};

}  // namespace IPC
