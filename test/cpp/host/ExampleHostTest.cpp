// The example host as a separate process: an event-loop host whose functions run on its
// main thread, whose items the host holds weakly, and which ends when the plug-in unloads.
#ifdef HOSTLINK_TODO_HOST
#include <gtest/gtest.h>

#include <string>

#include "HostProcess.h"
#include "PluginClient.h"
#include "ipc/ProxyInfo.h"

namespace {

using HostTest::HostProcess;
using HostTest::PluginClient;

int64_t ProxyIdOf(const IPC::ResponseMessage& response) {
  IPC::ProxyInfo proxy;
  EXPECT_TRUE(proxy.FromVariantMap(response.result.GetMap("result")));
  return proxy.proxyId;
}

TEST(ExampleHostTest, FunctionsRunOnTheMainThreadAndARemovedItemIsGone) {
  const std::string pluginId = HostTest::UniquePluginId("todo");
  HostProcess host({"--plugin-id", pluginId}, HOSTLINK_TODO_HOST);
  ASSERT_TRUE(host.WaitReady(std::chrono::seconds(20), "todo-host: ready")) << host.Stderr();
  PluginClient client(pluginId);
  const int64_t list = ProxyIdOf(client.Request("GetKestrel"));
  const auto onMain = client.Request("RunsOnMainThread", "{}", list);
  ASSERT_TRUE(onMain.status) << client.LastResponse();
  EXPECT_TRUE(onMain.result.GetBool("result"));

  const int64_t item = ProxyIdOf(client.Request("AddItem", R"({"0":"Report"})", list));
  EXPECT_TRUE(client.Request("GetTitle", "{}", item).status);
  ASSERT_TRUE(
      client.Request("RemoveItem", R"({"0":{"type":"proxyref","value":)" + std::to_string(item) +
                                       "}}",
                     list)
          .status)
      << client.LastResponse();
  const auto gone = client.Request("GetTitle", "{}", item);
  EXPECT_FALSE(gone.status);
  EXPECT_EQ(gone.errorCode, 3);  // unknown object

  EXPECT_TRUE(client.Request("UnloadPlugin", R"({"id":"x"})").status);
  EXPECT_EQ(host.WaitExit(), 0) << host.Stderr();
}

}  // namespace
#endif
