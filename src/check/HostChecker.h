// The checks of one host, in the order a plug-in meets the contract: the pipes, the
// module's own requests, failures, hostile input, the answers as a whole, and unloading.
#pragma once

#include <cstdint>
#include <string>

#include "check/CheckReport.h"
#include "check/PluginSession.h"
#include "ipc/ProxyInfo.h"

namespace Check {

class HostChecker {
 public:
  // How long an answer may take, and how long the pipes may take to open.
  static constexpr uint32_t kAnswerLimitMs = 1000;
  static constexpr uint32_t kOpenLimitMs = 1000;

  HostChecker(std::string pluginId, CheckReport& report);

  // Runs every check; with `unload`, ends with "UnloadPlugin".
  void Run(bool unload);

 private:
  // ContractChecks.cpp
  void CheckPipes();
  void CheckForeignPeer();
  void CheckGetKestrel();
  void CheckAccepted(const std::string& name, const std::string& argumentKey,
                     const std::string& argument);
  void CheckSetApiTimeout();
  void CheckUnknownFunction();
  void CheckUnknownProxy();
  void CheckStaleReference();
  void CheckAnswers();
  void CheckUnload();

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
};

}  // namespace Check
