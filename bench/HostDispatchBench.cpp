// The host's cost per request without the pipe: parse, dispatch, decode arguments,
// call, encode the result and write the response text.
#include <benchmark/benchmark.h>

#include <memory>
#include <string>

#include "host/HostObject.h"
#include "host/RequestDispatcher.h"
#include "ipc/RequestMessage.h"

namespace {

struct Fixture {
  Fixture() {
    root = std::make_shared<Host::HostObject>("Bench");
    root->Define("Noop", [](const Host::Arguments&) { return Host::Result(); });
    root->Define("Add", [](const Host::Arguments& args) -> Host::Result {
      return args.GetInt(0) + args.GetInt(1);
    });
    root->Define("MakeList", [](const Host::Arguments& args) -> Host::Result {
      Host::ValueList list;
      for (int64_t i = 0; i < args.GetInt(0); ++i) {
        list.push_back(Host::Value::Map({{"index", i}, {"name", "item"}, {"value", i * 0.5}}));
      }
      return Host::Value(std::move(list));
    });
    root->Define("TakeTable", [](const Host::Arguments& args) -> Host::Result {
      return static_cast<int64_t>(args.GetMap(0).size());
    });
    dispatcher.SetRoot(root);
  }

  std::string Request(const std::string& name, const std::string& argsJson) {
    IPC::RequestMessage request(name, IPC::KvVariantMap(argsJson), root->GetProxyId());
    return request.ToJSONString();
  }

  Host::ObjectRegistry registry;
  Host::RequestDispatcher dispatcher{registry};
  std::shared_ptr<Host::HostObject> root;
};

void Run(benchmark::State& state, const std::string& name, const std::string& argsJson) {
  Fixture fixture;
  const std::string request = fixture.Request(name, argsJson);
  std::string response;
  for (auto _ : state) {
    fixture.dispatcher.Dispatch(request, response);
    benchmark::DoNotOptimize(response.data());
  }
  state.counters["response_bytes"] = static_cast<double>(response.size());
}

void BM_GetKestrel(benchmark::State& state) {
  Fixture fixture;
  const std::string request = R"({"request":{"requestId":1,"name":"GetKestrel"}})";
  std::string response;
  for (auto _ : state) {
    fixture.dispatcher.Dispatch(request, response);
    benchmark::DoNotOptimize(response.data());
  }
}
BENCHMARK(BM_GetKestrel);

void BM_Noop(benchmark::State& state) { Run(state, "Noop", "{}"); }
BENCHMARK(BM_Noop);

void BM_Add(benchmark::State& state) { Run(state, "Add", R"({"0":2,"1":3})"); }
BENCHMARK(BM_Add);

void BM_MakeList(benchmark::State& state) {
  Run(state, "MakeList", R"({"0":)" + std::to_string(state.range(0)) + "}");
}
BENCHMARK(BM_MakeList)->Arg(10)->Arg(100)->Arg(1000);

void BM_TakeTable(benchmark::State& state) {
  std::string table = R"({"0":{"type":"table","value":{)";
  for (int i = 0; i < state.range(0); ++i) {
    table += (i ? "," : "") + std::string("\"k") + std::to_string(i) + "\":" + std::to_string(i);
  }
  table += "}}}";
  Run(state, "TakeTable", table);
}
BENCHMARK(BM_TakeTable)->Arg(10)->Arg(100)->Arg(1000);

}  // namespace

BENCHMARK_MAIN();
