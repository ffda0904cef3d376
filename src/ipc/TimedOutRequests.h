// The identifiers of the requests whose answers did not come in time and have not come
// since, so that such an answer, arriving later, is not taken for the answer to another
// request. The identifiers every set of the process keeps are known to NextRequestId,
// which gives a new request none of them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace IPC {

class TimedOutRequests {
 public:
  // How many identifiers are kept; a new one pushes out the oldest. Far more than a
  // plug-in makes calls within the longest time a host may take to answer late.
  static constexpr size_t kCapacity = 4096;

  TimedOutRequests() = default;
  TimedOutRequests(const TimedOutRequests&) = delete;
  TimedOutRequests& operator=(const TimedOutRequests&) = delete;
  ~TimedOutRequests();

  bool IsEmpty() const { return count_ == 0; }

  // Keeps the identifier of the request whose text this is, if it has one.
  void Add(const std::string& requestText);
  // Forgets the identifier of the request about to be sent, should an earlier request
  // have carried the same one (a request built before that one timed out).
  void Forget(const std::string& requestText);
  // True when the response answers one of the kept requests.
  bool Answers(const std::string& responseText) const;
  // The same, and the request's identifier is forgotten: its answer has come.
  bool TakeAnswered(const std::string& responseText);

  // Reads the "requestId" member of a message's inner object ({"request":{...}} or
  // {"response":{...}}) straight off the text, without parsing the rest: the first such
  // member whose value is a plain unsigned integer. False when there is none.
  static bool ScanRequestId(const std::string& text, uint64_t& id);

  // The first identifier from id on that no set of this process keeps: id itself unless a
  // request that timed out carried it. Thread-safe; one atomic load while none is kept.
  static uint64_t FirstIdNotTimedOut(uint64_t id);

 private:
  // The position of id (0 = oldest), or count_ when absent.
  size_t Find(uint64_t id) const;
  bool Contains(uint64_t id) const { return Find(id) != count_; }
  void Erase(size_t index);

  // Oldest first (a ring of kCapacity from first_); never holds 0 (no identifier) or the
  // same identifier twice. Allocated at the first time-out.
  std::vector<uint64_t> ids_;
  size_t first_ = 0;
  size_t count_ = 0;
};

}  // namespace IPC
