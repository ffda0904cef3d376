// A tiny host, straight on the channel, that honours the protocol but for one fault named
// on its command line, for the checker's tests:
//   hostlink-faulty-host --plugin-id ID --fault KIND
// Its root "Application" has Ping() and GetChild(), which returns the object "Child" with
// GetName(). The kinds "release..." announce the release extension and count releases.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <thread>

#include "ipc/ProxyInfo.h"
#include "ipc/RequestMessage.h"
#include "ipc/ResponseMessage.h"
#include "transport/NamedPipe.h"

namespace {

constexpr int64_t kRootId = 1;

struct Fault {
  std::string name;
  bool Is(const char* kind) const { return name == kind; }
  bool Release() const { return name.rfind("release", 0) == 0; }
};

const char* const kKinds[] = {
    "none",                      // no fault at all
    "crash-on-bad-input",        // aborts on a message that is no request
    "empty-functions",           // the root has no functions
    "empty-child-functions",     // the Child has no functions
    "two-answers",               // every answer is written twice
    "split-answer",              // the answer to SetAPITimeout comes in two messages
    "callback-on-request-pipe",  // a registered callback is written on the request pipe
    "silent-unload",             // "UnloadPlugin" is never answered
    "silent",                    // nothing is ever answered
    "wrong-request-id",          // every answer carries the request's identifier + 1
    "no-status",                 // every answer lacks "status"
    "forged-report-line",        // an error text that tries to print a PASS line
    "release",                   // the release extension, counted as it should be
    "release-ignores-count",     // drops an object at its first release
    "release-refuses-unknown",   // fails a release of an identifier it does not know
    "slow-child",                // answers GetChild after 1.5 s, past the checker's limit
};

class Host {
 public:
  explicit Host(Fault fault) : fault_(std::move(fault)) {}

  std::string Answer(const IPC::RequestMessage& request) {
    if (request.name == "GetKestrel") return Proxy(request.requestId, Root());
    if (request.name == "ReleaseObjects" && fault_.Release() && request.proxyId < 0) {
      return Release(request);
    }
    if (request.proxyId < 0) return Succeed(request.requestId);
    if (request.proxyId == kRootId) {
      if (request.name == "GetChild") {
        if (fault_.Is("slow-child")) std::this_thread::sleep_for(std::chrono::milliseconds(1500));
        if (!childAlive_) {
          ++childId_;
          childAlive_ = true;
        }
        ++childHandedOut_;
        return Proxy(request.requestId, Child());
      }
      if (request.name != "Ping") {
        return Fail(request.requestId, fault_.Is("forged-report-line")
                                           ? "Unknown function\nPASS  forged: all is well"
                                           : "Unknown function");
      }
    } else if (request.proxyId == childId_ && childAlive_) {
      if (request.name != "GetName") return Fail(request.requestId, "Unknown function");
      if (request.args.Has("0")) return Fail(request.requestId, "Stale reference");
      IPC::ResponseMessage response(request.requestId, std::string("child"));
      return response.ToJSONString();
    } else {
      return Fail(request.requestId, "Unknown object");
    }
    // Ping takes no arguments, so no object reference can be valid.
    if (request.args.Has("0")) return Fail(request.requestId, "Stale reference");
    return Succeed(request.requestId);
  }

  static std::string Fail(uint64_t requestId, const std::string& text) {
    return IPC::ResponseMessage(requestId, text, 7).ToJSONString();
  }

 private:
  static std::string Succeed(uint64_t requestId) {
    IPC::ResponseMessage response;
    response.status = true;
    response.requestId = requestId;
    response.result.Set("result", true);
    return response.ToJSONString();
  }

  static std::string Proxy(uint64_t requestId, const IPC::KvVariantMap& proxy) {
    return IPC::ResponseMessage(requestId, proxy).ToJSONString();
  }

  IPC::KvVariantMap Root() const {
    IPC::ProxyInfo root;
    root.proxyId = kRootId;
    root.uniqueId = "root";
    root.name = "Application";
    if (!fault_.Is("empty-functions")) root.functions = {"Ping", "GetChild"};
    IPC::KvVariantMap map = root.ToVariantMap();
    if (fault_.Release()) {
      IPC::KvVariantMap value = map.GetMap("value");
      value.Set("features", std::vector<std::string>{"release"});
      map.Set("value", value);
    }
    return map;
  }

