// The reference host as a separate process: its object model, its callbacks, its ways
// of stopping, and its control mode driven through the control folder.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <string>
#include <thread>
#include <vector>

#include "HostProcess.h"
#include "PluginClient.h"
#include "ipc/ObjectType.h"
#include "ipc/ProxyInfo.h"
#include "host/RequestDispatcher.h"
#include "ipc/TableValue.h"

namespace {

using HostTest::HostProcess;
using HostTest::PluginClient;
using IPC::KvVariantMap;
using IPC::ResponseMessage;

IPC::ProxyInfo ProxyOf(const ResponseMessage& response) {
  IPC::ProxyInfo proxy;
  const KvVariantMap result = response.result.GetMap("result");
  EXPECT_EQ(IPC::GetObjectType(result), IPC::ObjectType::Proxy);
  EXPECT_TRUE(proxy.FromVariantMap(result));
  return proxy;
}

std::string Ref(int64_t proxyId) {
  return R"({"type":"proxyref","value":)" + std::to_string(proxyId) + "}";
}

std::string Base64(const std::string& bytes) {
  static const char* alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  size_t i = 0;
  for (; i + 2 < bytes.size(); i += 3) {
    const uint32_t n =
        (uint8_t(bytes[i]) << 16) | (uint8_t(bytes[i + 1]) << 8) | uint8_t(bytes[i + 2]);
    out += {alphabet[n >> 18], alphabet[(n >> 12) & 63], alphabet[(n >> 6) & 63], alphabet[n & 63]};
  }
  if (i + 1 == bytes.size()) {
    const uint32_t n = uint8_t(bytes[i]) << 16;
    out += {alphabet[n >> 18], alphabet[(n >> 12) & 63], '=', '='};
  } else if (i + 2 == bytes.size()) {
    const uint32_t n = (uint8_t(bytes[i]) << 16) | (uint8_t(bytes[i + 1]) << 8);
    out += {alphabet[n >> 18], alphabet[(n >> 12) & 63], alphabet[(n >> 6) & 63], '='};
  }
  return out;
}

// The test's side of the control folder.
class Control {
 public:
  explicit Control(const std::string& directory) : directory_(directory) {}

