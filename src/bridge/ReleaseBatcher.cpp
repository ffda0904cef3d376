// Counting received descriptions per host object, watching their proxies, and sending the
// releases through the request queue as requests nobody waits for.
#include "bridge/ReleaseBatcher.h"

#include <algorithm>
#include <memory>
#include <thread>

#include "bridge/RequestQueue.h"
#include "ipc/RequestMessage.h"
#include "variant/KvVariantMap.h"

namespace Hostlink {

namespace {

// A "ReleaseObjects" request: sent in its turn; its answer is not read.
class ReleaseRequest : public QueuedRequest {
 public:
  explicit ReleaseRequest(std::string text) : text_(std::move(text)) {}
  bool Claim() override { return true; }
  const std::string& Text() const override { return text_; }
  void Finish(ExchangeOutcome, std::string) override {}

 private:
  std::string text_;
};

}  // namespace

struct ReleaseBatcher::Watch {
  int64_t proxyId;
  uint64_t generation;
};

ReleaseBatcher& ReleaseBatcher::Instance() {
  // Never destroyed: finalizers of proxies run as late as the environment's teardown.
  static ReleaseBatcher* const instance = new ReleaseBatcher();
  return *instance;
}

void ReleaseBatcher::NoteRootFeatures(const std::vector<std::string>& features) {
  std::lock_guard<std::mutex> guard(lock_);
  announced_ = std::find(features.begin(), features.end(), "release") != features.end();
}

void ReleaseBatcher::Track(Napi::Env env, Napi::Object proxy, int64_t proxyId) {
  uint64_t generation;
  {
    std::lock_guard<std::mutex> guard(lock_);
    if (!announced_) {
      return;
    }
    generation = generation_;
  }
  auto watch = std::make_unique<Watch>(Watch{proxyId, generation});
  if (napi_add_finalizer(env, proxy, watch.get(), Finalize, nullptr, nullptr) != napi_ok) {
    return;  // not watched, so not counted: the host keeps the object for the connection
  }
  watch.release();
  std::lock_guard<std::mutex> guard(lock_);
  if (generation == generation_) {
    Count& count = counts_[proxyId];
    ++count.live;
    ++count.received;
  }
}

void ReleaseBatcher::Reset() {
  std::lock_guard<std::mutex> guard(lock_);
  ++generation_;
  announced_ = false;
  counts_.clear();
  batch_.clear();
}

void ReleaseBatcher::Finalize(napi_env /*env*/, void* data, void* /*hint*/) {
  std::unique_ptr<Watch> watch(static_cast<Watch*>(data));
  Instance().Collected(watch->proxyId, watch->generation);
}

void ReleaseBatcher::Collected(int64_t proxyId, uint64_t generation) {
  std::lock_guard<std::mutex> guard(lock_);
  if (generation != generation_) {
    return;  // a proxy of an earlier connection
  }
  auto found = counts_.find(proxyId);
  if (found == counts_.end() || --found->second.live > 0) {
    return;
  }
  if (batch_.empty()) {
    firstQueued_ = std::chrono::steady_clock::now();
  }
  batch_.emplace_back(proxyId, found->second.received);
  counts_.erase(found);
  if (!flusherStarted_) {
    // One thread for the life of the process, parked on the condition when idle.
    std::thread([this] { RunFlusher(); }).detach();
    flusherStarted_ = true;
  }
  if (batch_.size() == 1 || batch_.size() >= kBatchSize) {
    queued_.notify_one();
  }
}

void ReleaseBatcher::RunFlusher() {
  std::unique_lock<std::mutex> guard(lock_);
  for (;;) {
    queued_.wait(guard, [this] { return !batch_.empty(); });
    queued_.wait_until(guard, firstQueued_ + kBatchDelay,
                       [this] { return batch_.size() >= kBatchSize || batch_.empty(); });
    if (batch_.empty()) {
      continue;  // a Reset dropped it
    }
    std::vector<std::pair<int64_t, uint64_t>> batch;
    if (batch_.size() > kBatchSize) {
      batch.assign(batch_.begin(), batch_.begin() + kBatchSize);
      batch_.erase(batch_.begin(), batch_.begin() + kBatchSize);
      firstQueued_ = std::chrono::steady_clock::now();
    } else {
      batch.swap(batch_);
    }
    const uint64_t generation = generation_;
    guard.unlock();
    try {
      Submit(std::move(batch), generation);
    } catch (...) {
      // Out of memory: these releases are lost, and the host keeps those objects until
      // the connection ends, which is all a lost release costs.
    }
    guard.lock();
  }
}

void ReleaseBatcher::Submit(std::vector<std::pair<int64_t, uint64_t>> batch,
                            uint64_t generation) {
  // {"0":{"type":"table","value":{"<proxyId>":<count>,...}}}
  std::string args = R"({"0":{"type":"table","value":{)";
  for (size_t i = 0; i < batch.size(); ++i) {
    if (i > 0) {
      args += ',';
    }
    args += '"' + std::to_string(batch[i].first) + "\":" + std::to_string(batch[i].second);
  }
  args += "}}}";
  std::string text =
      IPC::RequestMessage("ReleaseObjects", IPC::KvVariantMap(args), -1).ToJSONString();
  {
    std::lock_guard<std::mutex> guard(lock_);
    if (generation != generation_) {
      return;  // the connection changed meanwhile: these ids mean nothing to the new host
    }
  }
  RequestQueue::Instance().Submit(std::make_shared<ReleaseRequest>(std::move(text)));
}

}  // namespace Hostlink
