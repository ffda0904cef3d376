// Loading a KvVariantMap from a JSON file and saving it to one.
#include <rapidjson/filewritestream.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <system_error>

#include "base/Log.h"
#include "variant/GuardedFileReadStream.h"
#include "variant/JsonTextWriter.h"
#include "variant/KvVariantMap.h"
#include "variant/KvVariantMapImpl.h"

namespace IPC {

namespace {

// Both directions move data through a buffer of this size.
constexpr std::size_t kFileBufferSize = 65536;

// On Linux an input stream opens a directory too, so directories are ruled out apart.
bool IsDirectory(const std::string& path) {
  std::error_code error;
  return std::filesystem::is_directory(path, error);
}

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

}  // namespace

void KvVariantMap::LoadFromFile(const std::string& path) {
  std::ifstream probe(path);  // held open until the load returns
  if (!probe.good() || IsDirectory(path)) {
    LogError(("KvVariantMap : " + path + " doesn't exist").c_str());
    return;
  }
  File file(std::fopen(path.c_str(), "r"));
  if (!file) {
    LogError("KvVariantMap : Failed to open file");
    return;
  }
  const auto buffer = std::make_unique<char[]>(kFileBufferSize);
  GuardedFileReadStream stream(file.get(), buffer.get(), kFileBufferSize);
  rapidjson::Document& document = impl->document;
  document.ParseStream(stream);
  file.reset();
  if (stream.Refused()) LogError("KvVariantMap : JSON parse failed");
  if (stream.Refused() || document.HasParseError()) {
    // A failed load leaves nothing behind: the map holds a null root and is not valid.
    impl->ResetContent(rapidjson::kNullType);
    return;
  }
  if (!document.IsObject()) LogError(("KvVariantMap : " + path + " not a Valid JSON DOM!").c_str());
}

void KvVariantMap::SaveToFile(const std::string& path, bool compact) const {
  if (!impl->IsValid()) return;
  File file(std::fopen(path.c_str(), "w"));
  if (!file) {
    LogError("KvVariantMap : Failed to open file");
    return;
  }
  const auto buffer = std::make_unique<char[]>(kFileBufferSize);
  rapidjson::FileWriteStream stream(file.get(), buffer.get(), kFileBufferSize);
  WriteJsonText(impl->document, stream, compact);
  stream.Flush();
}

}  // namespace IPC
