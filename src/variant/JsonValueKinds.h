// Reading and testing one JSON value as a variant map kind. Each reader checks the
// kind first and gives the zero value for any other kind, so no accessor of RapidJSON
// is ever called on a value of the wrong kind.
#pragma once

#include <rapidjson/document.h>

#include <cmath>
#include <cstdint>
#include <limits>

namespace IPC {
namespace JsonValueKinds {

// The integer tests are RapidJSON's number flags, which depend on the value only:
// 7 counts as int32, uint32, int64 and uint64; 5.0 counts as none of them.
inline bool IsBool(const rapidjson::Value& v) { return v.IsBool(); }
inline bool IsInt(const rapidjson::Value& v) { return v.IsInt(); }
inline bool IsUInt(const rapidjson::Value& v) { return v.IsUint(); }
inline bool IsInt64(const rapidjson::Value& v) { return v.IsInt64(); }
inline bool IsUInt64(const rapidjson::Value& v) { return v.IsUint64(); }
inline bool IsDouble(const rapidjson::Value& v) { return v.IsDouble(); }
// A floating number a float can hold; the bound is the largest float itself, so a
// value stored from a float always passes.
inline bool IsFloat(const rapidjson::Value& v) {
  return v.IsDouble() && std::fabs(v.GetDouble()) <= std::numeric_limits<float>::max();
}
inline bool IsString(const rapidjson::Value& v) { return v.IsString(); }

inline bool ReadBool(const rapidjson::Value& v) { return v.IsBool() && v.GetBool(); }
inline int32_t ReadInt(const rapidjson::Value& v) { return v.IsInt() ? v.GetInt() : 0; }
inline uint32_t ReadUInt(const rapidjson::Value& v) { return v.IsUint() ? v.GetUint() : 0; }
inline int64_t ReadInt64(const rapidjson::Value& v) { return v.IsInt64() ? v.GetInt64() : 0; }
inline uint64_t ReadUInt64(const rapidjson::Value& v) { return v.IsUint64() ? v.GetUint64() : 0; }
// Every number reads as a double; integers are converted.
inline double ReadDouble(const rapidjson::Value& v) { return v.IsNumber() ? v.GetDouble() : 0.0; }
inline float ReadFloat(const rapidjson::Value& v) { return static_cast<float>(ReadDouble(v)); }
inline const char* ReadCString(const rapidjson::Value& v) {
  return v.IsString() ? v.GetString() : nullptr;
}

}  // namespace JsonValueKinds
}  // namespace IPC
