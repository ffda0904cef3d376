// The identifiers of the last requests whose answers did not come in time, so that such
// an answer, arriving later, is not taken for the answer to another request.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace IPC {

class TimedOutRequests {
 public:
  // How many identifiers are kept; a new one pushes out the oldest.
  static constexpr size_t kCapacity = 8;

  bool IsEmpty() const { return count_ == 0; }

  // Keeps the identifier of the request whose text this is, if it has one.
  void Add(const std::string& requestText);
  // Forgets the identifier of the request about to be sent, should an earlier request
  // have carried the same one (identifiers are millisecond time stamps).
  void Forget(const std::string& requestText);
  // True when the response answers one of the kept requests.
  bool Answers(const std::string& responseText) const;

  // Reads the "requestId" member of a message's inner object ({"request":{...}} or
  // {"response":{...}}) straight off the text, without parsing the rest: the first such
  // member whose value is a plain unsigned integer. False when there is none.
  static bool ScanRequestId(const std::string& text, uint64_t& id);

 private:
  bool Contains(uint64_t id) const;
  void Erase(size_t index);

  // Oldest first; never holds 0 (no identifier) or the same identifier twice.
  uint64_t ids_[kCapacity] = {};
  size_t count_ = 0;
};

}  // namespace IPC
