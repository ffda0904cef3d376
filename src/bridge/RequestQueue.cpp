// The ticket order of the request pipe and the sender thread of asynchronous requests.
#include "bridge/RequestQueue.h"

#include <algorithm>
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
  granted = queue.WaitForTurn(queue.TakeTicket(), false);
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

bool RequestQueue::SenderPaused() const {
  return senderTicket == serving && heldAnswerBytes >= kHeldAnswerBound;
}

bool RequestQueue::WaitForTurn(uint64_t ticket, bool sender) {
  std::unique_lock<std::mutex> guard(lock);
  // The sender's turn waits for room for its answer as well.
  const auto senderMayGo = [&] {
    return ticket == serving && !pipeBusy && heldAnswerBytes < kHeldAnswerBound;
  };
  // A synchronous call goes in order, or, the first of those waiting, ahead of a sender
  // that only the bound holds back.
  const auto callerMayGo = [&] {
    const bool firstWaiting = syncWaiting.empty() || ticket <= *syncWaiting.begin();
    return !pipeBusy && (ticket == serving || (SenderPaused() && firstWaiting));
  };
  if (sender) {
    senderTicket = ticket;
    // Whether or not it must pause now, synchronous callers look again.
    if (waiters > 0) turnChanged.notify_all();
    if (ticket >= cancelledBelow && !senderMayGo()) {
      ++waiters;
      turnChanged.wait(guard, [&] { return ticket < cancelledBelow || senderMayGo(); });
      --waiters;
    }
    senderTicket = kNoTicket;
  } else if (ticket >= cancelledBelow && !callerMayGo()) {
    syncWaiting.insert(ticket);
    ++waiters;
    turnChanged.wait(guard, [&] { return ticket < cancelledBelow || callerMayGo(); });
    --waiters;
    syncWaiting.erase(ticket);
  }
  if (ticket < cancelledBelow) {
    return false;
  }
  pipeBusy = true;
  aheadTurn = ticket != serving;
  if (aheadTurn) {
    servedAhead.insert(ticket);
  }
  return true;
}

void RequestQueue::EndTurn() {
  std::lock_guard<std::mutex> guard(lock);
  pipeBusy = false;
  if (!aheadTurn) {
    serving = std::max(serving + 1, cancelledBelow);
  }
  aheadTurn = false;
  // Tickets served ahead are passed over when the order reaches them.
  servedAhead.erase(servedAhead.begin(), servedAhead.lower_bound(serving));
  while (!servedAhead.empty() && *servedAhead.begin() == serving) {
    servedAhead.erase(servedAhead.begin());
    ++serving;
  }
  if (waiters > 0) {
    turnChanged.notify_all();
  }
}

void RequestQueue::HoldAnswer(size_t bytes) {
  std::lock_guard<std::mutex> guard(lock);
  heldAnswerBytes += bytes;
}

void RequestQueue::ReleaseAnswer(size_t bytes) {
  if (bytes == 0) {
    return;
  }
  std::lock_guard<std::mutex> guard(lock);
  const bool wasFull = heldAnswerBytes >= kHeldAnswerBound;
  heldAnswerBytes -= std::min(bytes, heldAnswerBytes);
  if (wasFull && heldAnswerBytes < kHeldAnswerBound && waiters > 0) {
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
  servedAhead.erase(servedAhead.begin(), servedAhead.lower_bound(serving));
}

void RequestQueue::ReleaseHold() {
  std::lock_guard<std::mutex> guard(lock);
  pipeBusy = false;
  turnChanged.notify_all();
}

void RequestQueue::Submit(std::shared_ptr<QueuedRequest> request) {
  std::unique_lock<std::mutex> guard(lock);
  if (!senderStarted) {
    // One thread for the life of the process, parked on the condition when idle.
    std::thread([this] { RunSender(); }).detach();
    senderStarted = true;
  }
  Entry entry{nextTicket++, std::move(request)};
  // With nothing before it, the submitting thread writes a short request itself: the host
  // starts on it at once, while the sender wakes up to wait for the answer, rather than
  // only after the sender has woken (a time slice on a busy machine). The entry keeps its
  // place, first in line, meanwhile.
  const bool writeHere = pending.empty() && entry.ticket == serving && !pipeBusy &&
                         entry.ticket >= cancelledBelow && heldAnswerBytes < kHeldAnswerBound &&
                         entry.request->Text().size() <= kWriteOnSubmitLimit &&
                         entry.request->Claim();
  if (writeHere) {
    pipeBusy = true;
    aheadTurn = false;
    entry.turnTaken = true;
    entry.writing = true;
  }
  const std::string& text = entry.request->Text();
  pending.push_back(std::move(entry));
  if (writeHere) {
    guard.unlock();
    const bool written = PluginManager::GetInstance().WriteNow(text);
    guard.lock();
    pending.front().written = written;
    pending.front().writing = false;
  }
  if (senderSleeping) {
    submitted.notify_one();
  }
}

bool RequestQueue::TakeNext(Entry& entry) {
  // No spinning for the next call: a short one made with nothing before it is written by
  // its own thread, and the sender's wake-up overlaps the host's work on it; a spin here
  // would only take a CPU from the JavaScript thread or the host.
  std::unique_lock<std::mutex> guard(lock);
  senderSleeping = true;
  submitted.wait(guard, [&] { return !pending.empty() && !pending.front().writing; });
  senderSleeping = false;
  entry = std::move(pending.front());
  pending.pop_front();
  return true;
}

void RequestQueue::RunSender() {
  for (;;) {
    Entry entry;
    TakeNext(entry);
    if (entry.turnTaken) {
      // Claimed, and its turn taken, when it was submitted; written then when it could be.
      std::string response;
      PluginManager& manager = PluginManager::GetInstance();
      const ExchangeOutcome outcome = entry.written
                                          ? manager.ReadAnswer(entry.request->Text(), response)
                                          : manager.Exchange(entry.request->Text(), response);
      EndTurn();
      entry.request->Finish(outcome, std::move(response));
      continue;
    }
    const bool granted = WaitForTurn(entry.ticket, true);
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
