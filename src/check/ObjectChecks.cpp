// The objects behind the root: a bounded walk over the functions named Get... that take no
// arguments, and the release extension for a host that announces it.
#include <set>
#include <utility>

#include "check/HostChecker.h"

namespace Check {

namespace {

// A function name no host defines: its answer tells a live object from a gone one.
constexpr const char* kNoSuchFunction = "HostlinkCheckNoSuchFunction";

// "1 object", "2 objects".
std::string Counted(size_t count, const std::string& noun) {
  return std::to_string(count) + " " + noun + (count == 1 ? "" : "s");
}

bool IsGetter(const std::string& function) { return function.rfind("Get", 0) == 0; }

std::string OnProxy(const std::string& function, int64_t proxyId) {
  return "\"" + Excerpt(function, 60) + "\" on proxy " + std::to_string(proxyId);
}

}  // namespace

void HostChecker::CheckExplore() {
  const char* name = "explore";
  if (!haveRoot_) {
    report_.Fail(name, "no root object to start from");
    return;
  }
  found_.clear();
  found_.push_back({root_, 0, "", 0, ""});
  std::set<int64_t> seen{root_.proxyId};
  std::vector<std::string> problems;
  int calls = 0;
  int succeeded = 0;
  int deepest = 0;
  bool cut = false;
  bool gone = false;
  // Breadth first: found_ grows behind the object being walked.
  for (size_t i = 0; i < found_.size() && !cut && !gone; ++i) {
    if (found_[i].depth >= kExploreDepth) continue;
    const IPC::ProxyInfo object = found_[i].proxy;
    const int depth = found_[i].depth;
    for (const std::string& function : object.functions) {
      if (!IsGetter(function)) continue;
      if (calls == kExploreCalls) {
        cut = true;
        break;
      }
      ++calls;
      const Answer answer =
          session_.Exchange(session_.NewRequest(function, object.proxyId), kAnswerLimitMs);
      if (!answer.received) {
        problems.push_back(OnProxy(function, object.proxyId) + " got " + answer.Describe());
        gone = answer.notSent || answer.readError == IPC::ChannelError::Closed;
        if (gone) break;
        continue;
      }
      if (!answer.Succeeded()) continue;  // it takes arguments, or refuses: not followed
      ++succeeded;
      if (found_[i].answeringGetter.empty()) found_[i].answeringGetter = function;
      for (const IPC::ProxyInfo& proxy : answer.proxies) {
        if (!seen.insert(proxy.proxyId).second) continue;
        found_.push_back({proxy, depth + 1, "", object.proxyId, function});
        if (depth + 1 > deepest) deepest = depth + 1;
      }
    }
  }
  if (calls == 0) {
    report_.Skip(name, "the root has no function named Get...");
    return;
  }
  std::string kinds;
  for (size_t i = 1; i < found_.size() && i <= 8; ++i) {
    kinds += (i > 1 ? ", " : "") + Excerpt(found_[i].proxy.name, 40);
  }
  if (found_.size() > 9) kinds += ", ...";
  std::string evidence = "called " + Counted(calls, "function") + " named Get..., " +
                         std::to_string(succeeded) + " with success (failures are not followed); " +
                         "met " + Counted(found_.size() - 1, "object") + " beyond the root";
  if (!kinds.empty()) {
    evidence += " (" + kinds + "), the farthest " + Counted(deepest, "step") + " away";
  }
  if (cut) evidence += "; stopped at " + std::to_string(kExploreCalls) + " calls";
  if (!problems.empty()) {
    report_.Fail(name, JoinLines(problems) + "; " + evidence);
    return;
  }
  report_.Pass(name, evidence);
}

bool HostChecker::Release(const std::vector<std::pair<int64_t, int>>& counts,
                          std::string& evidence) {
  IPC::KvVariantMap ids;
  for (const auto& entry : counts) {
    ids.Set(std::to_string(entry.first), static_cast<int64_t>(entry.second));
  }
  IPC::KvVariantMap table;
  table.Set("type", "table");
  table.Set("value", ids);
  IPC::RequestMessage request = session_.NewRequest("ReleaseObjects");
  request.args.Set("0", table);
  const Answer answer = session_.Exchange(request, kAnswerLimitMs);
  const bool accepted = answer.Succeeded() && answer.response.result.Has("result") &&
                        answer.response.result.IsTrue("result");
  evidence = (accepted ? "" : "expected result true, got ") + answer.Describe();
  if (accepted) {
    for (const auto& entry : counts) session_.NoteReleased(entry.first, entry.second);
  }
  return accepted;
}

Answer HostChecker::Probe(const Found& object) {
  const std::string function =
      object.answeringGetter.empty() ? kNoSuchFunction : object.answeringGetter;
  return session_.Exchange(session_.NewRequest(function, object.proxy.proxyId), kAnswerLimitMs);
}

bool HostChecker::StillCallable(const Found& object, const Answer& before, std::string& evidence) {
  const Answer after = Probe(object);
  const std::string function =
      object.answeringGetter.empty() ? kNoSuchFunction : object.answeringGetter;
  evidence = OnProxy(function, object.proxy.proxyId) + " got " + after.Summary();
  if (!object.answeringGetter.empty()) return after.Succeeded();
  // No function of its own answers without arguments: a function it lacks must be refused
  // as before, not as an unknown object.
  evidence += ", before the release " + before.Summary();
  return after.received && before.received && after.isResponse && before.isResponse &&
         after.response.status == before.response.status &&
         after.response.errorStr == before.response.errorStr &&
         after.response.errorCode == before.response.errorCode;
}

void HostChecker::CheckRelease(bool explored) {
  if (!release_) {
    report_.Skip("release",
                 haveRoot_ ? "the root announces no \"release\" feature" : "no root object");
    return;
  }
  std::string evidence;
  const bool answered = Release({{kUnknownProxyId, 1}}, evidence);
  std::string serving;
  const bool stillServing = AnswersValidRequest(serving);
  report_.Record("release.unknown-id", answered && stillServing,
                 "\"ReleaseObjects\" of unknown proxy " + std::to_string(kUnknownProxyId) + ": " +
                     evidence + "; " + serving);

  const char* name = "release.counted";
  if (!explored) {
    report_.Skip(name, "needs --explore, to find an object a function named Get... returns");
    return;
  }
  for (size_t i = 1; i < found_.size(); ++i) {
    const Found object = found_[i];
    const int64_t id = object.proxy.proxyId;
    // Handed out once on the walk; once more now, unless each call makes a new object.
    const Answer again = session_.Exchange(
        session_.NewRequest(object.parentGetter, object.parentId), kAnswerLimitMs);
    bool handedAgain = false;
    for (const IPC::ProxyInfo& proxy : again.proxies)
      handedAgain = handedAgain || proxy.proxyId == id;
    const auto counted = session_.HandedOut().find(id);
    if (!handedAgain || counted == session_.HandedOut().end() || counted->second < 2) continue;
    const int handedOut = counted->second;
    const Answer before = Probe(object);
    std::string released;
    if (!Release({{id, 1}}, released)) {
      report_.Fail(name, "\"ReleaseObjects\" of proxy " + std::to_string(id) + " (" +
                             Excerpt(object.proxy.name, 40) + ") once: " + released);
      return;
    }
    std::string callable;
    const bool alive = StillCallable(object, before, callable);
    report_.Record(name, alive,
                   "proxy " + std::to_string(id) + " (" + Excerpt(object.proxy.name, 40) +
                       "), handed out " + std::to_string(handedOut) + " times by " +
                       OnProxy(object.parentGetter, object.parentId) +
                       ", released once: " + callable);
    return;
  }
  report_.Skip(name, found_.size() > 1
                         ? "no function named Get... returned the same object beyond the root twice"
                         : "the walk found no object beyond the root");
}

}  // namespace Check
