// A tiny host, straight on the channel, that honours the protocol but for one fault named
// on its command line, for the checker's tests:
//   hostlink-faulty-host --plugin-id ID --fault crash-on-bad-input|empty-functions|two-answers
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "ipc/ProxyInfo.h"
#include "ipc/RequestMessage.h"
#include "ipc/ResponseMessage.h"
#include "transport/NamedPipe.h"

namespace {

enum class Fault { CrashOnBadInput, EmptyFunctions, TwoAnswers };

constexpr int64_t kRootId = 1;

std::string Succeed(uint64_t requestId, bool value) {
  IPC::ResponseMessage response;
  response.status = true;
  response.requestId = requestId;
  response.result.Set("result", value);
  return response.ToJSONString();
}

std::string Fail(uint64_t requestId, const std::string& text) {
  return IPC::ResponseMessage(requestId, text, 7).ToJSONString();
}

std::string Answer(const IPC::RequestMessage& request, Fault fault) {
  if (request.name == "GetKestrel") {
    IPC::ProxyInfo root;
    root.proxyId = kRootId;
    root.uniqueId = "root";
    root.name = "Application";
    if (fault != Fault::EmptyFunctions) root.functions = {"Ping"};
    return IPC::ResponseMessage(request.requestId, root.ToVariantMap()).ToJSONString();
  }
  if (request.proxyId < 0) return Succeed(request.requestId, true);
  if (request.proxyId != kRootId) return Fail(request.requestId, "Unknown object");
  if (request.name != "Ping") return Fail(request.requestId, "Unknown function");
  // Ping takes no arguments, so no object reference can be valid.
  if (request.args.Has("0")) return Fail(request.requestId, "Stale reference");
  return Succeed(request.requestId, true);
}

}  // namespace

int main(int argc, char** argv) {
  std::string pluginId;
  std::string faultName;
  for (int i = 1; i + 1 < argc; i += 2) {
    if (std::strcmp(argv[i], "--plugin-id") == 0) pluginId = argv[i + 1];
    if (std::strcmp(argv[i], "--fault") == 0) faultName = argv[i + 1];
  }
  Fault fault;
  if (faultName == "crash-on-bad-input") {
    fault = Fault::CrashOnBadInput;
  } else if (faultName == "empty-functions") {
    fault = Fault::EmptyFunctions;
  } else if (faultName == "two-answers") {
    fault = Fault::TwoAnswers;
  } else {
    std::fputs("usage: hostlink-faulty-host --plugin-id ID --fault KIND\n", stderr);
    return 2;
  }
  IPC::NamedPipe requests(pluginId, IPC::ServerRequest);
  IPC::NamedPipe callbacks(pluginId + "_callback", IPC::ServerCallback);
  if (!requests.Open(300) || !callbacks.Open(300)) return 1;
  std::puts("faulty-host: ready");
  std::fflush(stdout);
  for (;;) {
    std::string text;
    if (!requests.Read(text, 1000)) continue;
    IPC::RequestMessage request;
    std::string answer;
    if (!request.FromJSONString(text) || request.name.empty()) {
      if (fault == Fault::CrashOnBadInput) std::abort();
      answer = Fail(request.requestId, "Malformed request");
    } else {
      answer = Answer(request, fault);
    }
    requests.Write(answer, 300);
    if (fault == Fault::TwoAnswers) requests.Write(answer, 300);
  }
}
