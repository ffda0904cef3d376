// Variant map files on Windows: a saved file is text, with CR LF line ends, as a file the
// run-time library writes in text mode, and loads back equal.
#ifdef _WIN32
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "variant/KvVariantMap.h"
#include "variant/LogCapture.h"

namespace {

namespace fs = std::filesystem;
using IPC::KvVariantMap;
using VariantTest::LogOf;

std::string ReadBytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

TEST(VariantFileWin, SavedFileHasCarriageReturnLineFeedLineEnds) {
  const fs::path path = fs::temp_directory_path() / "hostlink-variant-crlf.json";
  KvVariantMap inner;
  inner.Set("flag", true);
  KvVariantMap map;
  map.Set("text", "line\nbreak");  // escaped in the text: no line end of the file
  map.Set("inner", inner);
  std::ofstream(path, std::ios::binary) << "{\r\n}";  // replaced, as a saved file is
  EXPECT_EQ(LogOf([&] { map.SaveToFile(path.string(), false); }), "");

  std::string expected;
  for (const char c : map.ToJSONString(false)) {
    if (c == '\n') expected += '\r';
    expected += c;
  }
  EXPECT_EQ(ReadBytes(path), expected);
  KvVariantMap loaded;
  loaded.LoadFromFile(path.string());
  EXPECT_EQ(loaded.ToJSONString(true), map.ToJSONString(true));
  fs::remove(path);
}

}  // namespace
#endif  // _WIN32
