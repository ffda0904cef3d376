// Conversion between JavaScript values and variant maps, both ways: the arguments of
// a proxy method call and the result of its response. Every failure is raised as a
// JavaScript error prefixed with the host function's name, and the routine returns
// normally; the error stays pending until control returns to JavaScript.
#pragma once

#include <cstddef>
#include <string>

#include <napi.h>

#include "variant/KvVariantMap.h"

namespace Hostlink {

// Argument objects nested deeper than this raise an error instead of recursing on.
constexpr int kMaxArgumentDepth = 64;
// At most this many values are converted for one call: far more than a message can
// carry, and a bound on the work of an object graph that shares objects many times.
constexpr size_t kMaxArgumentValues = 1u << 20;

// One member per argument, keyed "0", "1", ...; failed arguments are absent. When the
// arguments hold more than kMaxArgumentValues values, *tooLarge (if given) is set: the
// conversion stopped part way, its error raised, and the map must not be sent.
IPC::KvVariantMap GetArguments(const Napi::CallbackInfo& info, const std::string& functionName,
                               bool* tooLarge = nullptr);

// Converts value and sets it as member key of map; on failure raises an error and
// leaves map without key. Objects become tables of their enumerable properties, proxy
// objects become proxy references; an object that contains itself, one nested deeper
// than kMaxArgumentDepth, and values beyond kMaxArgumentValues are errors.
void GetArgument(Napi::Env env, const std::string& key, Napi::Value value, IPC::KvVariantMap& map,
                 const std::string& functionName);

// True when a number is to travel as a double rather than as an integer.
bool IsFractional(Napi::Env env, Napi::Value value);

// The JavaScript value of member key of map; empty when the member is missing or an
// error was raised.
Napi::Value Parse(Napi::Env env, const IPC::KvVariantMap& map, const std::string& key,
                  const std::string& functionName);

// The object, or array for a list, of a table typed value.
Napi::Value ParseTableObject(Napi::Env env, const IPC::KvVariantMap& map,
                             const std::string& functionName);

// A new proxy object for a proxy typed value.
Napi::Value ParseProxyObject(Napi::Env env, const IPC::KvVariantMap& map,
                             const std::string& functionName);

}  // namespace Hostlink
