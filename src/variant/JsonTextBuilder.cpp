// The text builder: RapidJSON's compact writer, the one the variant map writes with.
#include "variant/JsonTextBuilder.h"

#include <rapidjson/writer.h>

#include "variant/JsonTextWriter.h"
#include "variant/StringAppendStream.h"

namespace IPC {

namespace {

rapidjson::SizeType Size32(std::size_t size) { return static_cast<rapidjson::SizeType>(size); }

}  // namespace

struct JsonTextBuilder::Writer {
  explicit Writer(std::string& out) : stream(out), json(stream) {}
  StringAppendStream stream;
  NonFiniteAsNullWriter<rapidjson::Writer<StringAppendStream>> json;
};

JsonTextBuilder::JsonTextBuilder(std::string& out) : writer_(std::make_unique<Writer>(out)) {}

JsonTextBuilder::~JsonTextBuilder() = default;

void JsonTextBuilder::Bool(bool value) { writer_->json.Bool(value); }
void JsonTextBuilder::Int(int32_t value) { writer_->json.Int(value); }
void JsonTextBuilder::Int64(int64_t value) { writer_->json.Int64(value); }
void JsonTextBuilder::Double(double value) { writer_->json.Double(value); }
void JsonTextBuilder::String(std::string_view text) {
  writer_->json.String(text.data(), Size32(text.size()));
}
void JsonTextBuilder::StartObject() { writer_->json.StartObject(); }
void JsonTextBuilder::Key(std::string_view name) {
  writer_->json.Key(name.data(), Size32(name.size()));
}
void JsonTextBuilder::EndObject() { writer_->json.EndObject(); }
void JsonTextBuilder::StartArray() { writer_->json.StartArray(); }
void JsonTextBuilder::EndArray() { writer_->json.EndArray(); }

void JsonTextBuilder::NextValue() { writer_->json.Reset(writer_->stream); }

}  // namespace IPC
