// The process-wide order of requests on the one request pipe. Every call, synchronous
// or not, from every JavaScript environment of the process (main thread and workers),
// takes a ticket when it is made and goes out when its ticket comes up: one request on
// the pipe at a time, first come, first served. Asynchronous requests are sent by one
// sender thread; a synchronous call waits for its turn on its own thread.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace Hostlink {

// How one exchange with the host ended.
enum class ExchangeOutcome {
  Answered,        // the response text is the host's answer
  NotInitialized,  // nothing sent: no connection, or CleanUp cancelled the request
  SendFailed,      // written and no answer read, or not written at all
  TooRepetitive,   // nothing sent: compresses beyond what the host decompresses
};

// An asynchronous request waiting for its turn; its methods run on the sender thread.
class QueuedRequest {
 public:
  virtual ~QueuedRequest() = default;
  // Takes the request for sending; false when it was abandoned (aborted) before.
  virtual bool Claim() = 0;
  virtual const std::string& Text() const = 0;
  // The exchange ended (or never started, with NotInitialized).
  virtual void Finish(ExchangeOutcome outcome, std::string response) = 0;
};

class RequestQueue {
 public:
  // The one queue of the process; never destroyed, so that it outlives every thread.
  static RequestQueue& Instance();

  // A synchronous caller's turn: taken at construction (it waits), given back at
  // destruction. Granted() is false when CleanUp cancelled it before its turn.
  class Turn {
   public:
    Turn();
    ~Turn();
    Turn(const Turn&) = delete;
    Turn& operator=(const Turn&) = delete;
    bool Granted() const { return granted; }

   private:
    bool granted;
  };

  // CleanUp's hold on the pipe: every ticket not yet served is cancelled at once (their
  // callers fail with the not-initialized error), the exchange in flight ends, then the
  // holder has the pipe until destruction.
  class CancellingHold {
   public:
    CancellingHold();
    ~CancellingHold();
    CancellingHold(const CancellingHold&) = delete;
    CancellingHold& operator=(const CancellingHold&) = delete;
  };

  // Queues request behind every call made so far, for the sender thread.
  void Submit(std::shared_ptr<QueuedRequest> request);

 private:
  RequestQueue() = default;

  uint64_t TakeTicket();
  // Waits for ticket's turn; false, without the pipe, when it was cancelled.
  bool WaitForTurn(uint64_t ticket);
  void EndTurn();
  void CancelAndHold();
  void ReleaseHold();
  void RunSender();

  struct Entry;
  // The sender's next request, waiting for one as long as it takes.
  bool TakeNext(Entry& entry);

  struct Entry {
    uint64_t ticket = 0;
    std::shared_ptr<QueuedRequest> request;
  };

  std::mutex lock;
  std::condition_variable turnChanged;
  std::condition_variable submitted;
  uint64_t nextTicket = 0;
  uint64_t serving = 0;
  // Tickets below this were cancelled by CleanUp before their turn.
  uint64_t cancelledBelow = 0;
  bool pipeBusy = false;
  int waiters = 0;
  std::deque<Entry> pending;
  bool senderStarted = false;
  // The sender sleeps on `submitted` only after it found nothing for a short while.
  bool senderSleeping = false;
};

}  // namespace Hostlink
