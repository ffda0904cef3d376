// Tells a host which of its objects the plug-in let go: once the last JavaScript proxy of
// a host object is garbage-collected, its identifier and the number of descriptions of it
// received are queued, and sent in one "ReleaseObjects" request when a batch fills or
// shortly after. Only with a host whose root description announced "release".
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include <napi.h>

namespace Hostlink {

class ReleaseBatcher {
 public:
  static constexpr size_t kBatchSize = 256;
  static constexpr std::chrono::milliseconds kBatchDelay{20};

  // The one batcher of the process, as the connection is; never destroyed.
  static ReleaseBatcher& Instance();

  // The root object's description arrived: whether its host takes releases.
  void NoteRootFeatures(const std::vector<std::string>& features);
  // A new proxy object for proxyId, made from a description the host sent: counted, and
  // watched until it is collected. Nothing when the host did not announce releases.
  void Track(Napi::Env env, Napi::Object proxy, int64_t proxyId);
  // The connection ended or a new one begins: what was counted for it is dropped, and
  // proxies of it collected later are not reported.
  void Reset();

 private:
  ReleaseBatcher() = default;

  struct Count {
    uint64_t live = 0;
    uint64_t received = 0;
  };
  struct Watch;

  static void Finalize(napi_env env, void* data, void* hint);
  void Collected(int64_t proxyId, uint64_t generation);
  // The sender thread's loop: waits for a batch to fill or to age, then submits it.
  void RunFlusher();
  void Submit(std::vector<std::pair<int64_t, uint64_t>> batch, uint64_t generation);

  std::mutex lock_;
  std::condition_variable queued_;
  bool announced_ = false;
  uint64_t generation_ = 0;
  std::unordered_map<int64_t, Count> counts_;
  std::vector<std::pair<int64_t, uint64_t>> batch_;
  std::chrono::steady_clock::time_point firstQueued_;
  bool flusherStarted_ = false;
};

}  // namespace Hostlink
