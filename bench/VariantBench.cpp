// Variant map micro-benchmarks: building a message-sized map, and writing, parsing,
// guarding and copying a 10 KB document.
#include <benchmark/benchmark.h>

#include <string>

#include "variant/JsonGuard.h"
#include "variant/KvVariantMap.h"

namespace {

using IPC::KvVariantMap;

// The shape of one proxy call: a few converted arguments, wrapped as a request.
KvVariantMap BuildRequest(int64_t requestId) {
  KvVariantMap table;
  table.Set("x", 12.5);
  table.Set("y", -3);
  KvVariantMap args;
  args.Set("0", std::string("Layer 1"));
  args.Set("1", 42);
  args.Set("2", true);
  args.Set("3", table);
  KvVariantMap body;
  body.Set("requestId", static_cast<uint64_t>(requestId));
  body.Set("name", "GetObjectByName");
  body.Set("args", args);
  body.Set("proxyId", std::string("0x00007ff6a1b2c3d4"));
  KvVariantMap request;
  request.Set("request", body);
  return request;
}

// About 10 KB of compact text: a list of records with strings, numbers and flags.
KvVariantMap BuildDocument() {
  std::vector<KvVariantMap> items;
  for (int i = 0; items.size() < 135; ++i) {
    KvVariantMap item;
    item.Set("id", i);
    item.Set("name", "object-" + std::to_string(i));
    item.Set("visible", i % 2 == 0);
    item.Set("scale", 0.25 * i);
    item.Set("tags", std::vector<std::string>{"a", "bb"});
    items.push_back(item);
  }
  KvVariantMap map;
  map.Set("items", items);
  return map;
}

void BM_BuildRequestMap(benchmark::State& state) {
  int64_t id = 1700000000000;
  for (auto _ : state) benchmark::DoNotOptimize(BuildRequest(id++));
}
BENCHMARK(BM_BuildRequestMap);

void BM_BuildAndWriteRequest(benchmark::State& state) {
  int64_t id = 1700000000000;
  for (auto _ : state) benchmark::DoNotOptimize(BuildRequest(id++).ToJSONString(true));
}
BENCHMARK(BM_BuildAndWriteRequest);

void BM_ParseRequest(benchmark::State& state) {
  const std::string text = BuildRequest(1700000000000).ToJSONString(true);
  for (auto _ : state) {
    KvVariantMap map(text);
    benchmark::DoNotOptimize(map.GetMap("request").GetString("name"));
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}
BENCHMARK(BM_ParseRequest);

void BM_Write10KB(benchmark::State& state) {
  const KvVariantMap map = BuildDocument();
  const bool compact = state.range(0) != 0;
  std::size_t size = 0;
  for (auto _ : state) {
    std::string text = map.ToJSONString(compact);
    size = text.size();
    benchmark::DoNotOptimize(text);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * size));
  state.counters["bytes"] = static_cast<double>(size);
}
BENCHMARK(BM_Write10KB)->Arg(1)->Arg(0);

void BM_Append10KBIntoReusedBuffer(benchmark::State& state) {
  const KvVariantMap map = BuildDocument();
  std::string out;
  for (auto _ : state) {
    out.clear();
    map.AppendJSONString(out, true);
    benchmark::DoNotOptimize(out.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * out.size()));
}
BENCHMARK(BM_Append10KBIntoReusedBuffer);

void BM_Parse10KB(benchmark::State& state) {
  const std::string text = BuildDocument().ToJSONString(true);
  for (auto _ : state) {
    KvVariantMap map(text);
    benchmark::DoNotOptimize(map.GetListSize("items"));
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}
BENCHMARK(BM_Parse10KB);

void BM_Guard10KB(benchmark::State& state) {
  const std::string text = BuildDocument().ToJSONString(true);
  for (auto _ : state) benchmark::DoNotOptimize(IPC::JsonGuard::Accepts(text.data(), text.size()));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}
BENCHMARK(BM_Guard10KB);

void BM_Copy10KB(benchmark::State& state) {
  const KvVariantMap map = BuildDocument();
  for (auto _ : state) {
    KvVariantMap copy(map);
    benchmark::DoNotOptimize(copy.IsValid());
  }
}
BENCHMARK(BM_Copy10KB);

}  // namespace

BENCHMARK_MAIN();
