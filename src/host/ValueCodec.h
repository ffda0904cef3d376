// Converts host values to and from their wire form inside a variant map: scalars, tables
// (maps and lists), proxy descriptions and proxy references.
#pragma once

#include <rapidjson/document.h>

#include <string>

#include "host/ErrorCode.h"
#include "host/ObjectRegistry.h"
#include "host/Value.h"
#include "variant/KvVariantMap.h"

namespace Host {

class ValueCodec {
 public:
  // Tables nested deeper than this are refused both ways, so that a hostile argument
  // cannot drive the recursion, and a result stays readable by the plug-in.
  static constexpr int kMaxDepth = 64;

  struct Failure {
    std::string text;
    ErrorCode code = ErrorCode::BadArgument;
  };

  explicit ValueCodec(ObjectRegistry& registry) : registry_(registry) {}

  // Sets map[key] to the wire form of value. Integers outside the signed 32-bit range
  // are sent as floating numbers, the widest the plug-in reads; objects are registered
  // on the way out and sent as proxy descriptions. A None value sets nothing.
  // Fails (ErrorCode::BadResult) on a number that is not finite, a None inside a
  // table, nesting beyond kMaxDepth, or an object the registry refuses.
  bool Encode(const Value& value, IPC::KvVariantMap& map, const std::string& key,
              Failure& failure) const;

  // Reads every member of an argument map, in order. Tables become maps, or lists when
  // marked as lists; proxy references become the registered objects.
  // Fails with ErrorCode::StaleReference for a reference to no registered object and
  // ErrorCode::BadArgument for anything else it cannot read (null, a bare JSON array,
  // an object of no known type, nesting beyond kMaxDepth). The texts name the argument.
  bool DecodeArguments(const IPC::KvVariantMap& args, ValueMap& members, Failure& failure) const;

  // Reads map[key]; path names the value in error texts.
  bool Decode(const IPC::KvVariantMap& map, const std::string& key, const std::string& path,
              Value& value, Failure& failure) const;

 private:
  using Json = rapidjson::Value;
  using Allocator = rapidjson::Document::AllocatorType;

  // Builds the wire form of value in json, in the allocator of the map it goes to;
  // key names the value in error texts.
  bool EncodeAt(const Value& value, const std::string& key, Allocator& allocator, int depth,
                Json& json, Failure& failure) const;
  bool EncodeTable(const Value& value, Allocator& allocator, int depth, Json& json,
                   Failure& failure) const;
  bool DecodeAt(const IPC::KvVariantMap& map, const std::string& key, const std::string& path,
                int depth, Value& value, Failure& failure) const;
  bool DecodeObject(const IPC::KvVariantMap& object, const std::string& path, int depth,
                    Value& value, Failure& failure) const;

  ObjectRegistry& registry_;
};

}  // namespace Host