  // Appends {"seq":N,"op":op,<fields>} and waits for its acknowledgement.
  KvVariantMap Command(const std::string& op, const std::string& fields = "") {
    ++seq_;
    const std::string line = R"({"seq":)" + std::to_string(seq_) + R"(,"op":")" + op + "\"" +
                             (fields.empty() ? "" : "," + fields) + "}\n";
    {
      std::ofstream out(directory_ + "/commands", std::ios::binary | std::ios::app);
      out << line;
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (std::chrono::steady_clock::now() < deadline) {
      KvVariantMap ack(HostProcess::ReadFile(directory_ + "/ack"));
      if (ack.Has("seq") && ack.GetUInt64("seq") == seq_) {
        return ack;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    ADD_FAILURE() << "no acknowledgement of " << op;
    return KvVariantMap();
  }

  // The recorded requests: length, line feed, bytes, line feed.
  std::vector<std::string> Requests() const {
    const std::string file = HostProcess::ReadFile(directory_ + "/requests");
    std::vector<std::string> records;
    size_t position = 0;
    while (position < file.size()) {
      const size_t lineEnd = file.find('\n', position);
      const size_t length = std::stoul(file.substr(position, lineEnd - position));
      records.push_back(file.substr(lineEnd + 1, length));
      position = lineEnd + 1 + length + 1;
    }
    return records;
  }

 private:
  std::string directory_;
  uint64_t seq_ = 0;
};

class ReferenceHostTest : public ::testing::Test {
 protected:
  // Starts a host serving a fresh identifier, with the extra arguments.
  std::unique_ptr<HostProcess> Launch(const std::vector<std::string>& extra = {}) {
    std::vector<std::string> args{"--plugin-id", pluginId};
    args.insert(args.end(), extra.begin(), extra.end());
    auto host = std::make_unique<HostProcess>(args);
    EXPECT_TRUE(host->WaitReady()) << host->Stderr();
    return host;
  }

  std::string pluginId = HostTest::UniquePluginId("demo");
};

TEST_F(ReferenceHostTest, AnswersGetKestrelWithAValidProxyDescription) {
  auto host = Launch();
  EXPECT_EQ(host->Stdout(), "hostlink-host: ready (plugin-id " + pluginId + ")\n");
  PluginClient client(pluginId);
  ASSERT_TRUE(client.IsConnected());
  const ResponseMessage response = client.Request("GetKestrel");
  ASSERT_TRUE(response.status) << client.LastResponse();
  const IPC::ProxyInfo proxy = ProxyOf(response);
  EXPECT_GE(proxy.proxyId, 1);
  EXPECT_LE(proxy.proxyId, 2147483647);
  EXPECT_EQ(proxy.name, "Application");
  EXPECT_EQ(proxy.uniqueId, "app");
  EXPECT_EQ(proxy.functions, (std::vector<std::string>{"GetName", "GetVersion", "GetInfo",
                                                       "GetDocuments", "GetBench", "Echo"}));
  EXPECT_EQ(client.Request("GetName", "{}", proxy.proxyId).result.GetString("result"),
            "Hostlink Reference Host");
}

TEST_F(ReferenceHostTest, DocumentsKeepShapesAndAnnounceChanges) {
  auto host = Launch();
  PluginClient client(pluginId);
  const int64_t app = ProxyOf(client.Request("GetKestrel")).proxyId;
  const int64_t docs = ProxyOf(client.Request("GetDocuments", "{}", app)).proxyId;
  const IPC::ProxyInfo doc = ProxyOf(client.Request("Create", R"({"0":"Plan"})", docs));
  EXPECT_EQ(doc.name, "Document");
  ASSERT_TRUE(client.Request("RegisterCallback", R"({"0":"DocumentChanged"})").status);
  ASSERT_TRUE(client.OpenCallbacks());

  const auto added =
      client.Request("AddShape", R"({"0":"rectangle","1":1,"2":2,"3":30,"4":40})", doc.proxyId);
  ASSERT_TRUE(added.status) << client.LastResponse();
  // The callback carries the document and what changed.
  EXPECT_EQ(client.ReadCallback(5000),
            R"({"response":{"status":true,"result":"DocumentChanged","args":{"0":{"type":"proxy",)"
            R"("value":{"proxyId":)" + std::to_string(doc.proxyId) +
                R"(,"uniqueId":"Document-)" + std::to_string(doc.proxyId) +
                R"(","name":"Document","functions":["GetTitle","SetTitle","AddShape","GetShapes",)"
                R"("GetShape","GetShapeCount","MoveShape","RemoveShape","Close"]}},"1":"shapeAdded"}}})");
  const auto second = client.Request(
      "AddShape", R"({"0":{"type":"table","value":{"type":"ellipse","x":5}}})", doc.proxyId);
  ASSERT_TRUE(second.status) << client.LastResponse();
  ASSERT_TRUE(client.Request("MoveShape", R"({"0":1,"1":7.5,"2":8})", doc.proxyId).status);

  const auto shapes = client.Request("GetShapes", "{}", doc.proxyId);
  IPC::TableValue list;
  ASSERT_TRUE(list.FromVariantMap(shapes.result.GetMap("result")));
  EXPECT_TRUE(list.isList);
  ASSERT_EQ(list.value.GetKeys().size(), 2u);
  IPC::TableValue first;
  ASSERT_TRUE(first.FromVariantMap(list.value.GetMap("0")));
  EXPECT_EQ(first.value.GetString("type"), "rectangle");
  EXPECT_DOUBLE_EQ(first.value.GetDouble("x"), 7.5);
  EXPECT_DOUBLE_EQ(first.value.GetDouble("height"), 40);

  const auto badType = client.Request("AddShape", R"({"0":"hexagon"})", doc.proxyId);
  EXPECT_FALSE(badType.status);
  EXPECT_EQ(badType.errorStr, "Unknown shape type: hexagon");
  const auto badSize =
      client.Request("AddShape", R"({"0":"line","1":0,"2":0,"3":-1})", doc.proxyId);
  EXPECT_EQ(badSize.errorStr, "width must not be negative");
  EXPECT_EQ(client.Request("RemoveShape", R"({"0":99})", doc.proxyId).errorStr,
            "No shape 99 in Plan");
  ASSERT_TRUE(client.Request("RemoveShape", R"({"0":1})", doc.proxyId).status);
  EXPECT_EQ(client.Request("GetShapeCount", "{}", doc.proxyId).result.GetInt("result"), 1);

  // Opening by title gives the same object; closing makes every reference to it stale.
  EXPECT_EQ(ProxyOf(client.Request("Open", R"({"0":"Plan"})", docs)).proxyId, doc.proxyId);
  EXPECT_FALSE(client.Request("Create", R"({"0":"Plan"})", docs).status);
  ASSERT_TRUE(client.Request("Close", "{\"0\":" + Ref(doc.proxyId) + "}", docs).status);
  const auto gone = client.Request("GetTitle", "{}", doc.proxyId);
  EXPECT_EQ(gone.errorStr, "Unknown object: " + std::to_string(doc.proxyId));
  const auto stale = client.Request("Close", "{\"0\":" + Ref(doc.proxyId) + "}", docs);
  EXPECT_EQ(stale.errorCode, 6);
  EXPECT_EQ(client.Request("Count", "{}", docs).result.GetInt("result"), 0);
}

TEST_F(ReferenceHostTest, BenchFunctionsAnswerCheaply) {
  auto host = Launch();
  PluginClient client(pluginId);
  const int64_t app = ProxyOf(client.Request("GetKestrel")).proxyId;
  const int64_t bench = ProxyOf(client.Request("GetBench", "{}", app)).proxyId;
  EXPECT_EQ(client.Request("Add", R"({"0":2,"1":3})", bench).result.GetInt("result"), 5);
  EXPECT_TRUE(client.Request("Noop", "{}", bench).result.IsEmpty());
  IPC::TableValue list;
  ASSERT_TRUE(list.FromVariantMap(
      client.Request("MakeList", R"({"0":100})", bench).result.GetMap("result")));
  EXPECT_EQ(list.value.GetKeys().size(), 100u);
  const auto text = client.Request("MakeString", R"({"0":200000})", bench);
  ASSERT_TRUE(text.status) << text.errorStr;
  EXPECT_EQ(text.result.GetString("result").size(), 200000u);
  KvVariantMap args;
  args.Set("0", text.result.GetString("result"));
  EXPECT_EQ(client.Request("TakeString", args.ToJSONString(true), bench).result.GetInt("result"),
            200000);
  EXPECT_FALSE(client.Request("MakeList", R"({"0":-1})", bench).status);
}

TEST_F(ReferenceHostTest, StopsCleanlyWhenThePluginUnloads) {
  auto host = Launch();
  PluginClient client(pluginId);
  EXPECT_TRUE(client.Request("UnloadPlugin", "{\"id\":\"" + pluginId + "\"}").status);
  EXPECT_EQ(host->WaitExit(), 0) << host->Stderr();
  EXPECT_NE(host->Stdout().find("hostlink-host: stopped\n"), std::string::npos);
  EXPECT_EQ(host->Stderr(), "");
}

TEST_F(ReferenceHostTest, KeepRunningServesTheNextPlugin) {
  auto host = Launch({"--keep-running"});
  {
    PluginClient client(pluginId);
    EXPECT_TRUE(client.Request("UnloadPlugin", R"({"id":"x"})").status);
  }
  PluginClient next(pluginId);
  ASSERT_TRUE(next.IsConnected());
  EXPECT_TRUE(next.Request("GetKestrel").status) << next.LastResponse();
}

TEST_F(ReferenceHostTest, StopsCleanlyOnSigtermAndSigint) {
  for (int signal : {SIGTERM, SIGINT}) {
    auto host = Launch();
    host->Signal(signal);
    EXPECT_EQ(host->WaitExit(), 0);
    EXPECT_NE(host->Stdout().find("hostlink-host: stopped"), std::string::npos);
  }
}

TEST_F(ReferenceHostTest, ExplainsItselfAndRefusesBadArguments) {
  HostProcess help({"--help"});
  EXPECT_EQ(help.WaitExit(), 0);
  EXPECT_EQ(help.Stdout().rfind("Usage: hostlink-host --plugin-id ID", 0), 0u);
  HostProcess none({});
  EXPECT_EQ(none.WaitExit(), 2);
  EXPECT_NE(none.Stderr().find("--plugin-id is required"), std::string::npos);
  HostProcess badTick({"--plugin-id", pluginId, "--tick", "soon"});
  EXPECT_EQ(badTick.WaitExit(), 2);
}

TEST_F(ReferenceHostTest, ASecondHostForTheSameIdentifierExitsWithAnError) {
  auto first = Launch();
  HostProcess second({"--plugin-id", pluginId});
  EXPECT_EQ(second.WaitExit(), 1);
  EXPECT_NE(second.Stderr().find("cannot serve plug-in " + pluginId), std::string::npos);
}

TEST_F(ReferenceHostTest, TickFiresWhileRegistered) {
  auto host = Launch({"--tick", "20"});
  PluginClient client(pluginId);
  ASSERT_TRUE(client.Request("RegisterCallback", R"({"0":"Tick"})").status);
  ASSERT_TRUE(client.OpenCallbacks());
  EXPECT_EQ(client.ReadCallback(10000), R"({"response":{"status":true,"result":"Tick"}})");
}

TEST_F(ReferenceHostTest, APluginKilledWithoutCleanUpLeavesNoRegistrationsBehind) {
  auto host = Launch({"--tick", "20"});
  int ready[2];
  ASSERT_EQ(pipe(ready), 0);
  // The first plug-in is a process of its own, killed while it holds every callback slot
  // and the callback pipe.
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    PluginClient doomed(pluginId);
    bool ok = doomed.IsConnected();
    for (size_t i = 0; ok && i < Host::RequestDispatcher::kMaxCallbacks; ++i) {
      ok = doomed.Request("RegisterCallback", R"({"0":"Filler)" + std::to_string(i) + "\"}")
               .status;
    }
    ok = ok && doomed.OpenCallbacks();
    const char answer = ok ? '1' : '0';
    if (write(ready[1], &answer, 1) != 1) _exit(1);
    pause();
    _exit(0);
  }
  close(ready[1]);
  char answer = 0;
  ASSERT_EQ(read(ready[0], &answer, 1), 1);
  close(ready[0]);
  kill(child, SIGKILL);
  waitpid(child, nullptr, 0);
  ASSERT_EQ(answer, '1');