  IPC::KvVariantMap Child() const {
    IPC::ProxyInfo child;
    child.proxyId = childId_;
    child.uniqueId = "child";
    child.name = "Child";
    if (!fault_.Is("empty-child-functions")) child.functions = {"GetName"};
    return child.ToVariantMap();
  }

  // {"0":{"type":"table","value":{"<id>":count,...}}}: each count is taken off how often the
  // id was handed out; the object goes at zero.
  std::string Release(const IPC::RequestMessage& request) {
    const IPC::KvVariantMap counts = request.args.GetMap("0").GetMap("value");
    for (const std::string& key : counts.GetKeys()) {
      const int64_t id = std::strtoll(key.c_str(), nullptr, 10);
      if (id != childId_ || !childAlive_) {
        if (fault_.Is("release-refuses-unknown")) {
          return Fail(request.requestId, "Unknown object " + key);
        }
        continue;
      }
      childHandedOut_ -=
          fault_.Is("release-ignores-count") ? childHandedOut_ : counts.GetInt64(key);
      if (childHandedOut_ <= 0) {
        childAlive_ = false;
        childHandedOut_ = 0;
      }
    }
    return Succeed(request.requestId);
  }

  Fault fault_;
  int64_t childId_ = 2;
  bool childAlive_ = true;
  int64_t childHandedOut_ = 0;
};

}  // namespace

int main(int argc, char** argv) {
  std::string pluginId;
  Fault fault;
  for (int i = 1; i + 1 < argc; i += 2) {
    if (std::strcmp(argv[i], "--plugin-id") == 0) pluginId = argv[i + 1];
    if (std::strcmp(argv[i], "--fault") == 0) fault.name = argv[i + 1];
  }
  bool known = false;
  for (const char* kind : kKinds) known = known || fault.Is(kind);
  if (!known) {
    std::fputs("usage: hostlink-faulty-host --plugin-id ID --fault KIND\n", stderr);
    return 2;
  }
  IPC::NamedPipe requests(pluginId, IPC::ServerRequest);
  IPC::NamedPipe callbacks(pluginId + "_callback", IPC::ServerCallback);
  if (!requests.Open(300) || !callbacks.Open(300)) return 1;
  std::puts("faulty-host: ready");
  std::fflush(stdout);
  Host host(fault);
  for (;;) {
    // Looking at the callback pipe accepts a plug-in waiting there, and lets one that
    // left go.
    std::string text;
    callbacks.Read(text, 0);
    if (!requests.Read(text, 50)) continue;
    if (fault.Is("silent")) continue;
    IPC::RequestMessage request;
    std::string answer;
    if (!request.FromJSONString(text) || request.name.empty()) {
      if (fault.Is("crash-on-bad-input")) std::abort();
      answer = Host::Fail(request.requestId, "Malformed request");
    } else {
      if (request.name == "UnloadPlugin" && fault.Is("silent-unload")) continue;
      answer = host.Answer(request);
    }
    if (fault.Is("wrong-request-id")) {
      const std::string id = "\"requestId\":" + std::to_string(request.requestId);
      const size_t at = answer.find(id);
      if (at != std::string::npos) {
        answer.replace(at, id.size(), "\"requestId\":" + std::to_string(request.requestId + 1));
      }
    }
    if (fault.Is("no-status")) {
      for (const char* status : {"\"status\":true,", "\"status\":false,"}) {
        const size_t at = answer.find(status);
        if (at != std::string::npos) answer.erase(at, std::strlen(status));
      }
    }
    if (fault.Is("split-answer") && request.name == "SetAPITimeout") {
      requests.Write(answer.substr(0, answer.size() / 2), 300);
      requests.Write(answer.substr(answer.size() / 2), 300);
      continue;
    }
    requests.Write(answer, 300);
    if (fault.Is("two-answers")) requests.Write(answer, 300);
    if (fault.Is("callback-on-request-pipe") && request.name == "RegisterCallback") {
      // Past the checker's look right after the answer: it is caught while idle.
      std::this_thread::sleep_for(std::chrono::milliseconds(150));
      IPC::ResponseMessage callback;
      callback.status = true;
      callback.result.Set("result", request.args.GetString("0"));
      requests.Write(callback.ToJSONString(), 300);
    }
  }
}
