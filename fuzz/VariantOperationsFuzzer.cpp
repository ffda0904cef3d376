// The variant map's setters and member operations in an order the input chooses, on three
// maps that are also each other's sources (a map set into itself included), checked after
// every step against a plain model of their members: which key goes where, what replaces
// in place and what moves to the end, and that every copy is deep.
#include <fuzzer/FuzzedDataProvider.h>
#include <rapidjson/document.h>
#include <rapidjson/stringbuffer.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "FuzzCheck.h"
#include "JsonCompare.h"
#include "variant/JsonGuard.h"
#include "variant/JsonTextWriter.h"
#include "variant/KvVariantMap.h"
#include "variant/KvVariantMapImpl.h"

namespace {

using IPC::KvVariantMap;

constexpr int kMaps = 3;
// A map set into itself doubles in size: beyond this its text is not copied again.
constexpr size_t kMaxCopiedText = 4096;

// The compact text of one value, as the map writes it (non-finite numbers as null).
std::string TextOf(const rapidjson::Value& value) {
  rapidjson::StringBuffer buffer;
  IPC::WriteJsonText(value, buffer, true);
  return std::string(buffer.GetString(), buffer.GetSize());
}

template <typename T>
std::string ScalarText(T scalar) {
  return TextOf(rapidjson::Value(scalar));
}

std::string StringText(const std::string& text) {
  return TextOf(rapidjson::Value(rapidjson::StringRef(text.data(), text.size())));
}

const rapidjson::Document& DocumentOf(const KvVariantMap& map) {
  return IPC::KvVariantMapImpl::Of(map).document;
}

// What a map should hold: its members with their texts, or the root that made it invalid.
struct Model {
  struct Member {
    std::string key;
    std::string text;
  };
  bool valid = true;
  std::string invalidRoot;
  std::vector<Member> members;

  // The model of whatever the map holds now (after a parse, which the model does not redo).
  static Model Of(const KvVariantMap& map) {
    Model model;
    const rapidjson::Document& document = DocumentOf(map);
    model.valid = document.IsObject();
    if (!model.valid) {
      model.invalidRoot = TextOf(document);
      return model;
    }
    for (const auto& member : document.GetObject()) {
      model.members.push_back({std::string(member.name.GetString(), member.name.GetStringLength()),
                               TextOf(member.value)});
    }
    return model;
  }

  std::string Text() const {
    if (!valid) return std::string();
    std::string text = "{";
    for (const Member& member : members) {
      if (text.size() > 1) text += ',';
      text += StringText(member.key) + ":" + member.text;
    }
    return text + "}";
  }
  // The text a nested copy of this map has (the root itself when it is not an object).
  std::string RootText() const { return valid ? Text() : invalidRoot; }

