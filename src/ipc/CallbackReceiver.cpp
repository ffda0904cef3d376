// The callback receiver's loop.
#include "ipc/CallbackReceiver.h"

#include <thread>

#include "base/Log.h"
#include "base/Trace.h"

namespace IPC {

bool CallbackReceiver::Start(IPCInterface& channel, CallbackProcessor* processor) {
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

void CallbackReceiver::Stop() {
  {
    std::lock_guard<std::mutex> guard(handedLock_);
    receiving_ = false;
    handedChanged_.notify_all();
  }
  worker_.Stop();
}

void CallbackReceiver::HandedOn(IPCInterface& channel) {
  bool waiting = false;
  const uint64_t taken = channel.TakenMessages(waiting);
  std::lock_guard<std::mutex> guard(handedLock_);
  handedOn_ = taken;
  if (catchingUp_ > 0) {
    handedChanged_.notify_all();
  }
}

void CallbackReceiver::CatchUp(IPCInterface& channel) {
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
    if (TraceOn()) {
      TraceMessage(TraceDirection::Callback, channel.Name(), channel.LastReadSizes().compressed,
                   message, std::chrono::steady_clock::duration::zero());
    }
    if (processor != nullptr) {
      processor->ProcessCallbackMessage(message);
      // The processor has woken the thread that runs the callback; where it shares this
      // CPU, it runs now rather than after this thread has gone back to sleep in the pipe.
      // On a busy machine a yield queues this thread behind every CPU-bound process for a
      // whole time slice, so one that cost that much is not made again for a while.
      if (yield_.Next() != AdaptiveSpin::Clock::duration::zero()) {
        const auto before = AdaptiveSpin::Clock::now();
        std::this_thread::yield();
        if (AdaptiveSpin::Clock::now() - before > kYieldCost) {
          yield_.Missed();
        } else {
          yield_.Paid();
        }
      }
    } else {
      LogError("IPCHandler : Failed to process callback message, no processor available",
               channel.Name(), channel.GetMode());
    }
    HandedOn(channel);
  }
}

}  // namespace IPC
