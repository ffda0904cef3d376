// Runs build/hostlink-host as a child process for a test, with its output in files.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace HostTest {

class HostProcess {
 public:
  static std::string Binary() {
    const char* buildDir = std::getenv("HOSTLINK_BUILD_DIR");
    return std::string(buildDir ? buildDir : "build") + "/hostlink-host";
  }

  // Starts the host with the arguments; its output goes to files in a fresh folder.
  explicit HostProcess(const std::vector<std::string>& args, const std::string& binary = Binary()) {
    char pattern[] = "/tmp/hostlink-hosttest-XXXXXX";
    directory_ = mkdtemp(pattern) ? pattern : "";
    std::vector<std::string> all{binary};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& arg : all) {
      argv.push_back(arg.data());
    }
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, (directory_ + "/stdout").c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&actions, 2, (directory_ + "/stderr").c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ) != 0) {
      pid_ = -1;
    }
    posix_spawn_file_actions_destroy(&actions);
  }

  ~HostProcess() {
    if (pid_ > 0 && !exited_) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
    std::error_code error;
    std::filesystem::remove_all(directory_, error);
  }

  HostProcess(const HostProcess&) = delete;
  HostProcess& operator=(const HostProcess&) = delete;

  const std::string& Directory() const { return directory_; }
  std::string Stdout() const { return ReadFile(directory_ + "/stdout"); }
  std::string Stderr() const { return ReadFile(directory_ + "/stderr"); }

  // Waits for the ready line; false if the host ended or the limit passed first.
  bool WaitReady(std::chrono::milliseconds limit = std::chrono::seconds(20),
                 const std::string& readyLine = "hostlink-host: ready") {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < deadline) {
      if (Stdout().find(readyLine) != std::string::npos) {
        return true;
      }
      if (Poll()) {
        return false;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return false;
  }

  // Waits for the process to end; its exit status, or -1 after the limit.
  int WaitExit(std::chrono::milliseconds limit = std::chrono::seconds(20)) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!Poll()) {
      if (std::chrono::steady_clock::now() >= deadline) {
        return -1;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return WIFEXITED(status_) ? WEXITSTATUS(status_) : 128 + WTERMSIG(status_);
  }

  // Never with a pid of -1 or 0 (a spawn that failed): kill would signal every process
  // it may, or the whole process group.
  void Signal(int number) {
    if (pid_ > 0) {
      kill(pid_, number);
    }
  }

  static std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
  }

 private:
  // True once the process has ended (and been reaped).
  bool Poll() {
    if (exited_ || pid_ <= 0) {
      return true;
    }
    if (waitpid(pid_, &status_, WNOHANG) == pid_) {
      exited_ = true;
    }
    return exited_;
  }

  std::string directory_;
  pid_t pid_ = -1;
  int status_ = 0;
  bool exited_ = false;
};

}  // namespace HostTest
