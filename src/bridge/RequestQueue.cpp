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
    ++waiters;
    while (ticket >= cancelledBelow && !senderMayGo()) {
      turnChanged.wait(guard, [&] {
        return ticket < cancelledBelow || senderMayGo() || (loopRequest && loopAbandoned);
      });
      if (loopRequest && loopAbandoned) ReadLoopAnswerHere(guard);
    }
    --waiters;
    senderTicket = kNoTicket;
  } else if (ticket >= cancelledBelow && !callerMayGo()) {
    syncWaiting.insert(ticket);
    ++waiters;
    // A loop read before this call is read here rather than waited for: its loop's thread
    // may be this very one, or busy.
    while (ticket >= cancelledBelow && !callerMayGo()) {
      turnChanged.wait(guard,
                       [&] { return ticket < cancelledBelow || callerMayGo() || loopRequest; });
      if (loopRequest) ReadLoopAnswerHere(guard);
    }
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
  EndTurnLocked();
}

void RequestQueue::EndTurnLocked(bool wake) {
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
  if (wake && waiters > 0) {
    turnChanged.notify_all();
  }
  if (wake && senderSleeping && !pending.empty()) {
    submitted.notify_one();
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
  for (;;) {
    turnChanged.wait(guard, [&] { return !pipeBusy || loopRequest; });
    if (!pipeBusy) break;
    ReadLoopAnswerHere(guard);
  }
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
  const bool first = pending.empty();
  Entry entry;
  entry.ticket = nextTicket++;
  entry.request = std::move(request);
  pending.push_back(std::move(entry));
  // With nothing before it, the submitting thread writes a short request itself: the host
  // starts on it at once, rather than only after the sender has woken (a time slice on a
  // busy machine).
  if (first) {
    WriteFirstHere(guard, nullptr);
  }
  if (senderSleeping && !pending.empty() && !loopRequest) {
    submitted.notify_one();
  }
}

void RequestQueue::WriteFirstHere(std::unique_lock<std::mutex>& guard, const void* home) {
  if (pending.empty()) {
    return;
  }
  Entry& first = pending.front();
  if (first.turnTaken || first.ticket != serving || pipeBusy || first.ticket < cancelledBelow ||
      heldAnswerBytes >= kHeldAnswerBound ||
      first.request->Text().size() > kWriteOnSubmitLimit ||
      (home != nullptr && first.request->Home() != home) || !first.request->Claim()) {
    return;
  }
  // Its place in line is kept while it is written: the sender leaves an entry being written
  // alone.
  pipeBusy = true;
  aheadTurn = false;
  first.turnTaken = true;
  first.writing = true;
  std::shared_ptr<QueuedRequest> request = first.request;
  guard.unlock();
  const bool written = PluginManager::GetInstance().WriteNow(request->Text());
  const auto writtenAt = std::chrono::steady_clock::now();
  const bool watched = written && request->WatchForAnswer();
  guard.lock();
  if (watched) {
    pending.pop_front();
    loopWrittenAt = writtenAt;
    loopHome = request->Home();
    loopAbandoned = false;
    loopRequest = std::move(request);
    // A caller waiting for its turn takes the answer rather than wait for the loop.
    if (waiters > 0) turnChanged.notify_all();
    return;
  }
  pending.front().written = written;
  pending.front().writtenAt = writtenAt;
  pending.front().writing = false;
}

void RequestQueue::ReadLoopAnswerHere(std::unique_lock<std::mutex>& guard) {
  std::shared_ptr<QueuedRequest> request = std::move(loopRequest);
  loopRequest.reset();
  loopHome = nullptr;
  loopAbandoned = false;
  const auto writtenAt = loopWrittenAt;
  guard.unlock();
  std::string response;
  const ExchangeOutcome outcome =
      PluginManager::GetInstance().ReadAnswer(request->Text(), response, writtenAt);
  guard.lock();
  EndTurnLocked();
  guard.unlock();
  request->Finish(outcome, std::move(response));
  guard.lock();
}

std::shared_ptr<QueuedRequest> RequestQueue::TakeLoopAnswer(const void* home,
                                                            ExchangeOutcome& outcome,
                                                            std::string& response) {
  std::unique_lock<std::mutex> guard(lock);
  if (!loopRequest || loopHome != home) {
    return nullptr;
  }
  std::shared_ptr<QueuedRequest> request = std::move(loopRequest);
  loopRequest.reset();
  loopHome = nullptr;
  const auto writtenAt = loopWrittenAt;
  guard.unlock();
  outcome = PluginManager::GetInstance().ReadAnswer(request->Text(), response, writtenAt);
  guard.lock();
  // The next request goes out before this answer is settled, so that the host works on it
  // meanwhile; the others waiting are woken only if this thread does not write it.
  EndTurnLocked(false);
  WriteFirstHere(guard, home);
  if (!loopRequest) {
    if (waiters > 0) turnChanged.notify_all();
    if (senderSleeping && !pending.empty()) submitted.notify_one();
  }
  return request;
}

void RequestQueue::AbandonLoopReads(const void* home) {
  std::lock_guard<std::mutex> guard(lock);
  if (loopRequest && loopHome == home) {
    loopAbandoned = true;
    turnChanged.notify_all();
    submitted.notify_one();
  }
}

bool RequestQueue::TakeNext(Entry& entry) {
  // No spinning for the next call: a short one made with nothing before it is written by
  // its own thread, and the sender's wake-up overlaps the host's work on it; a spin here
  // would only take a CPU from the JavaScript thread or the host. Nothing is taken while a
  // loop read holds the pipe: the loop's thread writes its next request itself.
  std::unique_lock<std::mutex> guard(lock);
  senderSleeping = true;
  submitted.wait(guard, [&] {
    return loopRequest ? loopAbandoned : !pending.empty() && !pending.front().writing;
  });
  senderSleeping = false;
  if (loopRequest) {
    ReadLoopAnswerHere(guard);
    return false;
  }
  entry = std::move(pending.front());
  pending.pop_front();
  return true;
}

void RequestQueue::RunSender() {
  for (;;) {
    Entry entry;
    if (!TakeNext(entry)) {
      continue;
    }
    if (entry.turnTaken) {
      // Claimed, and its turn taken, when it was submitted; written then when it could be.
      std::string response;
      PluginManager& manager = PluginManager::GetInstance();
      const ExchangeOutcome outcome = entry.written
                                          ? manager.ReadAnswer(entry.request->Text(), response, entry.writtenAt)
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
