// Request dispatch: the plug-in's own operations, function calls and their failures, and
// hostile request texts.
#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>
#include <string>

#include "host/CallError.h"
#include "host/HostObject.h"
#include "host/RequestDispatcher.h"
#include "ipc/ObjectType.h"
#include "ipc/ProxyInfo.h"
#include "ipc/RequestMessage.h"
#include "ipc/ResponseMessage.h"

namespace {

using Host::Arguments;
using Host::ErrorCode;
using Host::HostObject;
using Host::Result;
using Host::Value;
using IPC::KvVariantMap;
using IPC::ResponseMessage;

class RequestDispatcherTest : public ::testing::Test {
 protected:
  void SetUp() override {
    root = std::make_shared<HostObject>("Application", "app");
    root->Define("Echo", [](const Arguments& args) -> Result { return args.At(0); });
    root->Define("Nothing", [](const Arguments&) { return Result(); });
    root->Define("Refuse", [](const Arguments&) { return Result::Error("no way", 42); });
    root->Define("Throw", [](const Arguments&) -> Result { throw std::runtime_error("boom"); });
    root->Define("ThrowOther", [](const Arguments&) -> Result { throw 5; });
    root->Define("Strict", [](const Arguments& args) -> Result { return args.GetString(0); });
    root->Define("Child", [this](const Arguments&) -> Result { return child; });
    root->Define("Size", [](const Arguments& args) -> Result {
      return static_cast<int64_t>(args.GetString(0).size());
    });
    child = std::make_shared<HostObject>("Child");
    child->Define("Ping", [](const Arguments&) -> Result { return "pong"; });
    dispatcher.SetRoot(root);
  }

  ResponseMessage Send(const std::string& text,
                       Host::RequestDispatcher::Outcome* outcome = nullptr) {
    std::string response;
    auto result = dispatcher.Dispatch(text, response);
    if (outcome) {
      *outcome = result;
    }
    ResponseMessage message;
    EXPECT_TRUE(message.FromJSONString(response)) << response;
    lastText = response;
    return message;
  }

  ResponseMessage Call(const std::string& name, const std::string& argsJson, int64_t proxyId) {
    IPC::RequestMessage request(name, KvVariantMap(argsJson), proxyId);
    request.requestId = 77;
    return Send(request.ToJSONString());
  }

  static void ExpectFailure(const ResponseMessage& response, ErrorCode code,
                            const std::string& text) {
    EXPECT_FALSE(response.status);
    EXPECT_EQ(response.errorCode, Host::ToInt(code));
    EXPECT_EQ(response.errorStr, text);
  }

