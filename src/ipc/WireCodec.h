// The one encoder and the one decoder between wire values and the JSON document of a
// message, each a single pass: no copy per nesting level, no lookup per member.
#pragma once

#include <string>
#include <string_view>

#include "ipc/WireValue.h"
#include "ipc/WireWriter.h"
#include "variant/JsonView.h"
#include "variant/KvVariantMap.h"

namespace IPC {
namespace WireCodec {

// Writes value through out; a None value writes nothing.
void Write(const WireValue& value, WireWriter& out);
// Writes the members as one bare object, {"name":value,...}: a callback's "args".
void WriteMembers(const WireMembers& members, WireWriter& out);
// Writes value as a member of map named key, after the present members (for names known
// to be new). A None value writes nothing.
void Append(const WireValue& value, std::string_view key, KvVariantMap& map);
// Writes value under key as KvVariantMap::Set would store it.
void Store(const WireValue& value, const std::string& key, KvVariantMap& map);
// Writes each member, in order, after the present members of map.
void AppendMembers(const WireMembers& members, KvVariantMap& map);
// Stores an object of the members under key, as KvVariantMap::Set stores a map.
void StoreMembers(const WireMembers& members, const std::string& key, KvVariantMap& map);

// Reads one value (absent reads as None). A JSON array reads as its first element,
// marked as read from an array; strings stop at their first zero byte.
WireValue Decode(JsonView json);
// Reads every member of an object in order; a repeated name reads the value of its first
// member, as a keyed lookup finds it. Anything but an object has no members.
void DecodeMembers(JsonView object, WireMembers& members);

// Appends the plain JSON text of what the plug-in makes of a value (tables as objects or
// arrays, numbers, booleans, strings up to their first zero byte), for JSON.parse to
// build the same JavaScript values faster. False, with out as it was, for a value that
// holds anything else (proxies, references, null, bare arrays, unknown objects, a
// repeated member name, a member name with a zero byte): those take the wire value road.
bool WritePlainJson(JsonView json, std::string& out);
// The same for a value already read off the wire (a callback's argument): whatever the
// plug-in makes of it, as plain JSON text. False, with out as it was, for a value that
// holds anything but tables, numbers, booleans and strings, or a member name with a zero
// byte. *asciiOnly tells whether every byte appended is below 0x80.
bool WritePlainJson(const WireValue& value, std::string& out, bool* asciiOnly);

}  // namespace WireCodec
}  // namespace IPC
