// The variant map as a value class: every copy is deep, and the storage is a JSON
// document owned by a KvVariantMapImpl that no other map ever shares.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "variant/IVariantMap.h"

namespace IPC {

class KvVariantMapImpl;

class KvVariantMap : public IVariantMap {
 public:
  // A valid, empty map.
  KvVariantMap();
  // A deep copy of the other map's content, whatever its root holds.
  KvVariantMap(const KvVariantMap& other);
  // Takes the other map's document without copying; the other map is left valid and empty.
  KvVariantMap(KvVariantMap&& other) noexcept;
  // An empty map, then FromJSONString(jsonText): a parse failure leaves it valid and empty.
  explicit KvVariantMap(const std::string& jsonText);
  ~KvVariantMap() override;

  // Replaces the content by a deep copy of the other's; self-assignment changes nothing.
  KvVariantMap& operator=(const KvVariantMap& other);
  // Exchanges the two documents; the other map ends up with this map's former content.
  KvVariantMap& operator=(KvVariantMap&& other) noexcept;

  void Set(const std::string& key, const std::shared_ptr<IVariantMap>& value) override;
  void Set(const std::string& key, const IVariantMap& value) override;
  void Set(const std::string& key, const char* value) override;
  void Set(const std::string& key, const std::string& value) override;
  void Set(const std::string& key, double value) override;
  void Set(const std::string& key, float value) override;
  void Set(const std::string& key, uint64_t value) override;
  void Set(const std::string& key, int64_t value) override;
  void Set(const std::string& key, uint32_t value) override;
  void Set(const std::string& key, int32_t value) override;
  void Set(const std::string& key, bool value) override;
  void Set(const std::string& key, const std::vector<std::shared_ptr<IVariantMap>>& value) override;
  void Set(const std::string& key, const std::vector<KvVariantMap>& value) override;
  void Set(const std::string& key, const std::vector<std::string>& value) override;
  void Set(const std::string& key, const std::vector<double>& value) override;
  void Set(const std::string& key, const std::vector<float>& value) override;
  void Set(const std::string& key, const std::vector<uint64_t>& value) override;
  void Set(const std::string& key, const std::vector<int64_t>& value) override;
  void Set(const std::string& key, const std::vector<uint32_t>& value) override;
  void Set(const std::string& key, const std::vector<int32_t>& value) override;
  void Set(const std::string& key, const std::vector<bool>& value) override;

  bool GetBool(const std::string& key, bool defaultValue) const override;
  bool GetBool(const std::string& key) const override;
  int32_t GetInt(const std::string& key, int32_t defaultValue) const override;
  int32_t GetInt(const std::string& key) const override;
  uint32_t GetUInt(const std::string& key, uint32_t defaultValue) const override;
  uint32_t GetUInt(const std::string& key) const override;
  int64_t GetInt64(const std::string& key, int64_t defaultValue) const override;
  int64_t GetInt64(const std::string& key) const override;
  uint64_t GetUInt64(const std::string& key, uint64_t defaultValue) const override;
  uint64_t GetUInt64(const std::string& key) const override;
  float GetFloat(const std::string& key, float defaultValue) const override;
  float GetFloat(const std::string& key) const override;
  double GetDouble(const std::string& key, double defaultValue) const override;
  double GetDouble(const std::string& key) const override;
  const char* GetCString(const std::string& key, const char* defaultValue) const override;
  const char* GetCString(const std::string& key) const override;
  std::string GetString(const std::string& key, const std::string& defaultValue) const override;
  std::string GetString(const std::string& key) const override;
  std::shared_ptr<IVariantMap> GetVariantMap(
      const std::string& key, const std::shared_ptr<IVariantMap>& defaultValue) const override;
  std::shared_ptr<IVariantMap> GetVariantMap(const std::string& key) const override;

