// The checks of one host, in the order a plug-in meets the contract: the pipes, the
// module's own requests, callbacks, failures, the objects behind the root, the release
// extension, hostile input, unloading, and the answers as a whole.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "check/CheckReport.h"
#include "check/PluginSession.h"
#include "ipc/ProxyInfo.h"

namespace Check {

struct CheckOptions {
  // End with "UnloadPlugin".
  bool unload = true;
  // Walk the functions named Get... that take no arguments, from the root on.
  bool explore = false;
  // The host's own callback names: registered, and one of them must arrive.
  std::vector<std::string> callbacks;
  // How long to wait for one of them.
  uint32_t callbackWaitMs = 5000;
};

class HostChecker {
 public:
  // How long an answer may take, and how long the pipes may take to open.
  static constexpr uint32_t kAnswerLimitMs = 1000;
  static constexpr uint32_t kOpenLimitMs = 1000;
  // How long the request pipe is watched, idle, after a registration.
  static constexpr uint32_t kIdleWatchMs = 300;
  // The plug-in connects to the callback pipe within this after the registration's answer.
  static constexpr uint32_t kCallbackOpenLimitMs = 300;
  // Bounds of the walk behind the root: calls in all, and steps from the root (objects
  // that far away are checked, not called).
  static constexpr int kExploreCalls = 200;
  static constexpr int kExploreDepth = 4;
  // An identifier no host hands out this early: it stands for an object it does not know.
  static constexpr int64_t kUnknownProxyId = 2147483000;

  HostChecker(std::string pluginId, CheckReport& report);

  void Run(const CheckOptions& options);

 private:
  // An object met on the walk, and a function of it that answered with success when
  // called with no arguments (empty when none did).
  struct Found {
    IPC::ProxyInfo proxy;
    int depth = 0;
    std::string answeringGetter;
    // The object's function whose answer named it (on its parent), for the release check.
    int64_t parentId = 0;
    std::string parentGetter;
  };

  // ContractChecks.cpp
  void CheckPipes();
  void CheckForeignPeer();
  void CheckGetKestrel();
  bool Accepted(const std::string& name, const std::string& argumentKey,
                const std::string& argument, std::string& evidence);
  void CheckAccepted(const std::string& name, const std::string& argumentKey,
                     const std::string& argument);
  void CheckSetApiTimeout();
  void CheckUnknownFunction();
  void CheckUnknownProxy();
  void CheckStaleReference();
  void CheckAnswers();
  void CheckUnload();

  // CallbackChecks.cpp
  void CheckRegistration();
  void CheckHostCallbacks(const std::vector<std::string>& names, uint32_t waitMs);

  // ObjectChecks.cpp
  void CheckExplore();
  void CheckRelease(bool explored);
  // One "ReleaseObjects" of counts per identifier; true when answered with result true.
  bool Release(const std::vector<std::pair<int64_t, int>>& counts, std::string& evidence);
  // Whether the object still answers as it did: its answering getter, or else the
  // answer to a function it lacks compared with an earlier one.
  bool StillCallable(const Found& object, const Answer& before, std::string& evidence);
  Answer Probe(const Found& object);

  // HostileInputChecks.cpp
  void CheckHostileInput();
  void CheckStillServing(const std::string& name, const std::string& input, const Answer& reply);
  void CheckOversizedMessage();

  // A cheap valid request ("GetKestrel") answered with success within the limit; the
  // evidence says how it went.
  bool AnswersValidRequest(std::string& evidence);
  // A request text with the checker's next identifier (given back in requestId),
  // compressed as a plug-in sends it.
  std::string CompressedRequest(const std::string& name, uint64_t& requestId);
  // The function the failure checks call: the root's first, or a made-up name.
  std::string SomeFunction() const;

  std::string pluginId_;
  CheckReport& report_;
  PluginSession session_;
  bool requestPipe_ = false;
  bool haveRoot_ = false;
  IPC::ProxyInfo root_;
  // Whether the root announced "release" among its "features".
  bool release_ = false;
  // The objects the walk met, in the order met (the root first).
  std::vector<Found> found_;
};

}  // namespace Check
