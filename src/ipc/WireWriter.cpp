// The wire forms, event by event.
#include "ipc/WireWriter.h"

#include <limits>

namespace IPC {

void WireWriter::Int(int64_t value) {
  if (value >= std::numeric_limits<int32_t>::min() &&
      value <= std::numeric_limits<int32_t>::max()) {
    sink_.Int(static_cast<int32_t>(value));
  } else {
    sink_.Double(static_cast<double>(value));
  }
}

void WireWriter::TableHead() {
  sink_.StartObject();
  sink_.Key("type");
  sink_.String("table");
  sink_.Key("value");
}

void WireWriter::TableTail(bool isList) {
  if (isList) {
    sink_.Key("isList");
    sink_.Bool(true);
  }
  sink_.EndObject();
}

void WireWriter::StartTable() {
  TableHead();
  sink_.StartObject();
}

void WireWriter::EndTable(bool isList) {
  sink_.EndObject();
  TableTail(isList);
}

void WireWriter::Proxy(int64_t proxyId, std::string_view uniqueId, std::string_view name,
                       const std::vector<std::string>& functions,
                       const std::vector<std::string>* features) {
  sink_.StartObject();
  sink_.Key("type");
  sink_.String("proxy");
  sink_.Key("value");
  sink_.StartObject();
  sink_.Key("proxyId");
  sink_.Int64(proxyId);
  sink_.Key("uniqueId");
  sink_.String(uniqueId);
  sink_.Key("name");
  sink_.String(name);
  sink_.Key("functions");
  sink_.StartArray();
  for (const std::string& function : functions) sink_.String(function);
  sink_.EndArray();
  if (features != nullptr && !features->empty()) {
    sink_.Key("features");
    sink_.StartArray();
    for (const std::string& feature : *features) sink_.String(feature);
    sink_.EndArray();
  }
  sink_.EndObject();
  sink_.EndObject();
}

void WireWriter::Reference(int64_t proxyId) {
  sink_.StartObject();
  sink_.Key("type");
  sink_.String("proxyref");
  sink_.Key("value");
  sink_.Int64(proxyId);
  sink_.EndObject();
}

}  // namespace IPC
