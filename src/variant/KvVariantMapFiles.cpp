// Loading a KvVariantMap from a JSON file and saving it to one.
#include <fcntl.h>
#include <sys/stat.h>
#ifdef _WIN32
#include <io.h>
#include <process.h>
#else
#include <unistd.h>
#endif

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <system_error>

#include "base/Log.h"
#include "variant/FiniteJsonParse.h"
#include "variant/GuardedFileReadStream.h"
#include "variant/JsonTextWriter.h"
#include "variant/KvVariantMap.h"
#include "variant/KvVariantMapImpl.h"
#include "variant/StringAppendStream.h"

namespace IPC {

namespace {

#ifdef _WIN32
int ProcessId() { return _getpid(); }
#else
int ProcessId() { return static_cast<int>(getpid()); }
#endif

// Loading reads through a buffer of this size.
constexpr std::size_t kFileBufferSize = 65536;

// On Linux an input stream opens a directory too, so directories are ruled out apart.
bool IsDirectory(const std::string& path) {
  std::error_code error;
  return std::filesystem::is_directory(path, error);
}

// A name beside path that no other save of this process or another one uses at once.
std::string TemporaryPathBeside(const std::string& path) {
  static std::atomic<uint32_t> counter{0};
  return path + ".tmp-" + std::to_string(ProcessId()) + "-" + std::to_string(counter++);
}

// Creates a new file for writing only; fails on any file already there, a symbolic link
// included, so that nothing but a new file is ever written to. On Windows the file is in
// text mode, as the file it replaces was written: a line feed goes out as CR LF.
int OpenExclusive(const std::string& path, bool replacing) {
#ifdef _WIN32
  (void)replacing;
  return _open(path.c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_TEXT, _S_IREAD | _S_IWRITE);
#else
  // A file that replaces another starts readable by its owner only, and gets the old file's
  // mode before any of the text is written.
  return open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
              replacing ? 0600 : 0644);
#endif
}

#ifndef _WIN32
// Gives the new file the mode of the file it replaces (the target, where path is a symbolic
// link), and its owner and group where the process may (as root, or a group of its own).
bool TakeOverModeAndOwner(int descriptor, const struct stat& old) {
  struct stat fresh {};
  if (fstat(descriptor, &fresh) != 0) return false;
  if ((fresh.st_uid != old.st_uid || fresh.st_gid != old.st_gid) &&
      fchown(descriptor, old.st_uid, old.st_gid) != 0) {
    // Not permitted: keep our own user, but still the old group where that is allowed.
    (void)!fchown(descriptor, static_cast<uid_t>(-1), old.st_gid);
  }
  // After the change of owner, which clears the set-id bits.
  return fchmod(descriptor, old.st_mode & 07777) == 0;
}
#endif

// Writes all of text, then flushes it to the disk; closes the descriptor either way.
bool WriteAllAndSync(int descriptor, const std::string& text) {
  const char* data = text.data();
  std::size_t left = text.size();
  bool ok = true;
  while (ok && left > 0) {
#ifdef _WIN32
    const int chunk = left > (1u << 30) ? (1 << 30) : static_cast<int>(left);
    const int written = _write(descriptor, data, static_cast<unsigned>(chunk));
#else
    const ssize_t written = write(descriptor, data, left);
    if (written < 0 && errno == EINTR) continue;
#endif
    if (written <= 0) {
      ok = false;
      break;
    }
    data += written;
    left -= static_cast<std::size_t>(written);
  }
#ifdef _WIN32
  ok = ok && _commit(descriptor) == 0;
  ok = _close(descriptor) == 0 && ok;
#else
  ok = ok && fsync(descriptor) == 0;
  ok = close(descriptor) == 0 && ok;
#endif
  return ok;
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
  const bool parsed = ParseFiniteJson(document, stream);
  file.reset();
  if (stream.Refused()) LogError("KvVariantMap : JSON parse failed");
  if (stream.Refused() || !parsed) {
    // A failed load leaves nothing behind: the map holds a null root and is not valid.
    impl->ResetContent(rapidjson::kNullType);
    return;
  }
  if (!document.IsObject()) LogError(("KvVariantMap : " + path + " not a Valid JSON DOM!").c_str());
}

void KvVariantMap::SaveToFile(const std::string& path, bool compact) const {
  if (!impl->IsValid()) return;
  // The whole text first, so that the old file is replaced only by a complete new one.
  std::string text;
  StringAppendStream stream(text);
  WriteJsonText(impl->document, stream, compact);
  if (IsDirectory(path)) {
    LogError("KvVariantMap : Failed to open file");
    return;
  }
  const std::string temporary = TemporaryPathBeside(path);
#ifdef _WIN32
  const bool replacing = false;
#else
  struct stat old {};
  const bool replacing = stat(path.c_str(), &old) == 0 && S_ISREG(old.st_mode);
#endif
  const int descriptor = OpenExclusive(temporary, replacing);
  if (descriptor < 0) {
    LogError("KvVariantMap : Failed to open file");
    return;
  }
#ifndef _WIN32
  if (replacing && !TakeOverModeAndOwner(descriptor, old)) {
    close(descriptor);
    std::remove(temporary.c_str());
    LogError("KvVariantMap : Failed to open file");
    return;
  }
#endif
  const bool written = WriteAllAndSync(descriptor, text);
  if (!written) {
    std::remove(temporary.c_str());
    LogError("KvVariantMap : Failed to write file");
    return;
  }
  std::error_code error;
  std::filesystem::rename(temporary, path, error);
  if (error) {
    std::remove(temporary.c_str());
    LogError("KvVariantMap : Failed to open file");
  }
}

}  // namespace IPC
