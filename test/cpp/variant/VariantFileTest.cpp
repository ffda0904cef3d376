// Variant maps in files: round trips, the exact file text, and every failure path.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "variant/KvVariantMap.h"
#include "variant/LogCapture.h"

namespace {

namespace fs = std::filesystem;
using IPC::KvVariantMap;
using VariantTest::ErrorLine;
using VariantTest::LogOf;

class VariantFile : public testing::Test {
 protected:
  void SetUp() override {
    const auto* info = testing::UnitTest::GetInstance()->current_test_info();
    dir = fs::temp_directory_path() /
          ("hostlink-variant-" + std::to_string(getpid()) + "-" + info->name());
    fs::remove_all(dir);
    fs::create_directories(dir);
  }
  void TearDown() override { fs::remove_all(dir); }

  std::string PathOf(const std::string& name) const { return (dir / name).string(); }

  static void Write(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
  }
  static std::string Read(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }

  fs::path dir;
};

KvVariantMap Sample() {
  KvVariantMap inner;
  inner.Set("flag", true);
  KvVariantMap map;
  map.Set("z", 1);
  map.Set("whole", 5.0);
  map.Set("pi", 3.141592653589793);
  map.Set("big", uint64_t{18446744073709551615ULL});
  map.Set("text", "line\nbreak \xC3\xA9");
  map.Set("inner", inner);
  map.Set("list", std::vector<int64_t>{-1, 2});
  return map;
}

TEST_F(VariantFile, SavedMapsLoadBackEqualInBothLayouts) {
  for (bool compact : {true, false}) {
    const std::string path = PathOf(compact ? "compact.json" : "indented.json");
    Sample().SaveToFile(path, compact);
    EXPECT_EQ(Read(path), Sample().ToJSONString(compact)) << "no trailing line feed";
    KvVariantMap loaded;
    EXPECT_EQ(LogOf([&] { loaded.LoadFromFile(path); }), "");
    EXPECT_EQ(loaded.GetKeys(), Sample().GetKeys());
    EXPECT_EQ(loaded.ToJSONString(true), Sample().ToJSONString(true));
    EXPECT_TRUE(loaded.IsInt("z"));
    EXPECT_TRUE(loaded.IsDouble("whole")) << "5.0 stays floating";
    EXPECT_FALSE(loaded.IsInt("whole"));
    EXPECT_EQ(loaded.GetDouble("pi"), 3.141592653589793);
  }
}

TEST_F(VariantFile, EmptyMapWritesBraces) {
  const std::string path = PathOf("empty.json");
  KvVariantMap().SaveToFile(path, true);
  EXPECT_EQ(Read(path), "{}");
  KvVariantMap().SaveToFile(path, false);
  EXPECT_EQ(Read(path), "{}");
}

TEST_F(VariantFile, SavingTruncatesALongerFile) {
  const std::string path = PathOf("long.json");
  Write(path, std::string(100000, 'x'));
  KvVariantMap map;
  map.Set("a", 1);
  map.SaveToFile(path, true);
  EXPECT_EQ(Read(path), R"({"a":1})");
}

TEST_F(VariantFile, LargeDocumentsCrossBufferBoundaries) {
  KvVariantMap map;
  for (int i = 0; i < 5000; ++i)
    map.Set("key" + std::to_string(i), std::string(40, static_cast<char>('a' + i % 26)));
  const std::string path = PathOf("large.json");
  map.SaveToFile(path, false);
  ASSERT_GT(fs::file_size(path), 3u * 65536u);
  KvVariantMap loaded;
  loaded.LoadFromFile(path);
  EXPECT_EQ(loaded.ToJSONString(true), map.ToJSONString(true));
}

TEST_F(VariantFile, NonFiniteNumbersAreSavedAsNull) {
  KvVariantMap map;
  map.Set("nan", std::nan(""));
  map.Set("next", 1);
  const std::string path = PathOf("nan.json");
  map.SaveToFile(path, true);
  EXPECT_EQ(Read(path), R"({"nan":null,"next":1})");
}

TEST_F(VariantFile, SavingAnInvalidMapTouchesNothing) {
  const std::string path = PathOf("never.json");
  KvVariantMap invalid("[1]");
  EXPECT_EQ(LogOf([&] { invalid.SaveToFile(path, true); }), "");
  EXPECT_FALSE(fs::exists(path));
}

TEST_F(VariantFile, SavingToAnUnopenablePathLogsAndChangesNothing) {
  KvVariantMap map = Sample();
  for (const std::string& path : {PathOf("missing-dir/file.json"), dir.string()}) {
    EXPECT_EQ(LogOf([&] { map.SaveToFile(path, true); }),
              ErrorLine("KvVariantMap : Failed to open file"))
        << path;
  }
  EXPECT_EQ(map.ToJSONString(true), Sample().ToJSONString(true));
  EXPECT_FALSE(fs::exists(PathOf("missing-dir")));
}

TEST_F(VariantFile, LoadingAMissingFileOrADirectoryKeepsTheContent) {
  KvVariantMap map = Sample();
  for (const std::string& path : {PathOf("absent.json"), dir.string()}) {
    EXPECT_EQ(LogOf([&] { map.LoadFromFile(path); }),
              ErrorLine("KvVariantMap : " + path + " doesn't exist"));
  }
  EXPECT_EQ(map.ToJSONString(true), Sample().ToJSONString(true));
}

TEST_F(VariantFile, LoadingANonObjectRootKeepsItAndLogsThePath) {
  const std::string path = PathOf("array.json");
  Write(path, "[1]");
  KvVariantMap map = Sample();
  EXPECT_EQ(LogOf([&] { map.LoadFromFile(path); }),
            ErrorLine("KvVariantMap : " + path + " not a Valid JSON DOM!"));
  EXPECT_FALSE(map.IsValid());
  EXPECT_EQ(map.ToJSONString(true), "");
}

TEST_F(VariantFile, SyntaxErrorsEmptyTheMapSilently) {
  const std::string path = PathOf("bad.json");
  for (const char* text : {"{\"a\":", "", "{} {}", "  \n"}) {
    Write(path, text);
    KvVariantMap map = Sample();
    EXPECT_EQ(LogOf([&] { map.LoadFromFile(path); }), "") << text;
    EXPECT_FALSE(map.IsValid()) << text;
    EXPECT_TRUE(map.GetKeys().empty()) << text;
    map.FromJSONString(R"({"again":1})");
    EXPECT_EQ(map.GetInt("again"), 1) << "the map is usable after a failed load";
  }
}

TEST_F(VariantFile, GuardedFilesAreAParseFailure) {
  const std::string path = PathOf("hostile.json");
  const std::string padding = "{\"pad\":\"" + std::string(70000, ' ') + "\",\"x\":";
  for (const std::string& text :
       {std::string(200000, '['), padding + std::string(600, '[') + std::string(600, ']') + "}",
        std::string("{\"x\":0.00000000001e-2147483639}"), padding + "1e0000000001}"}) {
    Write(path, text);
    KvVariantMap map = Sample();
    EXPECT_EQ(LogOf([&] { map.LoadFromFile(path); }),
              ErrorLine("KvVariantMap : JSON parse failed"));
    EXPECT_FALSE(map.IsValid());
    EXPECT_TRUE(map.GetKeys().empty());
  }
  // The same text within the bounds loads.
  Write(path, padding + std::string(500, '[') + std::string(500, ']') + "}");
  KvVariantMap map;
  EXPECT_EQ(LogOf([&] { map.LoadFromFile(path); }), "");
  EXPECT_EQ(map.GetListSize("x"), 1u);
}

}  // namespace

