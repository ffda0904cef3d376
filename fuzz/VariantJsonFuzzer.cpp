// The variant map's JSON text: parse, write compact and indented, parse both again, and
// load and save the same text as a file. RapidJSON parsing the same text is the oracle.
#include <rapidjson/document.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "FuzzCheck.h"
#include "JsonCompare.h"
#include "MapWalker.h"
#include "variant/JsonGuard.h"
#include "variant/KvVariantMap.h"
#include "variant/KvVariantMapImpl.h"

namespace {

using Fuzz::Doubles;
using Fuzz::NonFinite;
using IPC::KvVariantMap;

const rapidjson::Document& DocumentOf(const KvVariantMap& map) {
  return IPC::KvVariantMapImpl::Of(map).document;
}

// One scratch file per process, so that parallel runs do not share it; in memory where the
// system has a memory file system, as the file round trip would otherwise dominate a run.
class ScratchFile {
 public:
  ScratchFile() {
    std::error_code error;
    const std::filesystem::path folder = std::filesystem::is_directory("/dev/shm", error)
                                             ? std::filesystem::path("/dev/shm")
                                             : std::filesystem::temp_directory_path();
    path = (folder / ("hostlink-fuzz-" + std::to_string(getpid()) + ".json")).string();
  }
  ~ScratchFile() { std::remove(path.c_str()); }

  std::string path;
};

const std::string& ScratchPath() {
  static const ScratchFile file;
  return file.path;
}

void WriteFile(const std::string& path, const std::string& content) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  FUZZ_CHECK(file != nullptr);
  FUZZ_CHECK(std::fwrite(content.data(), 1, content.size(), file) == content.size());
  std::fclose(file);
}

std::string ReadFile(const std::string& path) {
  std::ifstream stream(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(stream), std::istreambuf_iterator<char>());
}

// The guard fed in uneven chunks (as a file is read) decides as it does on the whole text.
void CheckChunkedGuard(const std::string& text, bool accepted) {
  IPC::JsonGuard guard;
  size_t offset = 0;
  for (size_t chunk = 1; offset < text.size() && !guard.Ended(); chunk = chunk * 3 + 1) {
    const size_t length = std::min(chunk, text.size() - offset);
    guard.Feed(text.data() + offset, length);
    offset += length;
  }
  FUZZ_CHECK(!guard.Refused() == accepted);
}

void CheckParse(const std::string& text, const KvVariantMap& map) {
  // The guard and the parser see the text up to its first zero byte.
  const bool accepted = IPC::JsonGuard::Accepts(text.data(), text.size());
  CheckChunkedGuard(text, accepted);
  rapidjson::Document expected;
  if (!accepted || !Fuzz::ParsesAsAMap(text, expected)) {
    // A failed parse leaves the new map as it was: valid and empty.
    FUZZ_CHECK(map.IsValid() && map.IsEmpty());
    return;
  }
  // The map reads every double to the nearest value, and so does the reference parse here;
  // the comparison still allows a few steps (exactness has its own unit test).
  FUZZ_CHECK(Fuzz::SameJson(DocumentOf(map), expected, Doubles::NearlyEqual));
  FUZZ_CHECK(map.IsValid() == expected.IsObject());
}

void CheckWrittenText(const KvVariantMap& map, const std::string& compact,
                      const std::string& indented) {
  if (!map.IsValid()) {
    FUZZ_CHECK(compact.empty() && indented.empty());
    return;
  }
  // Both layouts are JSON that holds exactly the map's values (an infinity that a number
  // beyond the double range parsed into is written as null).
  rapidjson::Document written;
  FUZZ_CHECK(Fuzz::ParseExactly(compact, written));
  FUZZ_CHECK(Fuzz::SameJson(DocumentOf(map), written, Doubles::Exact, NonFinite::WrittenAsNull));
  FUZZ_CHECK(Fuzz::ParseExactly(indented, written));
  FUZZ_CHECK(Fuzz::SameJson(DocumentOf(map), written, Doubles::Exact, NonFinite::WrittenAsNull));
  FUZZ_CHECK(indented.empty() || indented.back() != '\n');

  // The map's own parser reads both back, floating numbers up to its last bits; the two
  // layouts hold the same numbers, so they read back alike.
  const KvVariantMap fromCompact(compact);
  const KvVariantMap fromIndented(indented);
  FUZZ_CHECK(Fuzz::SameJson(DocumentOf(map), DocumentOf(fromCompact), Doubles::NearlyEqual,
                            NonFinite::WrittenAsNull));
  FUZZ_CHECK(Fuzz::SameJson(DocumentOf(fromCompact), DocumentOf(fromIndented), Doubles::Exact));
  FUZZ_CHECK(fromIndented.ToJSONString(true) == fromCompact.ToJSONString(true));
}

void CheckCopies(const KvVariantMap& map, const std::string& compact) {
  KvVariantMap copy(map);
  FUZZ_CHECK(copy.ToJSONString(true) == compact);
  copy.Set("\x01" "added", int32_t{1});
  FUZZ_CHECK(map.ToJSONString(true) == compact);

  KvVariantMap assigned;
  assigned = map;
  FUZZ_CHECK(assigned.ToJSONString(true) == compact);

  // Merge copies the first member of each name, in order.
  KvVariantMap merged;
  merged.Merge(map);
  if (map.IsValid()) {
    const std::vector<std::string> keys = merged.GetKeys();
    for (const std::string& key : keys) FUZZ_CHECK(map.Has(key));
    for (const std::string& key : map.GetKeys()) FUZZ_CHECK(merged.Has(key));
  }
}

void CheckFiles(const std::string& text, const KvVariantMap& map, const std::string& compact,
                const std::string& indented) {
  const std::string& path = ScratchPath();
  WriteFile(path, text);
  KvVariantMap loaded;
  loaded.Set("before", true);
  loaded.LoadFromFile(path);
  // A file that parses holds what the same text holds; one that does not leaves the map
  // invalid. The text is parsed only up to a zero byte, like the file.
  rapidjson::Document expected;
  const bool parses = IPC::JsonGuard::Accepts(text.data(), text.size()) &&
                      Fuzz::ParsesAsAMap(text, expected);
  if (parses) {
    FUZZ_CHECK(Fuzz::SameJson(DocumentOf(loaded), DocumentOf(map), Doubles::Exact));
  } else {
    FUZZ_CHECK(!loaded.IsValid() && loaded.ToJSONString(true).empty());
  }

  if (!map.IsValid()) return;
  map.SaveToFile(path, true);
  FUZZ_CHECK(ReadFile(path) == compact);
  map.SaveToFile(path, false);
  FUZZ_CHECK(ReadFile(path) == indented);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  const KvVariantMap map(text);
  CheckParse(text, map);

  const std::string compact = map.ToJSONString(true);
  const std::string indented = map.ToJSONString(false);
  CheckWrittenText(map, compact, indented);
  CheckCopies(map, compact);
  CheckFiles(text, map, compact, indented);
  Fuzz::WalkMap(map);
  return 0;
}