  Member* Find(const std::string& key) {
    for (Member& member : members) {
      if (member.key == key) return &member;
    }
    return nullptr;
  }
  // A scalar, a string or a list of them replaces the first member of that name in place.
  void Store(const std::string& key, const std::string& text) {
    if (!valid) return;
    if (Member* member = Find(key)) {
      member->text = text;
    } else {
      members.push_back({key, text});
    }
  }
  // A map or a list of maps goes to the end; only the first member of that name goes.
  void StoreLast(const std::string& key, const std::string& text) {
    if (!valid) return;
    Erase(key);
    members.push_back({key, text});
  }
  bool Erase(const std::string& key) {
    for (auto it = members.begin(); it != members.end(); ++it) {
      if (it->key == key) {
        members.erase(it);
        return true;
      }
    }
    return false;
  }
};

std::string PickKey(FuzzedDataProvider& input) {
  static const char* const kKeys[] = {"a", "b", "result", "0", "1", "", "value", "type"};
  const size_t choice = input.ConsumeIntegralInRange<size_t>(0, std::size(kKeys));
  if (choice < std::size(kKeys)) return kKeys[choice];
  return input.ConsumeRandomLengthString(16);
}

template <typename T>
std::string ListText(const std::vector<T>& list) {
  rapidjson::Document array(rapidjson::kArrayType);
  for (const T& element : list) array.PushBack(rapidjson::Value(element), array.GetAllocator());
  return TextOf(array);
}

std::string ListText(const std::vector<std::string>& list) {
  rapidjson::Document array(rapidjson::kArrayType);
  for (const std::string& element : list) {
    array.PushBack(rapidjson::Value(element.data(), static_cast<rapidjson::SizeType>(element.size()),
                                    array.GetAllocator()),
                   array.GetAllocator());
  }
  return TextOf(array);
}

// One step on map `target` with map `source` (possibly the same map).
void Step(FuzzedDataProvider& input, KvVariantMap* maps, Model* models) {
  const int target = input.ConsumeIntegralInRange(0, kMaps - 1);
  const int source = input.ConsumeIntegralInRange(0, kMaps - 1);
  KvVariantMap& map = maps[target];
  Model& model = models[target];
  const KvVariantMap& from = maps[source];
  const Model fromModel = models[source];  // before the step changes it (source == target)
  const bool small = fromModel.RootText().size() <= kMaxCopiedText;
  const std::string key = PickKey(input);

  switch (input.ConsumeIntegralInRange(0, 22)) {
    case 0: {
      const auto value = input.ConsumeIntegral<int32_t>();
      map.Set(key, value);
      model.Store(key, ScalarText(value));
      if (model.valid) FUZZ_CHECK(map.GetInt(key) == value && map.IsInt(key));
      break;
    }
    case 1: {
      const auto value = input.ConsumeIntegral<int64_t>();
      map.Set(key, value);
      model.Store(key, ScalarText(value));
      if (model.valid) FUZZ_CHECK(map.GetInt64(key) == value && map.IsInt64(key));
      break;
    }
    case 2: {
      const auto value = input.ConsumeIntegral<uint64_t>();
      map.Set(key, value);
      model.Store(key, ScalarText(value));
      if (model.valid) FUZZ_CHECK(map.GetUInt64(key) == value && map.IsUInt64(key));
      break;
    }
    case 3: {
      const auto value = input.ConsumeIntegral<uint32_t>();
      map.Set(key, value);
      model.Store(key, ScalarText(value));
      if (model.valid) FUZZ_CHECK(map.GetUInt(key) == value && map.IsUInt(key));
      break;
    }
    case 4: {
      const auto value = input.ConsumeFloatingPoint<double>();
      map.Set(key, value);
      model.Store(key, ScalarText(value));
      if (model.valid) FUZZ_CHECK(map.GetDouble(key) == value && map.IsDouble(key));
      break;
    }
    case 5: {
      const auto value = input.ConsumeFloatingPoint<float>();
      map.Set(key, value);
      model.Store(key, ScalarText(static_cast<double>(value)));
      if (model.valid) FUZZ_CHECK(map.GetFloat(key) == value && map.IsFloat(key));
      break;
    }
    case 6: {
      const bool value = input.ConsumeBool();
      map.Set(key, value);
      model.Store(key, value ? "true" : "false");
      if (model.valid) FUZZ_CHECK(map.IsTrue(key) == value && map.IsFalse(key) == !value);
      break;
    }
    case 7: {
      const std::string value = input.ConsumeRandomLengthString(64);
      map.Set(key, value);
      model.Store(key, StringText(value));
      if (model.valid) FUZZ_CHECK(map.GetCString(key) != nullptr);
      break;
    }
    case 8: {
      // A C string ends at its first zero byte.
      const std::string value = input.ConsumeRandomLengthString(64);
      map.Set(key, value.c_str());
      model.Store(key, StringText(std::string(value.c_str())));
      break;
    }
    case 9:
      if (!small) break;
      map.Set(key, from);
      model.StoreLast(key, fromModel.RootText());
      break;
    case 10:
      if (!small) break;
      map.Set(key, std::shared_ptr<IPC::IVariantMap>(std::make_shared<KvVariantMap>(from)));
      model.StoreLast(key, fromModel.RootText());
      break;
    case 11: {
      std::vector<int32_t> list;
      for (size_t n = input.ConsumeIntegralInRange(0, 4); n > 0; --n) {
        list.push_back(input.ConsumeIntegral<int32_t>());
      }
      map.Set(key, list);
      model.Store(key, ListText(list));
      if (model.valid) FUZZ_CHECK(map.GetIntList(key) == list && map.GetListSize(key) == list.size());
      break;
    }
    case 12: {
      std::vector<std::string> list;
      for (size_t n = input.ConsumeIntegralInRange(0, 4); n > 0; --n) {
        list.push_back(input.ConsumeRandomLengthString(16));
      }
      map.Set(key, list);
      model.Store(key, ListText(list));
      break;
    }
    case 13: {
      std::vector<double> list;
      for (size_t n = input.ConsumeIntegralInRange(0, 4); n > 0; --n) {
        list.push_back(input.ConsumeFloatingPoint<double>());
      }
      map.Set(key, list);
      model.Store(key, ListText(list));
      break;
    }
    case 14: {
      if (!small) break;
      const std::vector<KvVariantMap> list(input.ConsumeIntegralInRange(0, 2), from);
      map.Set(key, list);
      std::string text = "[";
      for (size_t i = 0; i < list.size(); ++i) text += (i ? "," : "") + fromModel.RootText();
      model.StoreLast(key, text + "]");
      break;
    }
    case 15: {
      const double value = input.ConsumeBool() ? std::numeric_limits<double>::quiet_NaN()
                                               : -std::numeric_limits<double>::infinity();
      map.Set(key, value);
      model.Store(key, "null");  // written as null, so the text stays JSON
      break;
    }
    case 16:
      map.Remove(key);
      if (model.valid) model.Erase(key);
      break;
    case 17: {
      map.CopyKey(key, from);
      if (!model.valid || !fromModel.valid) break;
      const Model::Member* member = const_cast<Model&>(fromModel).Find(key);
      if (member != nullptr) model.StoreLast(key, member->text);
      break;
    }
    case 18:
      map.Merge(from);
      if (!model.valid || !fromModel.valid) break;
      for (const Model::Member& member : fromModel.members) {
        if (model.Find(member.key) == nullptr) model.members.push_back(member);
      }
      break;
    case 19:
      map = from;
      model = fromModel;
      break;
    case 20: {
      KvVariantMap copy(from);
      map = std::move(copy);
      model = fromModel;
      break;
    }
    case 21: {
      KvVariantMap& alias = map;
      map = std::move(alias);  // moving a map onto itself changes nothing
      break;
    }
    case 22: {
      const std::string text = input.ConsumeRandomLengthString(256);
      map.FromJSONString(text);
      rapidjson::Document parsed;
      const bool parses = IPC::JsonGuard::Accepts(text.data(), text.size()) &&
                          Fuzz::ParsesAsAMap(text, parsed);
      if (parses) model = Model::Of(map);  // what a parse holds is the JSON harness's part
      break;
    }
  }
  for (int i = 0; i < kMaps; ++i) FUZZ_CHECK(maps[i].ToJSONString(true) == models[i].Text());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider input(data, size);
  KvVariantMap maps[kMaps];
  Model models[kMaps];
  for (int steps = 0; steps < 64 && input.remaining_bytes() > 0; ++steps) {
    Step(input, maps, models);
  }
  return 0;
}
