// The events that write one JSON value, for code above the variant layer: the wire
// writer sends them either into a variant map's document (JsonValueBuilder) or straight
// into message text (JsonTextBuilder), without seeing the JSON library.
#pragma once

#include <cstdint>
#include <string_view>

namespace IPC {

class JsonSink {
 public:
  virtual ~JsonSink() = default;

  // Inside an object each value follows its Key; inside an array it is the next element.
  virtual void Bool(bool value) = 0;
  virtual void Int(int32_t value) = 0;
  virtual void Int64(int64_t value) = 0;
  virtual void Double(double value) = 0;
  virtual void String(std::string_view text) = 0;
  virtual void StartObject() = 0;
  virtual void Key(std::string_view name) = 0;
  virtual void EndObject() = 0;
  virtual void StartArray() = 0;
  virtual void EndArray() = 0;
};

}  // namespace IPC
