// The abstract typed key/value map: the one container for message bodies, arguments,
// results and payloads. KvVariantMap is its implementation.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace IPC {

class KvVariantMap;

// The declaration order below is the slot order of the virtual table; keep it.
// A getter without a default reports a missing key through the log and returns the
// zero value of its type; a getter with a default returns the default silently.
class IVariantMap {
 public:
  virtual ~IVariantMap() = default;

  // Setters copy the value in; a present key is replaced (a nested map or a list of
  // nested maps moves the key to the end, every other kind keeps its position).
  virtual void Set(const std::string& key, const std::shared_ptr<IVariantMap>& value) = 0;
  virtual void Set(const std::string& key, const IVariantMap& value) = 0;
  virtual void Set(const std::string& key, const char* value) = 0;
  virtual void Set(const std::string& key, const std::string& value) = 0;
  virtual void Set(const std::string& key, double value) = 0;
  virtual void Set(const std::string& key, float value) = 0;
  virtual void Set(const std::string& key, uint64_t value) = 0;
  virtual void Set(const std::string& key, int64_t value) = 0;
  virtual void Set(const std::string& key, uint32_t value) = 0;
  virtual void Set(const std::string& key, int32_t value) = 0;
  virtual void Set(const std::string& key, bool value) = 0;
  virtual void Set(const std::string& key,
                   const std::vector<std::shared_ptr<IVariantMap>>& value) = 0;
  virtual void Set(const std::string& key, const std::vector<KvVariantMap>& value) = 0;
  virtual void Set(const std::string& key, const std::vector<std::string>& value) = 0;
  virtual void Set(const std::string& key, const std::vector<double>& value) = 0;
  virtual void Set(const std::string& key, const std::vector<float>& value) = 0;
  virtual void Set(const std::string& key, const std::vector<uint64_t>& value) = 0;
  virtual void Set(const std::string& key, const std::vector<int64_t>& value) = 0;
  virtual void Set(const std::string& key, const std::vector<uint32_t>& value) = 0;
  virtual void Set(const std::string& key, const std::vector<int32_t>& value) = 0;
  virtual void Set(const std::string& key, const std::vector<bool>& value) = 0;

  // Single values. A list yields its first element (an empty list the zero value).
  virtual bool GetBool(const std::string& key, bool defaultValue) const = 0;
  virtual bool GetBool(const std::string& key) const = 0;
  virtual int32_t GetInt(const std::string& key, int32_t defaultValue) const = 0;
  virtual int32_t GetInt(const std::string& key) const = 0;
  virtual uint32_t GetUInt(const std::string& key, uint32_t defaultValue) const = 0;
  virtual uint32_t GetUInt(const std::string& key) const = 0;
  virtual int64_t GetInt64(const std::string& key, int64_t defaultValue) const = 0;
  virtual int64_t GetInt64(const std::string& key) const = 0;
  virtual uint64_t GetUInt64(const std::string& key, uint64_t defaultValue) const = 0;
  virtual uint64_t GetUInt64(const std::string& key) const = 0;
  virtual float GetFloat(const std::string& key, float defaultValue) const = 0;
  virtual float GetFloat(const std::string& key) const = 0;
  virtual double GetDouble(const std::string& key, double defaultValue) const = 0;
  virtual double GetDouble(const std::string& key) const = 0;
  // Points into the map's storage; valid until the map is next changed or destroyed.
  virtual const char* GetCString(const std::string& key, const char* defaultValue) const = 0;
  virtual const char* GetCString(const std::string& key) const = 0;
  virtual std::string GetString(const std::string& key, const std::string& defaultValue) const = 0;
  virtual std::string GetString(const std::string& key) const = 0;
  // A new map of its own (a deep copy); null when missing and no default is given.
  virtual std::shared_ptr<IVariantMap> GetVariantMap(
      const std::string& key, const std::shared_ptr<IVariantMap>& defaultValue) const = 0;
  virtual std::shared_ptr<IVariantMap> GetVariantMap(const std::string& key) const = 0;