  std::vector<bool> GetBoolList(const std::string& key,
                                const std::vector<bool>& defaultValue) const override;
  std::vector<bool> GetBoolList(const std::string& key) const override;
  std::vector<int32_t> GetIntList(const std::string& key,
                                  const std::vector<int32_t>& defaultValue) const override;
  std::vector<int32_t> GetIntList(const std::string& key) const override;
  std::vector<uint32_t> GetUIntList(const std::string& key,
                                    const std::vector<uint32_t>& defaultValue) const override;
  std::vector<uint32_t> GetUIntList(const std::string& key) const override;
  std::vector<int64_t> GetInt64List(const std::string& key,
                                    const std::vector<int64_t>& defaultValue) const override;
  std::vector<int64_t> GetInt64List(const std::string& key) const override;
  std::vector<uint64_t> GetUInt64List(const std::string& key,
                                      const std::vector<uint64_t>& defaultValue) const override;
  std::vector<uint64_t> GetUInt64List(const std::string& key) const override;
  std::vector<float> GetFloatList(const std::string& key,
                                  const std::vector<float>& defaultValue) const override;
  std::vector<float> GetFloatList(const std::string& key) const override;
  std::vector<double> GetDoubleList(const std::string& key,
                                    const std::vector<double>& defaultValue) const override;
  std::vector<double> GetDoubleList(const std::string& key) const override;
  std::vector<const char*> GetCStringList(
      const std::string& key, const std::vector<const char*>& defaultValue) const override;
  std::vector<const char*> GetCStringList(const std::string& key) const override;
  std::vector<std::string> GetStringList(
      const std::string& key, const std::vector<std::string>& defaultValue) const override;
  std::vector<std::string> GetStringList(const std::string& key) const override;
  std::vector<std::shared_ptr<IVariantMap>> GetVariantMapList(
      const std::string& key,
      const std::vector<std::shared_ptr<IVariantMap>>& defaultValue) const override;
  std::vector<std::shared_ptr<IVariantMap>> GetVariantMapList(
      const std::string& key) const override;

  bool Has(const std::string& key) const override;
  bool HasAny(const std::vector<std::string>& keys) const override;
  uint32_t GetListSize(const std::string& key) const override;
  std::vector<std::string> GetKeys() const override;

  bool IsBool(const std::string& key) const override;
  bool IsInt(const std::string& key) const override;
  bool IsUInt(const std::string& key) const override;
  bool IsInt64(const std::string& key) const override;
  bool IsUInt64(const std::string& key) const override;
  bool IsFloat(const std::string& key) const override;
  bool IsDouble(const std::string& key) const override;
  bool IsString(const std::string& key) const override;
  bool IsMap(const std::string& key) const override;
  bool IsList(const std::string& key) const override;
  bool IsTrue(const std::string& key) const override;
  bool IsFalse(const std::string& key) const override;

  std::string ToJSONString(bool compact) const override;
  void FromJSONString(const std::string& text) override;

  // Appends the JSON text to out, so a caller can reuse one buffer for many messages.
  // Appends nothing when the map is not valid.
  void AppendJSONString(std::string& out, bool compact) const;

  // A nested map by value (a deep copy); a missing key gives an empty valid map.
  KvVariantMap GetMap(const std::string& key) const;
  KvVariantMap GetMap(const std::string& key, KvVariantMap defaultValue) const;
  std::vector<KvVariantMap> GetMapList(const std::string& key) const;
  std::vector<KvVariantMap> GetMapList(const std::string& key,
                                       const std::vector<KvVariantMap>& defaultValue) const;

  // IsEmpty: the root object has no members (a map that is not valid counts as empty).
  // IsValid: the root is a JSON object.
  bool IsEmpty() const;
  bool IsValid() const;

  // Copies the source's member for key to the end of this map, replacing any present one.
  void CopyKey(const std::string& key, const KvVariantMap& source);
  // Copies, in order, each listed key the source has and this map lacks.
  void MergeKeys(const std::vector<std::string>& keys, const KvVariantMap& source);
  // Copies every key of the source this map lacks, in the source's order.
  void Merge(const KvVariantMap& source);
  void Remove(const std::string& key);
  void Remove(const std::vector<std::string>& keys);

  // Logs the whole map, indented, as one Error line tagged with tag.
  void Print(const std::string& tag) const;

  // Replaces the content by the JSON document in the file at path.
  void LoadFromFile(const std::string& path);
  // Writes the JSON text to the file at path; does nothing when the map is not valid.
  // The text goes to a new file beside path, which then replaces path in one step, so that
  // a reader sees the old file or the new one, never a part: the new file gets the old
  // one's mode (and its owner and group where the process may set them), and on Windows
  // CR LF line ends. A symbolic link at path is replaced by the file, not written through.
  // A hard link to the old file keeps the old text: the price of the atomic replace.
  void SaveToFile(const std::string& path, bool compact) const;

 private:
  friend class KvVariantMapImpl;

  // Never null, and owned by this map alone.
  std::shared_ptr<KvVariantMapImpl> impl;
};

}  // namespace IPC
