// The set of timed-out request identifiers and the scan that reads one off a message text.
#include "ipc/TimedOutRequests.h"

#include <atomic>
#include <cstring>
#include <mutex>
#include <unordered_map>

namespace IPC {

namespace {

constexpr char kKey[] = "requestId";
constexpr size_t kKeyLength = sizeof kKey - 1;
// The members of the outer object's value sit at this nesting level.
constexpr int kInnerDepth = 2;

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

// The value after a member name that ends at `at`: blanks, a colon, blanks, then digits
// that end the number (no fraction, exponent or sign) and fit in 64 bits.
bool ReadUnsignedValue(const std::string& text, size_t at, uint64_t& id) {
  const size_t size = text.size();
  while (at < size && IsBlank(text[at])) ++at;
  if (at >= size || text[at] != ':') return false;
  ++at;
  while (at < size && IsBlank(text[at])) ++at;
  uint64_t value = 0;
  size_t digits = 0;
  for (; at < size && text[at] >= '0' && text[at] <= '9'; ++at, ++digits) {
    const uint64_t digit = static_cast<uint64_t>(text[at] - '0');
    if (value > (UINT64_MAX - digit) / 10) return false;
    value = value * 10 + digit;
  }
  if (digits == 0) return false;
  if (at < size && (text[at] == '.' || text[at] == 'e' || text[at] == 'E')) return false;
  id = value;
  return true;
}

// Every identifier that some set keeps, with the number of sets keeping it (requests of
// two channels may time out with one identifier).
class KeptIds {
 public:
  static KeptIds& Instance() {
    // Never destroyed: sets owned by static objects release their identifiers at exit.
    static KeptIds* const instance = new KeptIds();
    return *instance;
  }

  void Keep(uint64_t id) {
    std::lock_guard<std::mutex> lock(mutex_);
    ++counts_[id];
    size_.store(counts_.size(), std::memory_order_release);
  }

  void Release(uint64_t id) {
    std::lock_guard<std::mutex> lock(mutex_);
    const auto found = counts_.find(id);
    if (found == counts_.end()) return;
    if (--found->second == 0) counts_.erase(found);
    size_.store(counts_.size(), std::memory_order_release);
  }

  uint64_t FirstNotKept(uint64_t id) {
    if (size_.load(std::memory_order_acquire) == 0) return id;
    std::lock_guard<std::mutex> lock(mutex_);
    while (counts_.count(id) != 0) ++id;
    return id;
  }

 private:
  std::mutex mutex_;
  std::unordered_map<uint64_t, uint32_t> counts_;
  std::atomic<size_t> size_{0};
};

}  // namespace

uint64_t TimedOutRequests::FirstIdNotTimedOut(uint64_t id) {
  return KeptIds::Instance().FirstNotKept(id);
}

TimedOutRequests::~TimedOutRequests() {
  while (count_ > 0) Erase(count_ - 1);
}

bool TimedOutRequests::ScanRequestId(const std::string& text, uint64_t& id) {
  // Only the kinds of the two outer levels matter: whether a string at the inner level
  // is a member name.
  bool isObject[kInnerDepth + 1] = {};
  int depth = 0;
  bool inString = false;
  bool escaped = false;
  bool expectName = false;
  bool stringIsName = false;
  size_t stringStart = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (inString) {
      if (escaped) {
        escaped = false;
      } else if (c == '\\') {
        escaped = true;
      } else if (c == '"') {
        inString = false;
        if (stringIsName && depth == kInnerDepth && i - stringStart == kKeyLength &&
            std::memcmp(text.data() + stringStart, kKey, kKeyLength) == 0) {
          return ReadUnsignedValue(text, i + 1, id);
        }
      }
      continue;
    }
    switch (c) {
      case '"':
        inString = true;
        stringIsName = expectName;
        expectName = false;
        stringStart = i + 1;
        break;
      case '{':
      case '[':
        ++depth;
        if (depth <= kInnerDepth) isObject[depth] = c == '{';
        expectName = c == '{';
        break;
      case '}':
      case ']':
        if (--depth <= 0) return false;  // the outer value ended
        expectName = false;
        break;
      case ',':
        expectName = depth <= kInnerDepth && depth > 0 && isObject[depth];
        break;
      case ':':
        expectName = false;
        break;
      default:
        break;
    }
  }
  return false;
}

void TimedOutRequests::Add(const std::string& requestText) {
  uint64_t id = 0;
  if (!ScanRequestId(requestText, id) || id == 0 || Contains(id)) return;
  if (ids_.empty()) ids_.resize(kCapacity);
  if (count_ == kCapacity) Erase(0);  // the oldest goes
  ids_[(first_ + count_) % kCapacity] = id;
  ++count_;
  KeptIds::Instance().Keep(id);
}

void TimedOutRequests::Forget(const std::string& requestText) {
  uint64_t id = 0;
  if (IsEmpty() || !ScanRequestId(requestText, id)) return;
  const size_t at = Find(id);
  if (at != count_) Erase(at);
}

bool TimedOutRequests::Answers(const std::string& responseText) const {
  uint64_t id = 0;
  return !IsEmpty() && ScanRequestId(responseText, id) && id != 0 && Contains(id);
}

bool TimedOutRequests::TakeAnswered(const std::string& responseText) {
  uint64_t id = 0;
  if (IsEmpty() || !ScanRequestId(responseText, id) || id == 0) return false;
  const size_t at = Find(id);
  if (at == count_) return false;
  Erase(at);
  return true;
}

void TimedOutRequests::Erase(size_t index) {
  KeptIds::Instance().Release(ids_[(first_ + index) % kCapacity]);
  if (index == 0) {
    first_ = (first_ + 1) % kCapacity;
  } else {
    for (size_t i = index + 1; i < count_; ++i) {
      ids_[(first_ + i - 1) % kCapacity] = ids_[(first_ + i) % kCapacity];
    }
  }
  --count_;
}

size_t TimedOutRequests::Find(uint64_t id) const {
  for (size_t i = 0; i < count_; ++i) {
    if (ids_[(first_ + i) % kCapacity] == id) return i;
  }
  return count_;
}

}  // namespace IPC