TEST_F(VariantFile, AWriteCutShortByTheFileSizeLimitLeavesTheOldFileWhole) {
  const std::string path = PathOf("kept.json");
  Write(path, R"({"old":true})");
  KvVariantMap big;
  big.Set("text", std::string(100000, 'x'));
  // Writes past the limit fail with EFBIG instead of ending the process.
  const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
  rlimit previous{};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &previous), 0);
  rlimit small = previous;
  small.rlim_cur = 4096;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  const std::string log = LogOf([&] { big.SaveToFile(path, true); });
  setrlimit(RLIMIT_FSIZE, &previous);
  std::signal(SIGXFSZ, previousHandler);
  EXPECT_EQ(log, ErrorLine("KvVariantMap : Failed to write file"));
  EXPECT_EQ(Read(path), R"({"old":true})");
  EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 1)
      << "the unfinished new file is removed";
}

TEST_F(VariantFile, SavingAtASymbolicLinkReplacesTheLinkNotItsTarget) {
  const std::string target = PathOf("elsewhere.json");
  const std::string link = PathOf("link.json");
  Write(target, "precious");
  fs::create_symlink(target, link);
  KvVariantMap map = Sample();
  EXPECT_EQ(LogOf([&] { map.SaveToFile(link, true); }), "");
  EXPECT_EQ(Read(target), "precious");
  EXPECT_FALSE(fs::is_symlink(link));
  EXPECT_EQ(Read(link), map.ToJSONString(true));
}

// The atomic replace makes a new file: it must still have the old file's mode, never the
// default one, which would widen a private file to 0644.
TEST_F(VariantFile, SavingOverAFileKeepsItsMode) {
  for (const fs::perms mode : {fs::perms(0600), fs::perms(0640), fs::perms(0664)}) {
    const std::string path = PathOf("private.json");
    Write(path, "{}");
    fs::permissions(path, mode);
    KvVariantMap map = Sample();
    EXPECT_EQ(LogOf([&] { map.SaveToFile(path, true); }), "");
    EXPECT_EQ(fs::status(path).permissions(), mode);
    EXPECT_EQ(Read(path), map.ToJSONString(true));
  }
  // Through a symbolic link: the new file takes the mode of the file the link named.
  const std::string target = PathOf("secret.json");
  const std::string link = PathOf("secret-link.json");
  Write(target, "{}");
  fs::permissions(target, fs::perms(0600));
  fs::create_symlink(target, link);
  Sample().SaveToFile(link, true);
  EXPECT_FALSE(fs::is_symlink(link));
  EXPECT_EQ(fs::status(link).permissions(), fs::perms(0600));
}

TEST_F(VariantFile, SavingAsRootKeepsTheOwnerOfTheFile) {
  if (geteuid() != 0) GTEST_SKIP() << "only root may give a file to another user";
  const std::string path = PathOf("owned.json");
  Write(path, "{}");
  ASSERT_EQ(chown(path.c_str(), 4321, 4322), 0);
  ASSERT_EQ(chmod(path.c_str(), 04640), 0);
  Sample().SaveToFile(path, false);
  struct stat saved {};
  ASSERT_EQ(stat(path.c_str(), &saved), 0);
  EXPECT_EQ(saved.st_uid, 4321u);
  EXPECT_EQ(saved.st_gid, 4322u);
  EXPECT_EQ(saved.st_mode & 07777, 04640u) << "set after the change of owner";
}