  PluginClient next(pluginId);
  ASSERT_TRUE(next.IsConnected());
  ASSERT_TRUE(next.Request("RegisterCallback", R"({"0":"Tick"})").status) << next.LastResponse();
  ASSERT_TRUE(next.OpenCallbacks());
  EXPECT_EQ(next.ReadCallback(10000), R"({"response":{"status":true,"result":"Tick"}})");
}

TEST_F(ReferenceHostTest, BenchFiresLaterAndReportsWhen) {
  auto host = Launch();
  PluginClient client(pluginId);
  const int64_t app = ProxyOf(client.Request("GetKestrel")).proxyId;
  const int64_t bench = ProxyOf(client.Request("GetBench", "{}", app)).proxyId;
  ASSERT_TRUE(client.Request("RegisterCallback", R"({"0":"Ping"})").status);
  ASSERT_TRUE(client.OpenCallbacks());

  const auto before = std::chrono::steady_clock::now().time_since_epoch();
  ASSERT_TRUE(client.Request("FireAfter", R"({"0":"Ping","1":20})", bench).status);
  ASSERT_TRUE(client.Request("FireAfter", R"({"0":"Unregistered","1":0})", bench).status);
  EXPECT_EQ(client.ReadCallback(5000), R"({"response":{"status":true,"result":"Ping"}})");
  EXPECT_FALSE(client.Request("FireAfter", R"({"0":"Ping","1":-1})", bench).status);

  // Both fires are timed, the unregistered one too (it was due, just not sent), on the
  // clock the plug-in side reads; the first no earlier than its delay.
  const auto times = client.Request("TakeFireTimes", "{}", bench);
  IPC::TableValue list;
  ASSERT_TRUE(list.FromVariantMap(times.result.GetMap("result")));
  ASSERT_EQ(list.value.GetKeys().size(), 2u);
  const double first = list.value.GetDouble("0");
  const double beforeUs = std::chrono::duration<double, std::micro>(before).count();
  EXPECT_GE(first, beforeUs + 20000);
  EXPECT_GE(list.value.GetDouble("1"), first);
  ASSERT_TRUE(
      list.FromVariantMap(client.Request("TakeFireTimes", "{}", bench).result.GetMap("result")));
  EXPECT_TRUE(list.value.IsEmpty());
}

