// The process-wide order of requests on the one request pipe. Every call, synchronous
// or not, from every JavaScript environment of the process (main thread and workers),
// takes a ticket when it is made and goes out when its ticket comes up: one request on
// the pipe at a time, first come, first served. Asynchronous requests are sent by one
// sender thread; a synchronous call waits for its turn on its own thread.
//
// Answers of asynchronous requests wait in native memory until their JavaScript thread
// settles them. Their bytes are bounded: at kHeldAnswerBound the sender pauses until calls
// settle. A synchronous call behind a paused sender does not wait for the pause to end (its
// own thread may be the one that would settle them, blocked in that very call): it goes
// ahead of the Promise calls not yet sent, synchronous calls in the order they were made.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <set>
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
  // The JavaScript environment that made the request (null: none in particular).
  virtual const void* Home() const { return nullptr; }
  // On the home's JavaScript thread, right after that thread wrote the request, the turn
  // held: whether the home's event loop now watches for the answer and will take it
  // (TakeLoopAnswer). False leaves the answer to the sender thread.
  virtual bool WatchForAnswer() { return false; }
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

  // Queues request behind every call made so far, for the sender thread. With nothing
  // before it, a short request is written at once by the calling thread.
  void Submit(std::shared_ptr<QueuedRequest> request);

  // Loop reads. A request written by its home's JavaScript thread whose answer that
  // thread's event loop watches for holds the pipe until one of these takes the answer:
  //  - the home's JavaScript thread when its loop finds the pipe readable (TakeLoopAnswer),
  //    which then writes the home's next request too when it is first in line;
  //  - any caller waiting for its turn, CleanUp included (the JavaScript thread itself may
  //    be the one waiting, in a synchronous call);
  //  - the sender thread, once the home is torn down (AbandonLoopReads).
  // TakeLoopAnswer returns the request answered, with its outcome and answer, or null when
  // no answer of home's was waited for (the loop may stop watching).
  std::shared_ptr<QueuedRequest> TakeLoopAnswer(const void* home, ExchangeOutcome& outcome,
                                                std::string& response);
  void AbandonLoopReads(const void* home);

  // Bytes of answers held for asynchronous calls until they settle: the sender pauses
  // while they reach the bound (64 MB, more than a few of the largest answers).
  static constexpr size_t kHeldAnswerBound = size_t{64} << 20;
  // Sender thread: an answer of `bytes` is held from now on.
  void HoldAnswer(size_t bytes);
  // Any thread: a held answer settled, or was dropped with its environment.
  void ReleaseAnswer(size_t bytes);

 private:
  RequestQueue() = default;

  uint64_t TakeTicket();
  // Waits for ticket's turn; false, without the pipe, when it was cancelled. The sender
  // waits for room for answers too; a synchronous caller may go ahead of a paused sender.
  bool WaitForTurn(uint64_t ticket, bool sender);
  // Under lock: the sender waits for the current turn and only the bound holds it back.
  bool SenderPaused() const;
  void EndTurn();
  // Under lock; wake: the threads that may go next are told.
  void EndTurnLocked(bool wake = true);
  // Under lock: when the first request in line may go now (its turn free, short) and, with
  // home set, is home's, this thread claims it and writes it (the lock let go meanwhile).
  // Written and watched for by its home's loop, it becomes the loop read; otherwise it stays
  // first in line for the sender, written or not.
  void WriteFirstHere(std::unique_lock<std::mutex>& guard, const void* home);
  // Under lock, a loop read waiting: this thread reads its answer and finishes it (the lock
  // let go meanwhile).
  void ReadLoopAnswerHere(std::unique_lock<std::mutex>& guard);
  void CancelAndHold();
  void ReleaseHold();
  void RunSender();

  struct Entry;
  // The sender's next request, waiting for one as long as it takes; false when it read an
  // abandoned loop read's answer instead.
  bool TakeNext(Entry& entry);

  struct Entry {
    uint64_t ticket = 0;
    std::shared_ptr<QueuedRequest> request;
    // Submitted with the pipe free: its turn was taken, and the request claimed, at once.
    bool turnTaken = false;
    // ... and its request written by the submitting thread; the sender reads the answer.
    bool written = false;
    // The submitting thread is writing it now: the sender leaves it (first in line) alone.
    bool writing = false;
    // When it was written: its API time-out counts from then.
    std::chrono::steady_clock::time_point writtenAt;
  };
  // Texts up to this length are written by a submitting thread that finds the pipe free:
  // they compress in microseconds, so that thread is not held up.
  static constexpr size_t kWriteOnSubmitLimit = 2047;

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
  bool senderSleeping = false;
  size_t heldAnswerBytes = 0;
  // The ticket the sender waits its turn for, kNoTicket when it waits for none.
  static constexpr uint64_t kNoTicket = UINT64_MAX;
  uint64_t senderTicket = kNoTicket;
  // Synchronous callers waiting for their turn, and those served ahead of a paused sender
  // (skipped when the order reaches them).
  std::set<uint64_t> syncWaiting;
  std::set<uint64_t> servedAhead;
  // The turn in progress was served ahead: its end does not move the order on.
  bool aheadTurn = false;
  // The loop read holding the pipe, if any, its home, and whether that home is gone.
  std::shared_ptr<QueuedRequest> loopRequest;
  std::chrono::steady_clock::time_point loopWrittenAt;
  const void* loopHome = nullptr;
  bool loopAbandoned = false;
};

}  // namespace Hostlink