  Host::ObjectRegistry registry;
  Host::RequestDispatcher dispatcher{registry};
  std::shared_ptr<HostObject> root;
  std::shared_ptr<HostObject> child;
  std::string lastText;
};

TEST_F(RequestDispatcherTest, GetKestrelAnswersWithTheRootProxy) {
  const ResponseMessage response = Send(R"({"request":{"requestId":5,"name":"GetKestrel"}})");
  ASSERT_TRUE(response.status);
  EXPECT_EQ(response.requestId, 5u);
  const KvVariantMap result = response.result.GetMap("result");
  EXPECT_EQ(IPC::GetObjectType(result), IPC::ObjectType::Proxy);
  IPC::ProxyInfo proxy;
  ASSERT_TRUE(proxy.FromVariantMap(result));
  EXPECT_EQ(proxy.proxyId, root->GetProxyId());
  EXPECT_GE(proxy.proxyId, 1);
  EXPECT_EQ(proxy.name, "Application");
  EXPECT_EQ(proxy.uniqueId, "app");
  EXPECT_EQ(proxy.functions.front(), "Echo");
  EXPECT_EQ(proxy.functions.size(), root->GetFunctionNames().size());
}

TEST_F(RequestDispatcherTest, GetKestrelWithoutARootFails) {
  Host::ObjectRegistry emptyRegistry;
  Host::RequestDispatcher empty(emptyRegistry);
  std::string response;
  empty.Dispatch(R"({"request":{"name":"GetKestrel"}})", response);
  ResponseMessage message;
  ASSERT_TRUE(message.FromJSONString(response));
  ExpectFailure(message, ErrorCode::NoRoot, "The host has no root object");
}

TEST_F(RequestDispatcherTest, ThePluginsOwnOperationsAreAcceptedAndRemembered) {
  EXPECT_TRUE(Send(R"({"request":{"name":"SetAPITimeout","args":{"timeout":5000}}})").status);
  EXPECT_EQ(dispatcher.GetApiTimeout(), 5000u);
  EXPECT_EQ(lastText, R"({"response":{"status":true,"result":true}})");

  EXPECT_TRUE(Send(R"({"request":{"name":"RegisterCallback","args":{"0":"Tick"}}})").status);
  EXPECT_TRUE(Send(R"({"request":{"name":"RegisterCallback","args":{"0":"Changed"}}})").status);
  EXPECT_TRUE(dispatcher.IsCallbackRegistered("Tick"));
  EXPECT_EQ(dispatcher.GetRegisteredCallbacks(), (std::vector<std::string>{"Changed", "Tick"}));
  EXPECT_TRUE(Send(R"({"request":{"name":"DeregisterCallback","args":{"0":"Tick"}}})").status);
  EXPECT_FALSE(dispatcher.IsCallbackRegistered("Tick"));

  Host::RequestDispatcher::Outcome outcome;
  const auto unload =
      Send(R"({"request":{"requestId":9,"name":"UnloadPlugin","args":{"id":"p"}}})", &outcome);
  EXPECT_TRUE(unload.status);
  EXPECT_TRUE(outcome.unload);
  EXPECT_EQ(outcome.requestId, 9u);
}

TEST_F(RequestDispatcherTest, OwnOperationsWithBadArgumentsFail) {
  ExpectFailure(Send(R"({"request":{"name":"SetAPITimeout","args":{"timeout":-1}}})"),
                ErrorCode::BadArgument, "SetAPITimeout needs an unsigned 'timeout'");
  ExpectFailure(Send(R"({"request":{"name":"RegisterCallback","args":{"0":""}}})"),
                ErrorCode::BadArgument, "RegisterCallback needs a callback name as argument 0");
  ExpectFailure(Send(R"({"request":{"name":"DeregisterCallback"}})"), ErrorCode::BadArgument,
                "DeregisterCallback needs a callback name as argument 0");
  ExpectFailure(Send(R"({"request":{"name":"Frobnicate"}})"), ErrorCode::UnknownRequest,
                "Unknown request: Frobnicate");
}

TEST_F(RequestDispatcherTest, CallsAnswerWithTheirResultsAndEchoTheRequestId) {
  Send(R"({"request":{"name":"GetKestrel"}})");
  const int64_t id = root->GetProxyId();
  const ResponseMessage echo = Call("Echo", R"({"0":"hi"})", id);
  EXPECT_TRUE(echo.status);
  EXPECT_EQ(echo.requestId, 77u);
  EXPECT_EQ(echo.result.GetString("result"), "hi");

  Call("Nothing", "{}", id);
  EXPECT_EQ(lastText, R"({"response":{"requestId":77,"status":true}})");

  // An object handed out as a result can be called next.
  const ResponseMessage made = Call("Child", "{}", id);
  IPC::ProxyInfo proxy;
  ASSERT_TRUE(proxy.FromVariantMap(made.result.GetMap("result")));
  EXPECT_EQ(Call("Ping", "{}", proxy.proxyId).result.GetString("result"), "pong");

  // A reference to it comes back as the object itself.
  const std::string ref =
      R"({"0":{"type":"proxyref","value":)" + std::to_string(proxy.proxyId) + "}}";
  const ResponseMessage back = Call("Echo", ref, id);
  EXPECT_EQ(IPC::GetObjectType(back.result.GetMap("result")), IPC::ObjectType::Proxy);
}

TEST_F(RequestDispatcherTest, FailedCallsCarryTextAndCode) {
  Send(R"({"request":{"name":"GetKestrel"}})");
  const int64_t id = root->GetProxyId();
  ExpectFailure(Call("Echo", "{}", 999), ErrorCode::UnknownObject, "Unknown object: 999");
  ExpectFailure(Call("Missing", "{}", id), ErrorCode::UnknownFunction,
                "Unknown function: Application.Missing");
  ExpectFailure(Call("Refuse", "{}", id), static_cast<ErrorCode>(42), "no way");
  ExpectFailure(Call("Throw", "{}", id), ErrorCode::CallFailed, "Exception: boom");
  ExpectFailure(Call("ThrowOther", "{}", id), ErrorCode::CallFailed, "Unknown exception");
  ExpectFailure(Call("Strict", R"({"0":1})", id), ErrorCode::BadArgument,
                "Argument 0 must be a string, not an integer");
  ExpectFailure(Call("Echo", R"({"0":{"type":"proxyref","value":12345}})", id),
                ErrorCode::StaleReference,
                "Argument 0 refers to object 12345, which does not exist");
  EXPECT_EQ(Call("Refuse", "{}", id).requestId, 77u);
}

TEST_F(RequestDispatcherTest, AClosedObjectIsUnknownToLaterCalls) {
  Send(R"({"request":{"name":"GetKestrel"}})");
  Call("Child", "{}", root->GetProxyId());
  const int64_t childId = child->GetProxyId();
  registry.Unregister(childId);
  ExpectFailure(Call("Ping", "{}", childId), ErrorCode::UnknownObject,
                "Unknown object: " + std::to_string(childId));
}

TEST_F(RequestDispatcherTest, MalformedRequestsGetFailureResponses) {
  const std::string notRequest = "Malformed request: not a request object";
  ExpectFailure(Send("not json at all"), ErrorCode::MalformedRequest, notRequest);
  ExpectFailure(Send(""), ErrorCode::MalformedRequest, notRequest);
  ExpectFailure(Send("[1,2,3]"), ErrorCode::MalformedRequest, notRequest);
  ExpectFailure(Send("42"), ErrorCode::MalformedRequest, notRequest);
  ExpectFailure(Send(R"({"request":5})"), ErrorCode::MalformedRequest, notRequest);
  ExpectFailure(Send(R"({"response":{"status":true}})"), ErrorCode::MalformedRequest, notRequest);
  ExpectFailure(Send(std::string("\xff\xfe\x00{\"request\":{}}", 17)), ErrorCode::MalformedRequest,
                notRequest);
  ExpectFailure(Send(R"({"request":{"requestId":3}})"), ErrorCode::MalformedRequest,
                "Malformed request: no name");
  ExpectFailure(Send(R"({"request":{"name":5,"proxyId":"x"}})"), ErrorCode::MalformedRequest,
                "Malformed request: no name");
  ExpectFailure(Send(std::string(100000, '[')), ErrorCode::MalformedRequest, notRequest);
  ExpectFailure(Send(std::string(100000, '{')), ErrorCode::MalformedRequest, notRequest);
  // Arguments that are not an object are treated as none.
  Send(R"({"request":{"name":"GetKestrel"}})");
  const std::string odd = R"({"request":{"name":"Nothing","args":[1],"proxyId":)" +
                          std::to_string(root->GetProxyId()) + "}}";
  EXPECT_TRUE(Send(odd).status) << lastText;
}

TEST_F(RequestDispatcherTest, AHugeArgumentIsHandled) {
  Send(R"({"request":{"name":"GetKestrel"}})");
  const std::string big(8 * 1024 * 1024, 'x');
  KvVariantMap args;
  args.Set("0", big);
  IPC::RequestMessage request("Size", args, root->GetProxyId());
  const ResponseMessage response = Send(request.ToJSONString());
  ASSERT_TRUE(response.status);
  EXPECT_EQ(response.result.GetInt("result"), static_cast<int32_t>(big.size()));
}

}  // namespace

