// The callback receiver's loop.
#include "ipc/CallbackReceiver.h"

#include <thread>

#include "base/Log.h"
#include "base/Trace.h"

namespace IPC {

bool CallbackReceiver::Start(IPCInterface& channel, CallbackProcessor* processor, bool lent) {
  lent_.store(lent, std::memory_order_release);
  processor_ = processor;
  {
    std::lock_guard<std::mutex> guard(handedLock_);
    bool waiting = false;
    handedOn_ = channel.TakenMessages(waiting);
    receiving_ = true;
  }
  if (worker_.Start([this, &channel, processor] { Receive(channel, processor); })) {
    return true;
  }
  std::lock_guard<std::mutex> guard(handedLock_);
  receiving_ = false;
  return false;
}

void CallbackReceiver::TakeBack() {
  {
    std::lock_guard<std::mutex> hold(readLock_);
    lent_.store(false, std::memory_order_release);
  }
  std::lock_guard<std::mutex> guard(worker_.Lock());
  worker_.Wake();
}

bool CallbackReceiver::ReadWaiting(IPCInterface& channel, CallbackProcessor* processor) {
  std::lock_guard<std::mutex> hold(readLock_);
  if (!lent_.load(std::memory_order_acquire)) {
    return false;
  }
  if (HandOnWaiting(channel, processor)) {
    return true;
  }
  lent_.store(false, std::memory_order_release);
  worker_.Wake();
  return false;
}

bool CallbackReceiver::HandOnWaiting(IPCInterface& channel, CallbackProcessor* processor) {
  std::string message;
  for (int i = 0; i < kMostPerRead; ++i) {
    if (!channel.ReadIfWaiting(message)) {
      if (channel.LastError() == ChannelError::Timeout) {
        return true;  // nothing (more) waits
      }
      HandedOn(channel);
      return false;
    }
    Process(channel, processor, message);
    HandedOn(channel);
  }
  return true;
}

void CallbackReceiver::StandBy(IPCInterface& channel, CallbackProcessor* processor) {
  uint64_t takenBefore = ~uint64_t{0};
  while (!worker_.StopRequested() && lent_.load(std::memory_order_acquire)) {
    worker_.WaitUntil(std::chrono::steady_clock::now() + kStandByTurn,
                      [this] { return !lent_.load(std::memory_order_acquire); });
    std::lock_guard<std::mutex> hold(readLock_);
    if (worker_.StopRequested() || !lent_.load(std::memory_order_acquire)) {
      return;
    }
    bool waiting = false;
    const uint64_t taken = channel.TakenMessages(waiting);
    // A message waits, and none was taken for a whole turn: the loop's thread is busy.
    if (waiting && taken == takenBefore && !HandOnWaiting(channel, processor)) {
      lent_.store(false, std::memory_order_release);
      return;
    }
    takenBefore = channel.TakenMessages(waiting);
  }
}

void CallbackReceiver::Stop() {
  {
    std::lock_guard<std::mutex> guard(handedLock_);
    receiving_ = false;
    handedChanged_.notify_all();
  }
  worker_.Stop();
}

void CallbackReceiver::HandedOn(IPCInterface& channel) {
  const uint64_t taken = channel.TakenCount();
  std::lock_guard<std::mutex> guard(handedLock_);
  handedOn_ = taken;
  if (catchingUp_ > 0) {
    handedChanged_.notify_all();
  }
}

void CallbackReceiver::CatchUp(IPCInterface& channel) {
  {
    // Lent: whoever catches up takes what waits itself.
    std::lock_guard<std::mutex> hold(readLock_);
    if (lent_.load(std::memory_order_acquire)) {
      if (!HandOnWaiting(channel, processor_)) {
        lent_.store(false, std::memory_order_release);
        worker_.Wake();
      }
      return;
    }
  }
  const auto giveUp = std::chrono::steady_clock::now() + kCatchUpLimit;
  std::unique_lock<std::mutex> guard(handedLock_);
  ++catchingUp_;
  while (receiving_) {
    guard.unlock();
    bool waiting = false;
    const uint64_t taken = channel.TakenMessages(waiting);
    guard.lock();
    // What waits in the pipe now is taken next: its hand-on moves the count past `taken`.
    const uint64_t target = taken + (waiting ? 1 : 0);
    if (handedOn_ >= target && !waiting) {
      break;
    }
    if (!handedChanged_.wait_until(guard, giveUp,
                                   [&] { return !receiving_ || handedOn_ >= target; })) {
      break;
    }
  }
  --catchingUp_;
}

void CallbackReceiver::Receive(IPCInterface& channel, CallbackProcessor* processor) {
  StandBy(channel, processor);
  std::string message;
  while (!worker_.StopRequested()) {
    const auto turnEnd =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(kReadTimeoutMs);
    if (!channel.Read(message, kReadTimeoutMs)) {
      HandedOn(channel);
      // A read that gave up before its limit found the pipe gone and could not reopen it
      // (and logged so): the rest of the turn is waited out, so that a host that went away
      // is looked for ten times a second rather than a thousand.
      worker_.WaitUntil(turnEnd, [] { return false; });
      continue;
    }
    if (worker_.StopRequested()) {
      return;
    }
    Process(channel, processor, message);
    HandedOn(channel);
  }
}

void CallbackReceiver::Process(IPCInterface& channel, CallbackProcessor* processor,
                               const std::string& message) {
  if (TraceOn()) {
    TraceMessage(TraceDirection::Callback, channel.Name(), channel.LastReadSizes().compressed,
                 message, std::chrono::steady_clock::duration::zero());
  }
  if (processor == nullptr) {
    LogError("IPCHandler : Failed to process callback message, no processor available",
             channel.Name(), channel.GetMode());
    return;
  }
  processor->ProcessCallbackMessage(message);
  if (lent_.load(std::memory_order_acquire)) {
    return;  // an event loop's thread, or one standing in for it: no one to yield to
  }
  // The processor has woken the thread that runs the callback; where it shares this CPU,
  // it runs now rather than after this thread has gone back to sleep in the pipe. On a
  // busy machine a yield queues this thread behind every CPU-bound process for a whole
  // time slice, so one that cost that much is not made again for a while.
  if (yield_.Next() != AdaptiveSpin::Clock::duration::zero()) {
    const auto before = AdaptiveSpin::Clock::now();
    std::this_thread::yield();
    if (AdaptiveSpin::Clock::now() - before > kYieldCost) {
      yield_.Missed();
    } else {
      yield_.Paid();
    }
  }
}

}  // namespace IPC
