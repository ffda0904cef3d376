// A request text as the host library receives it, dispatched to a small object model whose
// functions use every argument accessor and echo what they were given. Whatever the text,
// the answer must be one response the add-on can read: the request's identifier, a failure
// with a text and a known code, or a result whose proxies name registered objects.
#include <cstdint>
#include <limits>
#include <memory>
#include <stdexcept>
#include <string>

#include "FuzzCheck.h"
#include "MapWalker.h"
#include "host/HostObject.h"
#include "host/ObjectRegistry.h"
#include "host/RequestDispatcher.h"
#include "ipc/ObjectType.h"
#include "ipc/ProxyInfo.h"
#include "ipc/RequestMessage.h"
#include "ipc/ResponseMessage.h"

namespace {

using Host::Arguments;
using Host::HostObject;
using Host::Result;
using Host::Value;
using IPC::KvVariantMap;

class Document : public HostObject {
 public:
  Document() : HostObject("Document") {
    Define("GetTitle", [](const Arguments&) -> Result { return "Plan"; });
  }
};

// A table nested `depth` levels, for the encoder's depth limit.
Value Nested(int64_t depth) {
  Value value = 1;
  for (int64_t i = 0; i < depth; ++i) value = Value::List({value});
  return value;
}

// Root (identifier 1) and one document (identifier 2).
std::shared_ptr<HostObject> MakeModel(Host::ObjectRegistry& registry) {
  auto root = std::make_shared<HostObject>("Application", "app");
  auto document = std::make_shared<Document>();
  root->Define("Echo", [](const Arguments& args) -> Result { return args.At(0); });
  root->Define("EchoAll", [](const Arguments& args) -> Result { return args.GetMembers(); });
  root->Define("GetBool", [](const Arguments& args) -> Result { return args.GetBool(0); });
  root->Define("GetInt", [](const Arguments& args) -> Result { return args.GetInt(0, 3); });
  root->Define("GetNumber", [](const Arguments& args) -> Result { return args.GetNumber(0); });
  root->Define("GetString", [](const Arguments& args) -> Result { return args.GetString(0); });
  root->Define("GetMap", [](const Arguments& args) -> Result { return args.GetMap(0); });
  root->Define("GetList", [](const Arguments& args) -> Result { return args.GetList(0); });
  root->Define("GetObject", [](const Arguments& args) -> Result { return args.GetObject(0); });
  root->Define("GetDocument",
               [](const Arguments& args) -> Result { return args.GetObjectAs<Document>(0); });
  root->Define("Count",
               [](const Arguments& args) -> Result { return static_cast<int64_t>(args.Count()); });
  root->Define("Scale", [](const Arguments& args) -> Result {
    return args.GetNumber(0) * args.GetNumber(1, 1e308);
  });
  root->Define("Nested", [](const Arguments& args) -> Result {
    return Nested(std::min<int64_t>(std::max<int64_t>(args.GetInt(0), 0), 100));
  });
  root->Define("MakeDocument", [](const Arguments&) -> Result {
    return std::make_shared<Document>();
  });
  root->Define("Refuse", [](const Arguments&) { return Result::Error("", 7); });
  root->Define("Throw", [](const Arguments&) -> Result { throw std::runtime_error("boom"); });
  registry.Register(root);
  registry.Register(document);
  return root;
}

// Every proxy description the add-on would turn into an object must name a registered
// object, with a kind and functions.
void CheckProxies(const KvVariantMap& map, const Host::ObjectRegistry& registry, int depth) {
  if (depth > 100) return;
  if (IPC::GetObjectType(map) == IPC::ObjectType::Proxy) {
    IPC::ProxyInfo info;
    FUZZ_CHECK(info.FromVariantMap(map));
    FUZZ_CHECK(info.proxyId >= 1 && info.proxyId <= Host::ObjectRegistry::kMaxProxyId);
    FUZZ_CHECK(!info.name.empty() && !info.functions.empty());
    const Host::ObjectPtr object = registry.Find(info.proxyId);
    FUZZ_CHECK(object != nullptr && object->GetKind() == info.name);
    return;
  }
  for (const std::string& key : map.GetKeys()) {
    if (map.IsMap(key)) CheckProxies(map.GetMap(key), registry, depth + 1);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  Host::ObjectRegistry registry;
  Host::RequestDispatcher dispatcher(registry);
  dispatcher.SetRoot(MakeModel(registry));

  std::string answer = "left over";
  const Host::RequestDispatcher::Outcome outcome = dispatcher.Dispatch(text, answer);

  IPC::ResponseMessage response;
  FUZZ_CHECK(response.FromJSONString(answer));
  FUZZ_CHECK(response.requestId == (outcome.requestId != 0 ? outcome.requestId
                                                           : IPC::ResponseMessage::kNoRequestId));
  IPC::RequestMessage request;
  const bool isRequest = request.FromJSONString(text);
  FUZZ_CHECK(outcome.unload == (isRequest && request.name == "UnloadPlugin" && request.proxyId < 0));
  if (!response.status) {
    // A failure always says what failed, with one of the host's codes.
    FUZZ_CHECK(!response.errorStr.empty());
    FUZZ_CHECK(response.errorCode >= 1 && response.errorCode <= 9);
    return 0;
  }
  FUZZ_CHECK(isRequest && !request.name.empty());
  Fuzz::WalkMap(response.result);
  CheckProxies(response.result, registry, 0);
  return 0;
}
