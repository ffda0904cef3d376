// Compressing one message: the short-text encoder against libbzip2 with its working memory
// kept between streams (as the channel's codec keeps it), from a 64-byte text to 16 KB, and
// the channel codec itself on a typical request and answer, and the codec decompressing.
#include <benchmark/benchmark.h>
#include <bzlib.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "transport/Bzip2Codec.h"
#include "transport/SmallBzip2Encoder.h"

namespace {

// The texts of a trivial call (82 and 74 bytes with their NULs).
const std::string kRequest =
    R"({"request":{"requestId":1733600000123,"name":"GetName","args":{},"proxyId":1024}})";
const std::string kAnswer =
    R"({"response":{"requestId":1733600000123,"status":true,"result":"Layer 1"}})";

// Compact JSON that is `size` bytes with its NUL: records with names, numbers and flags.
std::string TextOf(size_t size) {
  std::string text = "{\"items\":[";
  for (int i = 0; text.size() < size; ++i) {
    std::string item = "{\"id\":" + std::to_string(i * 7919 % 1000) + ",\"name\":\"object-" +
                       std::to_string(i) + "\",\"visible\":" + (i % 3 ? "true" : "false") + "},";
    text += item;
  }
  text.resize(size - 3);
  return text + "]}";
}

// libbzip2's allocations served from blocks kept across streams.
struct KeptMemory {
  std::vector<std::pair<void*, size_t>> blocks;
  std::vector<bool> used;
  ~KeptMemory() {
    for (auto& block : blocks) std::free(block.first);
  }
  static void* Allocate(void* self, int items, int size) {
    auto* kept = static_cast<KeptMemory*>(self);
    const size_t bytes = static_cast<size_t>(items) * size;
    for (size_t i = 0; i < kept->blocks.size(); ++i) {
      if (!kept->used[i] && kept->blocks[i].second == bytes) {
        kept->used[i] = true;
        return kept->blocks[i].first;
      }
    }
    kept->blocks.emplace_back(std::malloc(bytes), bytes);
    kept->used.push_back(true);
    return kept->blocks.back().first;
  }
  static void Release(void* self, void* memory) {
    auto* kept = static_cast<KeptMemory*>(self);
    for (size_t i = 0; i < kept->blocks.size(); ++i) {
      if (kept->blocks[i].first == memory) kept->used[i] = false;
    }
  }
};

void LibraryCompress(benchmark::State& state, const std::string& text) {
  KeptMemory kept;
  std::string out(text.size() * 2 + 600, '\0');
  unsigned int produced = 0;
  for (auto _ : state) {
    bz_stream bz{};
    bz.bzalloc = &KeptMemory::Allocate;
    bz.bzfree = &KeptMemory::Release;
    bz.opaque = &kept;
    BZ2_bzCompressInit(&bz, 9, 0, 0);
    bz.next_in = const_cast<char*>(text.c_str());
    bz.avail_in = static_cast<unsigned int>(text.size() + 1);
    bz.next_out = &out[0];
    bz.avail_out = static_cast<unsigned int>(out.size());
    if (BZ2_bzCompress(&bz, BZ_FINISH) != BZ_STREAM_END) state.SkipWithError("library failed");
    produced = bz.total_out_lo32;
    benchmark::DoNotOptimize(produced);
    BZ2_bzCompressEnd(&bz);
  }
  state.counters["stream_bytes"] = produced;
}
void BM_LibraryCompress(benchmark::State& state) {
  LibraryCompress(state, TextOf(static_cast<size_t>(state.range(0))));
}
BENCHMARK(BM_LibraryCompress)->Arg(64)->Arg(256)->Arg(1024)->Arg(2048)->Arg(4096)->Arg(16384);

void SmallEncoderCompress(benchmark::State& state, const std::string& text) {
  IPC::SmallBzip2Encoder encoder;
  std::vector<unsigned char> out(text.size() * 2 + 600);
  size_t size = 0;
  for (auto _ : state) {
    size = encoder.Encode(reinterpret_cast<const unsigned char*>(text.c_str()), text.size() + 1,
                          out.data(), out.size());
    if (size == 0) state.SkipWithError("encoder failed");
    benchmark::DoNotOptimize(size);
  }
  state.counters["stream_bytes"] = static_cast<double>(size);
}
void BM_SmallEncoderCompress(benchmark::State& state) {
  SmallEncoderCompress(state, TextOf(static_cast<size_t>(state.range(0))));
}
// Up to the 2 KB it takes (SmallBzip2Encoder::kMaxLength).
BENCHMARK(BM_SmallEncoderCompress)->Arg(64)->Arg(256)->Arg(1024)->Arg(2048);

void CodecCompress(benchmark::State& state, const std::string& text) {
  IPC::Bzip2Codec codec;
  std::string stream;
  for (auto _ : state) {
    if (codec.Compress(text, stream) != BZ_OK) state.SkipWithError("codec failed");
    benchmark::DoNotOptimize(stream.data());
  }
  state.counters["stream_bytes"] = static_cast<double>(stream.size());
}
// A request and an answer: libbzip2 alone (the codec before short texts had their own
// compressor), and the codec as it is.
void BM_LibraryCompressRequest(benchmark::State& state) { LibraryCompress(state, kRequest); }
void BM_LibraryCompressAnswer(benchmark::State& state) { LibraryCompress(state, kAnswer); }
void BM_CodecCompressRequest(benchmark::State& state) { CodecCompress(state, kRequest); }
void BM_CodecCompressAnswer(benchmark::State& state) { CodecCompress(state, kAnswer); }
BENCHMARK(BM_LibraryCompressRequest);
BENCHMARK(BM_LibraryCompressAnswer);
BENCHMARK(BM_CodecCompressRequest);
BENCHMARK(BM_CodecCompressAnswer);

// Decompressing one message with the codec: its own decoder up to 2 KB, libbzip2 above,
// where what the own decoder spends before it declines is paid on every longer message.
void BM_CodecDecompress(benchmark::State& state) {
  IPC::Bzip2Codec codec;
  const std::string text = TextOf(static_cast<size_t>(state.range(0)));
  std::string stream;
  if (codec.Compress(text, stream) != BZ_OK) state.SkipWithError("codec failed");
  std::string decoded;
  int status = 0;
  for (auto _ : state) {
    if (!codec.Decompress(stream.data(), stream.size(), decoded, status)) {
      state.SkipWithError("codec failed");
    }
    benchmark::DoNotOptimize(decoded.data());
  }
}
BENCHMARK(BM_CodecDecompress)->Arg(64)->Arg(256)->Arg(1024)->Arg(2048)->Arg(4096)->Arg(8192)->Arg(16384);

}  // namespace

BENCHMARK_MAIN();
