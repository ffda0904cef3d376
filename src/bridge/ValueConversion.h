// Conversion between JavaScript values and wire values, both ways: the arguments of a
// call (GetArguments) and a result or callback argument (Parse). Every failure is raised
// as a JavaScript error prefixed with the operation's name, and the routine returns
// normally; the error stays pending until control returns to JavaScript.
#pragma once

#include <cstddef>
#include <string>

#include <napi.h>

#include "ipc/ResponseMessage.h"
#include "ipc/WireValue.h"
#include "variant/KvVariantMap.h"

namespace Hostlink {

// Argument objects nested deeper than this raise an error instead of recursing on.
constexpr int kMaxArgumentDepth = 64;
// At most this many values are converted for one call: far more than a message can
// carry, and a bound on the work of an object graph that shares objects many times.
constexpr size_t kMaxArgumentValues = 1u << 20;

// GetArguments builds the wire arguments of a call: one member per argument, keyed "0",
// "1", ... Objects become tables of their enumerable properties, proxy objects proxy
// references. False, with the first error pending, when any argument fails (an object
// that contains itself, one nested deeper than kMaxArgumentDepth, more than
// kMaxArgumentValues values, a number that is not finite, a value of no wire kind):
// then nothing may be sent.
bool GetArguments(const Napi::CallbackInfo& info, const std::string& functionName,
                  IPC::WireMembers& out);

// Parse converts one wire value to JavaScript (a result, or a callback's argument): key
// names it in error texts. Empty, with an error pending, when it cannot be converted; a
// None value is undefined. A member of a table that cannot be converted throws a
// Napi::Error carrying its error instead (the exported call's catch-all reports it). A
// table of plain values is built by JSON.parse from its plain text, faster than value by
// value and to the same values.
Napi::Value Parse(Napi::Env env, const IPC::WireValue& value, const std::string& functionName,
                  const std::string& key = "result");

// A response's result converted as Parse converts it (undefined when there is none).
Napi::Value ParseResult(Napi::Env env, const IPC::ResponseMessage& response,
                        const std::string& functionName);

// A successful response's result (a table of plain values, or one plain value) built by
// JSON.parse straight from the response text, with no parsed message between; empty, with
// nothing pending, when the text is not one that road takes (CheckResponse and ParseResult
// then read it).
Napi::Value ParsePlainResult(Napi::Env env, const std::string& responseText);

// Earlier forms, kept for the callers that still hold variant maps: the arguments as a
// map (*tooLarge set when the bound stopped the conversion), and member key of a map.
IPC::KvVariantMap GetArguments(const Napi::CallbackInfo& info, const std::string& functionName,
                               bool* tooLarge = nullptr);
Napi::Value Parse(Napi::Env env, const IPC::KvVariantMap& map, const std::string& key,
                  const std::string& functionName);

// Converts value and sets it as member key of map; on failure raises an error and
// leaves map without key.
void GetArgument(Napi::Env env, const std::string& key, Napi::Value value, IPC::KvVariantMap& map,
                 const std::string& functionName);

// True when a number is to travel as a double rather than as an integer.
bool IsFractional(Napi::Env env, Napi::Value value);

}  // namespace Hostlink