namespace {

TEST_F(RequestDispatcherTest, TheRootAnnouncesReleasesAndReleaseObjectsDropsATransientObject) {
  const auto kestrel = Send(R"({"request":{"requestId":1,"name":"GetKestrel"}})");
  ASSERT_TRUE(kestrel.status);
  IPC::ProxyInfo rootInfo;
  ASSERT_TRUE(rootInfo.FromVariantMap(kestrel.result.GetMap("result")));
  EXPECT_EQ(rootInfo.features, std::vector<std::string>{"release"});

  child->SetHold(HostObject::Hold::ReleasedByPlugin);
  const int64_t rootId = root->GetProxyId();
  ASSERT_TRUE(Call("Child", "{}", rootId).status);
  ASSERT_TRUE(Call("Child", "{}", rootId).status);
  const int64_t childId = child->GetProxyId();
  child.reset();
  auto release = [&](const std::string& table) {
    return Send(R"({"request":{"requestId":7,"name":"ReleaseObjects","args":{"0":{"type":"table","value":)" +
                table + "}}}}");
  };
  // One of two answers released, unknown ids and odd entries ignored: still there.
  const auto first = release(R"({")" + std::to_string(childId) + R"(":1,"999":3,"x":1,"5":-2})");
  EXPECT_TRUE(first.status);
  EXPECT_TRUE(first.result.GetBool("result"));
  EXPECT_TRUE(Call("Ping", "{}", childId).status);
  EXPECT_TRUE(release(R"({")" + std::to_string(childId) + R"(":1})").status);
  const auto gone = Call("Ping", "{}", childId);
  EXPECT_FALSE(gone.status);
  EXPECT_EQ(gone.errorCode, static_cast<int64_t>(ErrorCode::UnknownObject));
  EXPECT_TRUE(Call("Echo", R"({"0":1})", rootId).status);  // the root is held strongly
  EXPECT_FALSE(Send(R"({"request":{"requestId":8,"name":"ReleaseObjects","args":{"0":3}}})")
                   .status);
}

}  // namespace
