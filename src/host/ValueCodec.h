// Converts host values to and from wire values: scalars, tables (maps and lists), proxy
// descriptions and proxy references. The JSON form is the message layer's (WireCodec).
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "host/ErrorCode.h"
#include "host/ObjectRegistry.h"
#include "host/Value.h"
#include "ipc/WireValue.h"
#include "ipc/WireWriter.h"
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

  // Writes the wire form of value through out, in one pass. Integers outside the signed
  // 32-bit range travel as floating numbers, the widest the plug-in reads; objects are
  // registered on the way out and sent as proxy descriptions, each counted as handed out
  // (ObjectRegistry::HandOut). None writes nothing.
  // Fails (ErrorCode::BadResult) on a number that is not finite, a None inside a table,
  // nesting beyond kMaxDepth, an object with no functions (which no plug-in can call) or
  // one the registry refuses; what was written is then to be thrown away.
  bool Encode(const Value& value, IPC::WireWriter& out, Failure& failure) const;
  // Sets map[key] to the wire form of value; a None value sets nothing.
  bool Encode(const Value& value, IPC::KvVariantMap& map, const std::string& key,
              Failure& failure) const;
  // The root object's description, with the features the host announces.
  bool EncodeRoot(const ObjectPtr& root, const std::vector<std::string>& features,
                  IPC::WireWriter& out, Failure& failure) const;
  // A callback's arguments as one object keyed "0", "1", ..., each encoded as a result is.
  bool EncodeArguments(const std::vector<Value>& args, IPC::WireWriter& out,
                       Failure& failure) const;

  // Reads every argument, in order. Tables become maps, or lists when marked as lists;
  // proxy references become the registered objects.
  // Fails with ErrorCode::StaleReference for a reference to no registered object and
  // ErrorCode::BadArgument for anything else it cannot read (null, a bare JSON array,
  // an object of no known type, nesting beyond kMaxDepth). The texts name the argument.
  bool DecodeArguments(const IPC::WireMembers& args, ValueMap& members, Failure& failure) const;
  bool DecodeArguments(const IPC::KvVariantMap& args, ValueMap& members, Failure& failure) const;

  // Reads one wire value; path names it in error texts.
  bool Decode(const IPC::WireValue& wire, const std::string& path, Value& value,
              Failure& failure) const;
  // Reads map[key].
  bool Decode(const IPC::KvVariantMap& map, const std::string& key, const std::string& path,
              Value& value, Failure& failure) const;

 private:
  bool EncodeAt(const Value& value, std::string_view key, int depth, IPC::WireWriter& out,
                Failure& failure) const;
  bool EncodeTable(const Value& value, int depth, IPC::WireWriter& out, Failure& failure) const;
  // Registers the object, counts the description as handed out, and writes it.
  bool EncodeObject(const ObjectPtr& object, const std::vector<std::string>* features,
                    IPC::WireWriter& out, Failure& failure) const;
  bool DecodeAt(const IPC::WireValue& wire, const std::string& path, int depth, Value& value,
                Failure& failure) const;

  ObjectRegistry& registry_;
};

}  // namespace Host
