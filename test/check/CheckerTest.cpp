// hostlink-check against real hosts in real processes: it must pass a host that honours the
// protocol and fail, naming the right check, a host with one fault.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cctype>
#include <chrono>
#include <cinttypes>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace {

std::string UniquePluginId(const std::string& tag) {
  static std::atomic<int> counter{0};
  return "hl_check_" + tag + "_" + std::to_string(getpid()) + "_" + std::to_string(counter++);
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// A host program running for one test, its output in a file; killed at the end if still up.
class HostUnderTest {
 public:
  HostUnderTest(const std::string& binary, std::vector<std::string> args) {
    char pattern[] = "/tmp/hostlink-checktest-XXXXXX";
    directory_ = mkdtemp(pattern) ? pattern : "/tmp";
    args.insert(args.begin(), binary);
    std::vector<char*> argv;
    for (std::string& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, (directory_ + "/stdout").c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&actions, 2, (directory_ + "/stderr").c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
  }
  ~HostUnderTest() {
    if (pid_ > 0 && !Ended()) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
    std::remove((directory_ + "/stdout").c_str());
    std::remove((directory_ + "/stderr").c_str());
    rmdir(directory_.c_str());
  }

  // Waits for its "ready" line; false if it ended or 10 s passed first.
  bool WaitReady() {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (std::chrono::steady_clock::now() < deadline) {
      if (ReadFile(directory_ + "/stdout").find("ready") != std::string::npos) return true;
      if (Ended()) return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return false;
  }
  // Waits up to 5 s for the process to end.
  bool WaitEnded() {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (!Ended()) {
      if (std::chrono::steady_clock::now() >= deadline) return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
  }

 private:
  bool Ended() {
    if (!ended_ && pid_ > 0 && waitpid(pid_, nullptr, WNOHANG) == pid_) ended_ = true;
    return ended_ || pid_ <= 0;
  }

  std::string directory_;
  pid_t pid_ = -1;
  bool ended_ = false;
};

struct CheckRun {
  int exitCode = -1;
  std::string output;
};

CheckRun RunChecker(const std::string& pluginId, const std::string& options = "") {
  const std::string command = std::string(HOSTLINK_CHECK_BINARY) + " --plugin-id " + pluginId +
                              " " + options + " 2>/dev/null";
  CheckRun run;
  FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) return run;
  char buffer[4096];
  size_t count;
  while ((count = fread(buffer, 1, sizeof buffer, pipe)) > 0) run.output.append(buffer, count);
  const int status = pclose(pipe);
  run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return run;
}

// The line of one check, e.g. "FAIL  GetKestrel: ...", or empty when it is missing.
std::string LineOf(const CheckRun& run, const std::string& check) {
  std::istringstream lines(run.output);
  std::string line;
  while (std::getline(lines, line)) {
    const size_t start = line.find("  ");
    if (start != std::string::npos && line.compare(start + 2, check.size() + 1, check + ":") == 0) {
      return line;
    }
  }
  return "";
}

std::vector<std::string> FailedChecks(const CheckRun& run) {
  std::vector<std::string> failed;
  std::istringstream lines(run.output);
  std::string line;
  while (std::getline(lines, line)) {
    if (line.rfind("FAIL  ", 0) == 0) failed.push_back(line.substr(6, line.find(':') - 6));
  }
  return failed;
}

// Every check of the contract ran and passed, none was left out.
void ExpectAllPass(const CheckRun& run, std::vector<std::string> more = {}) {
  EXPECT_EQ(run.exitCode, 0) << run.output;
  EXPECT_TRUE(FailedChecks(run).empty()) << run.output;
  std::vector<std::string> checks = {"pipes.request",
                                     "pipes.callback",
                                     "GetKestrel",
                                     "SetAPITimeout",
                                     "RegisterCallback",
                                     "DeregisterCallback",
                                     "failure.unknown-function",
                                     "failure.unknown-proxy",
                                     "failure.stale-reference",
                                     "hostile.not-json",
                                     "hostile.not-an-object",
                                     "hostile.no-name",
                                     "hostile.deep-nesting",
                                     "hostile.bzip2-bomb",
                                     "hostile.truncated-stream",
                                     "hostile.oversized-message",
                                     "UnloadPlugin",
                                     "answers.one-message-each",
                                     "answers.response-form",
                                     "answers.nothing-unasked",
                                     "answers.proxies"};
  checks.insert(checks.end(), more.begin(), more.end());
  for (const std::string& check : checks) {
    EXPECT_EQ(LineOf(run, check).rfind("PASS  ", 0), 0u) << check << "\n" << run.output;
  }
}

void ExpectPassesAndUnloads(const std::string& binary, const std::string& tag,
                            std::vector<std::string> hostArgs, const std::string& options,
                            std::vector<std::string> more) {
  const std::string pluginId = UniquePluginId(tag);
  hostArgs.insert(hostArgs.begin(), {"--plugin-id", pluginId});
  HostUnderTest host(binary, hostArgs);
  ASSERT_TRUE(host.WaitReady());
  // --unload is the default now; older scripts still pass it.
  const CheckRun run = RunChecker(pluginId, "--unload " + options);
  ExpectAllPass(run, std::move(more));
  EXPECT_NE(LineOf(run, "UnloadPlugin").find("the host ended"), std::string::npos) << run.output;
  EXPECT_TRUE(host.WaitEnded()) << "the host should end after UnloadPlugin";
}

// A host with one fault: the checker must exit 1 and fail exactly the named checks.
CheckRun RunAgainstFault(const std::string& fault, const std::string& options = "") {
  const std::string pluginId = UniquePluginId(fault);
  HostUnderTest host(HOSTLINK_FAULTY_HOST, {"--plugin-id", pluginId, "--fault", fault});
  EXPECT_TRUE(host.WaitReady());
  return RunChecker(pluginId, options);
}

TEST(Checker, PassesAReferenceHostThatHonoursTheProtocol) {
  // Its "Tick" callback, the objects behind its root and the release it announces are
  // checked too.
  ExpectPassesAndUnloads(HOSTLINK_REFERENCE_HOST, "reference", {"--tick", "20"},
                         "--explore --callback Tick",
                         {"callbacks", "explore", "release.unknown-id", "release.counted"});
}

TEST(Checker, PassesTheExampleHost) {
  ExpectPassesAndUnloads(HOSTLINK_TODO_HOST, "todo", {}, "--explore", {"explore"});
}

TEST(Checker, PassesAHostThatKeepsServingAfterUnload) {
  const std::string pluginId = UniquePluginId("keep");
  HostUnderTest host(HOSTLINK_REFERENCE_HOST, {"--plugin-id", pluginId, "--keep-running"});
  ASSERT_TRUE(host.WaitReady());
  const CheckRun run = RunChecker(pluginId);
  ExpectAllPass(run);
  EXPECT_NE(LineOf(run, "UnloadPlugin").find("the host kept serving"), std::string::npos)
      << run.output;
}

TEST(Checker, PassesAHostWithTheReleaseExtension) {
  const CheckRun run = RunAgainstFault("release", "--explore");
  ExpectAllPass(run, {"explore", "release.unknown-id", "release.counted"});
  EXPECT_NE(LineOf(run, "GetKestrel").find("features \"release\""), std::string::npos)
      << run.output;
  EXPECT_NE(LineOf(run, "release.counted")
                .find("proxy 2 (Child), handed out 2 times by \"GetChild\" on proxy 1, released "
                      "once: \"GetName\" on proxy 2 got status true"),
            std::string::npos)
      << run.output;
}

TEST(Checker, ReleaseIsNotCheckedUnlessAnnounced) {
  const CheckRun run = RunAgainstFault("none", "--explore");
  ExpectAllPass(run, {"explore"});
  EXPECT_EQ(LineOf(run, "release"), "SKIP  release: the root announces no \"release\" feature");
}

// One fault each: the check that names it fails, with evidence that says what went wrong.
struct FaultCase {
  const char* fault;
  const char* options;
  const char* check;
  const char* evidence;
};

void PrintTo(const FaultCase& c, std::ostream* out) {
  *out << c.fault << " " << c.options << " -> " << c.check;
}

class CheckerCatches : public ::testing::TestWithParam<FaultCase> {};

TEST_P(CheckerCatches, TheFaultByName) {
  const FaultCase& c = GetParam();
  const CheckRun run = RunAgainstFault(c.fault, c.options);
  EXPECT_EQ(run.exitCode, 1) << run.output;
  const std::string line = LineOf(run, c.check);
  EXPECT_EQ(line.rfind(std::string("FAIL  ") + c.check + ": ", 0), 0u) << run.output;
  EXPECT_NE(line.find(c.evidence), std::string::npos) << run.output;
}

INSTANTIATE_TEST_SUITE_P(
    Faults, CheckerCatches,
    ::testing::Values(
        FaultCase{"callback-on-request-pipe", "", "answers.nothing-unasked",
                  "while idle after \"RegisterCallback\": a callback (\"HostlinkCheck\") on the "
                  "request pipe"},
        FaultCase{"callback-on-request-pipe", "--callback Ping --callback-wait 500", "callbacks",
                  "no callback within 500 ms; messages came on the request pipe instead"},
        FaultCase{"empty-child-functions", "--explore", "answers.proxies",
                  "the answer to \"GetChild\": empty function list: proxy 2 \"Child\" with 0 "
                  "functions ()"},
        FaultCase{"silent-unload", "", "UnloadPlugin", "no answer within 1000 ms"},
        FaultCase{"split-answer", "", "answers.one-message-each",
                  "the answer to \"SetAPITimeout\" came split over two messages"},
        FaultCase{"wrong-request-id", "", "answers.response-form", "is not the request's"},
        FaultCase{"no-status", "", "answers.response-form", "no boolean status"},
        FaultCase{"silent", "--no-unload", "answers.one-message-each", "the host answered nothing"},
        FaultCase{"release-ignores-count", "--explore", "release.counted",
                  "released once: \"GetName\" on proxy 2 got status false"},
        FaultCase{"release-refuses-unknown", "", "release.unknown-id",
                  "expected result true, got status false"}),
    [](const ::testing::TestParamInfo<FaultCase>& info) {
      std::string name = std::string(info.param.fault) + "_" + info.param.check;
      for (char& c : name) {
        if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
      }
      return name;
    });

TEST(Checker, NamesTheRequestIdOfAnAnswerToAnotherRequest) {
  const CheckRun run = RunAgainstFault("wrong-request-id");
  // A plug-in takes such an answer all the same: only its form is at fault.
  EXPECT_EQ(FailedChecks(run), std::vector<std::string>{"answers.response-form"}) << run.output;
  const std::string line = LineOf(run, "answers.response-form");
  uint64_t answered = 0;
  uint64_t asked = 0;
  const size_t at = line.find("requestId ");
  ASSERT_NE(at, std::string::npos) << run.output;
  ASSERT_EQ(std::sscanf(line.c_str() + at, "requestId %" SCNu64 " is not the request's %" SCNu64,
                        &answered, &asked),
            2)
      << line;
  EXPECT_EQ(answered, asked + 1) << line;
}

TEST(Checker, DropsALateAnswerAsAPlugInDoes) {
  const CheckRun run = RunAgainstFault("slow-child", "--explore");
  EXPECT_EQ(FailedChecks(run), std::vector<std::string>{"explore"}) << run.output;
  EXPECT_NE(LineOf(run, "explore").find("\"GetChild\" on proxy 1 got no answer"), std::string::npos)
      << run.output;
}

TEST(Checker, HostTextCannotForgeAReportLine) {
  const CheckRun run = RunAgainstFault("forged-report-line");
  EXPECT_NE(LineOf(run, "failure.unknown-function").find("Unknown function\\nPASS  forged"),
            std::string::npos)
      << run.output;
  EXPECT_EQ(LineOf(run, "forged"), "") << run.output;
}

TEST(Checker, CatchesAHostThatCrashesOnBadInput) {
  const CheckRun run = RunAgainstFault("crash-on-bad-input");
  EXPECT_EQ(run.exitCode, 1);
  // Everything before the first hostile input passed; that one is where it broke.
  EXPECT_EQ(LineOf(run, "failure.stale-reference").rfind("PASS  ", 0), 0u) << run.output;
  const std::string line = LineOf(run, "hostile.not-json");
  EXPECT_EQ(line.rfind("FAIL  hostile.not-json: a text that is not JSON: ", 0), 0u) << run.output;
  EXPECT_NE(line.find("then \"GetKestrel\" got nothing: the connection is gone"), std::string::npos)
      << run.output;
}

TEST(Checker, CatchesAnEmptyFunctionListFromGetKestrel) {
  const CheckRun run = RunAgainstFault("empty-functions");
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_EQ(LineOf(run, "GetKestrel"),
            "FAIL  GetKestrel: empty function list: proxy 1 \"Application\" with 0 functions ()");
}

TEST(Checker, CatchesTwoAnswersToOneRequest) {
  const CheckRun run = RunAgainstFault("two-answers");
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_EQ(FailedChecks(run), std::vector<std::string>{"answers.one-message-each"}) << run.output;
  EXPECT_NE(LineOf(run, "answers.one-message-each").find("\"GetKestrel\" got a second message"),
            std::string::npos)
      << run.output;
}

TEST(Checker, JsonReportNamesTheFailedCheck) {
  const std::string pluginId = UniquePluginId("json");
  HostUnderTest host(HOSTLINK_FAULTY_HOST, {"--plugin-id", pluginId, "--fault", "empty-functions"});
  ASSERT_TRUE(host.WaitReady());
  const CheckRun run = RunChecker(pluginId, "--json");
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_NE(run.output.find("\"passed\": false"), std::string::npos) << run.output;
  EXPECT_NE(run.output.find("\"name\": \"GetKestrel\",\n            \"result\": \"fail\""),
            std::string::npos)
      << run.output;
}

}  // namespace