  // Lists. A value that is not a list reads as a list of that one value.
  virtual std::vector<bool> GetBoolList(const std::string& key,
                                        const std::vector<bool>& defaultValue) const = 0;
  virtual std::vector<bool> GetBoolList(const std::string& key) const = 0;
  virtual std::vector<int32_t> GetIntList(const std::string& key,
                                          const std::vector<int32_t>& defaultValue) const = 0;
  virtual std::vector<int32_t> GetIntList(const std::string& key) const = 0;
  virtual std::vector<uint32_t> GetUIntList(const std::string& key,
                                            const std::vector<uint32_t>& defaultValue) const = 0;
  virtual std::vector<uint32_t> GetUIntList(const std::string& key) const = 0;
  virtual std::vector<int64_t> GetInt64List(const std::string& key,
                                            const std::vector<int64_t>& defaultValue) const = 0;
  virtual std::vector<int64_t> GetInt64List(const std::string& key) const = 0;
  virtual std::vector<uint64_t> GetUInt64List(const std::string& key,
                                              const std::vector<uint64_t>& defaultValue) const = 0;
  virtual std::vector<uint64_t> GetUInt64List(const std::string& key) const = 0;
  virtual std::vector<float> GetFloatList(const std::string& key,
                                          const std::vector<float>& defaultValue) const = 0;
  virtual std::vector<float> GetFloatList(const std::string& key) const = 0;
  virtual std::vector<double> GetDoubleList(const std::string& key,
                                            const std::vector<double>& defaultValue) const = 0;
  virtual std::vector<double> GetDoubleList(const std::string& key) const = 0;
  virtual std::vector<const char*> GetCStringList(
      const std::string& key, const std::vector<const char*>& defaultValue) const = 0;
  virtual std::vector<const char*> GetCStringList(const std::string& key) const = 0;
  virtual std::vector<std::string> GetStringList(
      const std::string& key, const std::vector<std::string>& defaultValue) const = 0;
  virtual std::vector<std::string> GetStringList(const std::string& key) const = 0;
  virtual std::vector<std::shared_ptr<IVariantMap>> GetVariantMapList(
      const std::string& key,
      const std::vector<std::shared_ptr<IVariantMap>>& defaultValue) const = 0;
  virtual std::vector<std::shared_ptr<IVariantMap>> GetVariantMapList(
      const std::string& key) const = 0;

  // Presence and shape; Has, HasAny and GetListSize never report.
  virtual bool Has(const std::string& key) const = 0;
  virtual bool HasAny(const std::vector<std::string>& keys) const = 0;
  virtual uint32_t GetListSize(const std::string& key) const = 0;
  virtual std::vector<std::string> GetKeys() const = 0;

  // Kind tests follow the number-kind flags: an integer counts as every integer kind
  // its value fits; a floating number never counts as an integer.
  virtual bool IsBool(const std::string& key) const = 0;
  virtual bool IsInt(const std::string& key) const = 0;
  virtual bool IsUInt(const std::string& key) const = 0;
  virtual bool IsInt64(const std::string& key) const = 0;
  virtual bool IsUInt64(const std::string& key) const = 0;
  virtual bool IsFloat(const std::string& key) const = 0;
  virtual bool IsDouble(const std::string& key) const = 0;
  virtual bool IsString(const std::string& key) const = 0;
  virtual bool IsMap(const std::string& key) const = 0;
  virtual bool IsList(const std::string& key) const = 0;
  virtual bool IsTrue(const std::string& key) const = 0;
  virtual bool IsFalse(const std::string& key) const = 0;

  // JSON text: compact (no white space) or indented by four blanks; empty when the
  // map is not valid. Parsing replaces the whole content, or logs and keeps it.
  virtual std::string ToJSONString(bool compact) const = 0;
  virtual void FromJSONString(const std::string& text) = 0;
};

}  // namespace IPC