TEST_F(ReferenceHostTest, ControlModeScriptsAnswersAndRecordsRequests) {
  char pattern[] = "/tmp/hostlink-control-XXXXXX";
  ASSERT_NE(mkdtemp(pattern), nullptr);
  const std::string folder = pattern;
  auto host = Launch({"--control", folder});
  Control control(folder);
  PluginClient client(pluginId, 300);
  std::string response;

  const std::string raw("\x00 raw \xff reply", 13);
  EXPECT_TRUE(control.Command("reply", R"("data":")" + Base64(raw) + "\"").GetBool("ok"));
  ASSERT_TRUE(client.Exchange("first, not json", response));
  EXPECT_EQ(response, raw);

  control.Command("noReply", R"("count":2)");
  EXPECT_FALSE(client.Exchange("second", response));
  EXPECT_FALSE(client.Exchange("third", response));
  ASSERT_TRUE(client.Exchange(R"({"request":{"name":"GetKestrel"}})", response));
  EXPECT_NE(response.find(R"("name":"Application")"), std::string::npos);

  control.Command("drop");
  EXPECT_FALSE(client.Exchange(R"({"request":{"name":"GetKestrel"}})", response));
  EXPECT_TRUE(control.Command("listen").GetBool("result"));
  ASSERT_TRUE(
      client.Exchange(R"({"request":{"name":"SetAPITimeout","args":{"timeout":300}}})", response));

  control.Command("answer", R"("delay":50)");
  ASSERT_TRUE(
      client.Exchange(R"({"request":{"name":"RegisterCallback","args":{"0":"Ping"}}})", response));
  EXPECT_FALSE(control.Command("fire", R"("name":"Other")").GetBool("result"));
  ASSERT_TRUE(client.OpenCallbacks());
  EXPECT_TRUE(control.Command("fire", R"("name":"Ping")").GetBool("result"));
  EXPECT_EQ(client.ReadCallback(5000), R"({"response":{"status":true,"result":"Ping"}})");
  EXPECT_TRUE(
      control.Command("callbackText", R"("data":")" + Base64("odd") + "\"").GetBool("result"));
  EXPECT_EQ(client.ReadCallback(5000), "odd");

  control.Command("noReply", R"("count":3)");
  control.Command("clear");
  const KvVariantMap status = control.Command("status").GetMap("result");
  EXPECT_EQ(status.GetStringList("callbacks"), std::vector<std::string>{"Ping"});
  EXPECT_EQ(status.GetUInt("apiTimeout"), 300u);
  EXPECT_EQ(status.GetUInt("pending"), 0u);
  EXPECT_EQ(status.GetUInt("requests"), 7u);
  EXPECT_FALSE(control.Command("frobnicate").GetBool("ok"));

  const std::vector<std::string> requests = control.Requests();
  ASSERT_EQ(requests.size(), 7u);
  EXPECT_EQ(requests[0], "first, not json");
  EXPECT_EQ(requests[1], "second");
  EXPECT_EQ(requests[3], R"({"request":{"name":"GetKestrel"}})");
  EXPECT_EQ(requests[6], R"({"request":{"name":"RegisterCallback","args":{"0":"Ping"}}})");

  EXPECT_TRUE(control.Command("stop").GetBool("ok"));
  EXPECT_EQ(host->WaitExit(), 0) << host->Stderr();
  std::filesystem::remove_all(folder);
}

}  // namespace
