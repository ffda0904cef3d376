// An in-memory channel whose opens, writes and time limits can be counted and made to
// fail on demand, for the handler rules no real socket can be forced into.
#pragma once

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "transport/IPCInterface.h"

namespace IPCTest {

// Outlives the channel, so a test can inspect it after the handler destroyed it.
struct FakeChannelRecord {
  std::mutex lock;
  std::condition_variable changed;
  int opens = 0;
  bool destroyed = false;
  bool openSucceeds = true;
  bool writeSucceeds = true;
  std::deque<std::string> incoming;
  std::vector<std::string> written;
  std::vector<uint32_t> readLimits;

  void Deliver(std::string message) {
    std::lock_guard<std::mutex> guard(lock);
    incoming.push_back(std::move(message));
    changed.notify_all();
  }

  // Waits (generously) until `count` writes were attempted.
  bool WaitForWrites(size_t count) {
    std::unique_lock<std::mutex> guard(lock);
    return changed.wait_for(guard, std::chrono::seconds(10),
                            [&] { return written.size() >= count; });
  }
};

class FakeChannel : public IPC::IPCInterface {
 public:
  FakeChannel(std::string name, int32_t mode, std::shared_ptr<FakeChannelRecord> record)
      : IPCInterface(std::move(name), mode), record_(std::move(record)) {}

  ~FakeChannel() override {
    std::lock_guard<std::mutex> guard(record_->lock);
    record_->destroyed = true;
  }

  bool Open(uint32_t) override {
    std::lock_guard<std::mutex> guard(record_->lock);
    ++record_->opens;
    return record_->openSucceeds;
  }

  // Waits for a delivered message, but never longer than 100 ms whatever the limit, so
  // that a limit of 0xFFFFFFFF can be recorded without blocking a test.
  bool Read(std::string& message, uint32_t timeoutMs) override {
    message.clear();
    std::unique_lock<std::mutex> guard(record_->lock);
    record_->readLimits.push_back(timeoutMs);
    record_->changed.notify_all();
    const auto wait = std::chrono::milliseconds(std::min<uint32_t>(timeoutMs, 100));
    if (!record_->changed.wait_for(guard, wait, [&] { return !record_->incoming.empty(); })) {
      return false;
    }
    message = std::move(record_->incoming.front());
    record_->incoming.pop_front();
    return true;
  }

  bool Write(const std::string& message, uint32_t) override {
    std::lock_guard<std::mutex> guard(record_->lock);
    record_->written.push_back(message);
    record_->changed.notify_all();
    return record_->writeSucceeds;
  }

  void Close() override {}

 private:
  std::shared_ptr<FakeChannelRecord> record_;
};

inline std::unique_ptr<FakeChannel> MakeFakeChannel(const std::string& name, int32_t mode,
                                                    const std::shared_ptr<FakeChannelRecord>& r) {
  return std::make_unique<FakeChannel>(name, mode, r);
}

}  // namespace IPCTest
