// The ticket order of the request pipe and the sender thread of asynchronous requests.
#include "bridge/RequestQueue.h"

#include <algorithm>
#include <chrono>
#include <utility>

#include "base/Log.h"
#include "bridge/PluginManager.h"

namespace Hostlink {

RequestQueue& RequestQueue::Instance() {
  // Never destroyed: the sender thread and calls made during exit still use it.
  static RequestQueue* queue = new RequestQueue();
  return *queue;
}

RequestQueue::Turn::Turn() {
  RequestQueue& queue = Instance();
  granted = queue.WaitForTurn(queue.TakeTicket());
}

RequestQueue::Turn::~Turn() {
  if (granted) {
    Instance().EndTurn();
  }
}

RequestQueue::CancellingHold::CancellingHold() { Instance().CancelAndHold(); }

RequestQueue::CancellingHold::~CancellingHold() { Instance().ReleaseHold(); }

uint64_t RequestQueue::TakeTicket() {
  std::lock_guard<std::mutex> guard(lock);
  return nextTicket++;
}

bool RequestQueue::WaitForTurn(uint64_t ticket) {
  std::unique_lock<std::mutex> guard(lock);
  if (ticket >= cancelledBelow && (ticket != serving || pipeBusy)) {
    ++waiters;
    turnChanged.wait(guard, [&] {
      return ticket < cancelledBelow || (ticket == serving && !pipeBusy);
    });
    --waiters;
  }
  if (ticket < cancelledBelow) {
    return false;
  }
  pipeBusy = true;
  return true;
}

void RequestQueue::EndTurn() {
  std::lock_guard<std::mutex> guard(lock);
  pipeBusy = false;
  serving = std::max(serving + 1, cancelledBelow);
  if (waiters > 0) {
    turnChanged.notify_all();
  }
}

void RequestQueue::CancelAndHold() {
  std::unique_lock<std::mutex> guard(lock);
  cancelledBelow = nextTicket;
  turnChanged.notify_all();
  ++waiters;
  turnChanged.wait(guard, [&] { return !pipeBusy; });
  --waiters;
  pipeBusy = true;
  serving = std::max(serving, cancelledBelow);
}

void RequestQueue::ReleaseHold() {
  std::lock_guard<std::mutex> guard(lock);
  pipeBusy = false;
  turnChanged.notify_all();
}

void RequestQueue::Submit(std::shared_ptr<QueuedRequest> request) {
  std::lock_guard<std::mutex> guard(lock);
  if (!senderStarted) {
    // One thread for the life of the process, parked on the condition when idle.
    std::thread([this] { RunSender(); }).detach();
    senderStarted = true;
  }
  pending.push_back(Entry{nextTicket++, std::move(request)});
  if (senderSleeping) {
    submitted.notify_one();
  }
}

bool RequestQueue::TakeNext(Entry& entry) {
  // A caller that awaits each call makes the next one as soon as the last settles:
  // looking again for a few tens of microseconds spares the wake-up of a sleeping
  // thread per call. Each turn yields, so a JavaScript thread on the same CPU runs.
  using Clock = std::chrono::steady_clock;
  static const bool severalCpus = std::thread::hardware_concurrency() > 1;
  const Clock::time_point lookUntil = Clock::now() + std::chrono::microseconds(severalCpus ? 50 : 0);
  std::unique_lock<std::mutex> guard(lock);
  while (pending.empty() && Clock::now() < lookUntil) {
    guard.unlock();
    std::this_thread::yield();
    guard.lock();
  }
  if (pending.empty()) {
    senderSleeping = true;
    submitted.wait(guard, [&] { return !pending.empty(); });
    senderSleeping = false;
  }
  entry = std::move(pending.front());
  pending.pop_front();
  return true;
}

void RequestQueue::RunSender() {
  for (;;) {
    Entry entry;
    TakeNext(entry);
    const bool granted = WaitForTurn(entry.ticket);
    if (!entry.request->Claim()) {
      if (granted) {
        EndTurn();
      }
      continue;
    }
    std::string response;
    ExchangeOutcome outcome = ExchangeOutcome::NotInitialized;
    if (granted) {
      outcome = PluginManager::GetInstance().Exchange(entry.request->Text(), response);
      EndTurn();
    }
    entry.request->Finish(outcome, std::move(response));
  }
}

}  // namespace Hostlink
