// One pass over the response text. Tokens are copied as they stand and only the wire's
// table wrappers are dropped, so the plain text never outgrows the response text: it is
// written through a cursor into room reserved once.
#include "ipc/PlainResult.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <utility>
#include <vector>

namespace IPC {
namespace {

constexpr int kMaxDepth = 64;
// Numbers are copied only well inside the double range, where the parser's exact reading
// and JSON.parse's agree to the bit (no overflow, no subnormals).
constexpr int kMaxMagnitude = 290;
constexpr size_t kMaxNumberLength = 64;
// Objects with more members than this are checked for a repeated name by sorting.
constexpr size_t kSearchedMembers = 16;

// Where a string's fast scan stops: its end, an escape, and control characters (which
// JSON text may not hold unescaped, the zero byte among them).
constexpr std::array<bool, 256> MakeStringStops() {
  std::array<bool, 256> stops{};
  for (int c = 0; c < 0x20; ++c) stops[c] = true;
  stops['"'] = true;
  stops['\\'] = true;
  return stops;
}
constexpr std::array<bool, 256> kStringStops = MakeStringStops();

bool IsSpace(char c) { return c == ' ' || c == '\n' || c == '\r' || c == '\t'; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }
// The escapes JSON.parse and the parser decode alike, whose text can be copied.
bool IsShortEscape(char c) {
  return c == '"' || c == '\\' || c == '/' || c == 'b' || c == 'f' || c == 'n' || c == 'r' ||
         c == 't';
}

// True when name is the decimal text of index, as a list's members are named.
bool NamesPosition(std::string_view name, uint32_t index) {
  if (name.empty() || name.size() > 10 || (name[0] == '0' && name.size() > 1)) return false;
  uint64_t value = 0;
  for (const char c : name) {
    if (!IsDigit(c)) return false;
    value = value * 10 + static_cast<uint64_t>(c - '0');
  }
  return value == index;
}

// name == literal, with the literal's length known where it is compiled.
template <size_t N>
bool Is(std::string_view name, const char (&literal)[N]) {
  return name.size() == N - 1 && std::memcmp(name.data(), literal, N - 1) == 0;
}

class PlainScan {
 public:
  PlainScan(std::string_view text, char* out)
      : p_(text.data()), end_(text.data() + text.size()), begin_(out), w_(out) {}

  bool Response();
  size_t Written() const { return static_cast<size_t>(w_ - begin_); }
  bool AsciiOnly() const { return high_ < 0x80; }

 private:
  // How a table's members are written: known to be a list or an object, or not known yet
  // ("isList" after "value"): then as an object, with each value's place kept.
  enum class Form { List, Object, Unknown };
  struct Span {
    size_t start;
    size_t end;
  };

  char Peek() const { return p_ < end_ ? *p_ : '\0'; }
  bool Take(char c) {
    if (p_ == end_ || *p_ != c) return false;
    ++p_;
    return true;
  }
  void SkipSpace() {
    while (p_ != end_ && IsSpace(*p_)) ++p_;
  }
  bool Colon() {
    SkipSpace();
    if (!Take(':')) return false;
    SkipSpace();
    return true;
  }
  void Copy(const char* from, size_t size) {
    std::memcpy(w_, from, size);
    w_ += size;
  }

  bool Name(std::string_view& name);
  template <size_t N>
  bool NameIs(const char (&expected)[N]) {
    std::string_view name;
    return Name(name) && Is(name, expected);
  }
  bool String(bool allowEscapes);
  bool Literal(std::string_view literal, bool copy);
  bool Bool(bool& value);
  bool Number();
  bool RequestId();
  bool Value(int depth);
  bool Table(int depth);
  bool Members(int depth, Form form, bool* positional);
  bool RepeatsAName(size_t base) const;
  void ToList(size_t open, size_t spanBase);

  const char* p_;
  const char* const end_;
  char* const begin_;
  char* w_;
  unsigned high_ = 0;
  std::vector<std::string_view> names_;
  std::vector<Span> spans_;
};

// Scans a string at p_; escapes only where allowed and only short ones. The string, quotes
// and all, stays in the input for the caller.
bool PlainScan::String(bool allowEscapes) {
  if (!Take('"')) return false;
  for (;;) {
    while (p_ != end_ && !kStringStops[static_cast<unsigned char>(*p_)]) {
      high_ |= static_cast<unsigned char>(*p_);
      ++p_;
    }
    if (p_ == end_) return false;
    if (*p_ == '"') break;
    if (*p_ != '\\' || !allowEscapes || p_ + 1 == end_ || !IsShortEscape(p_[1])) return false;
    p_ += 2;
  }
  ++p_;
  return true;
}

// A member name without escapes, so that names equal as text are equal as keys.
bool PlainScan::Name(std::string_view& name) {
  const char* start = p_ + 1;
  if (!String(false)) return false;
  name = std::string_view(start, static_cast<size_t>(p_ - 1 - start));
  return true;
}

bool PlainScan::Literal(std::string_view literal, bool copy) {
  if (static_cast<size_t>(end_ - p_) < literal.size() ||
      std::memcmp(p_, literal.data(), literal.size()) != 0) {
    return false;
  }
  if (copy) Copy(p_, literal.size());
  p_ += literal.size();
  return true;
}

bool PlainScan::Bool(bool& value) {
  value = Peek() == 't';
  return value ? Literal("true", false) : Literal("false", false);
}

// A number in JSON's syntax, copied when JSON.parse reads it as the parser does: not
// "-0" (an integer zero to the parser), not long, not near the range's ends.
bool PlainScan::Number() {
  const char* start = p_;
  const bool negative = Take('-');
  bool significant = false;
  int magnitude = 0;
  bool integer = true;
  if (Take('0')) {
  } else if (IsDigit(Peek())) {
    while (IsDigit(Peek())) {
      significant = significant || *p_ != '0';
      ++magnitude;
      ++p_;
    }
  } else {
    return false;
  }
  if (Take('.')) {
    integer = false;
    if (!IsDigit(Peek())) return false;
    for (; IsDigit(Peek()); ++p_) {
      if (significant) continue;
      if (*p_ != '0') {
        significant = true;
      } else {
        --magnitude;
      }
    }
  }
  if (Peek() == 'e' || Peek() == 'E') {
    integer = false;
    ++p_;
    const bool negativeExponent = Peek() == '-';
    if (Peek() == '-' || Peek() == '+') ++p_;
    if (!IsDigit(Peek())) return false;
    int exponent = 0;
    for (int digits = 0; IsDigit(Peek()); ++p_) {
      if (++digits > 3) return false;
      exponent = exponent * 10 + (*p_ - '0');
    }
    magnitude += negativeExponent ? -exponent : exponent;
  }
  const size_t length = static_cast<size_t>(p_ - start);
  if (length > kMaxNumberLength) return false;
  if (!significant) {
    // A zero too: the parsed road refuses an exponent past the double range whatever the
    // digits before it.
    if ((integer && negative) || magnitude > kMaxMagnitude) return false;
  } else if (magnitude > kMaxMagnitude || magnitude < -kMaxMagnitude) {
    return false;
  }
  Copy(start, length);
  return true;
}

// The identifier, an unsigned integer the size of the ones requests carry.
bool PlainScan::RequestId() {
  if (Take('0')) return true;
  int digits = 0;
  for (; IsDigit(Peek()); ++p_) {
    if (++digits > 19) return false;
  }
  return digits > 0;
}

bool PlainScan::Value(int depth) {
  switch (Peek()) {
    case '"': {
      const char* start = p_;
      if (!String(true)) return false;
      Copy(start, static_cast<size_t>(p_ - start));
      return true;
    }
    case '{':
      return Table(depth);
    case 't':
      return Literal("true", true);
    case 'f':
      return Literal("false", true);
    default:
      return Number();
  }
}

// {"type":"table","value":{...}} with "isList" after "value", before it, or absent.
bool PlainScan::Table(int depth) {
  if (depth >= kMaxDepth || !Take('{')) return false;
  SkipSpace();
  if (!NameIs("type") || !Colon() || !Literal("\"table\"", false)) return false;
  SkipSpace();
  if (!Take(',')) return false;
  SkipSpace();
  std::string_view name;
  if (!Name(name) || !Colon()) return false;
  bool list = false;
  if (Is(name, "isList")) {
    SkipSpace();
    if (!Bool(list)) return false;
    SkipSpace();
    if (!Take(',')) return false;
    SkipSpace();
    if (!NameIs("value") || !Colon() ||
        !Members(depth + 1, list ? Form::List : Form::Object, nullptr)) {
      return false;
    }
    SkipSpace();
    return Take('}');
  }
  if (!Is(name, "value")) return false;
  const size_t open = Written();
  const size_t spanBase = spans_.size();
  bool positional = false;
  if (!Members(depth + 1, Form::Unknown, &positional)) return false;
  SkipSpace();
  if (Take(',')) {
    SkipSpace();
    if (!NameIs("isList") || !Colon() || !Bool(list)) return false;
    SkipSpace();
  }
  if (!Take('}')) return false;
  if (list) {
    // A list's members are named by position; the parsed road writes any other list
    // (which no host sends) in member order, so leave it to that road.
    if (!positional) return false;
    ToList(open, spanBase);
  }
  spans_.resize(spanBase);
  return true;
}

bool PlainScan::Members(int depth, Form form, bool* positional) {
  if (depth >= kMaxDepth || !Take('{')) return false;
  const size_t nameBase = names_.size();
  *w_++ = form == Form::List ? '[' : '{';
  bool byPosition = true;
  uint32_t count = 0;
  SkipSpace();
  if (!Take('}')) {
    for (;;) {
      SkipSpace();
      std::string_view name;
      if (!Name(name)) return false;
      byPosition = byPosition && NamesPosition(name, count);
      if (!Colon()) return false;
      if (count > 0) *w_++ = ',';
      if (form == Form::List) {
        if (!byPosition) return false;
      } else {
        *w_++ = '"';
        Copy(name.data(), name.size());
        *w_++ = '"';
        *w_++ = ':';
        names_.push_back(name);
      }
      const size_t valueStart = Written();
      if (!Value(depth + 1)) return false;
      if (form == Form::Unknown) spans_.push_back(Span{valueStart, Written()});
      ++count;
      SkipSpace();
      if (Take(',')) continue;
      if (Take('}')) break;
      return false;
    }
  }
  *w_++ = form == Form::List ? ']' : '}';
  // Names by position cannot repeat.
  if (!byPosition && RepeatsAName(nameBase)) return false;
  names_.resize(nameBase);
  if (positional != nullptr) *positional = byPosition;
  return true;
}

bool PlainScan::RepeatsAName(size_t base) const {
  const size_t count = names_.size() - base;
  if (count <= kSearchedMembers) {
    for (size_t i = base + 1; i < names_.size(); ++i) {
      for (size_t j = base; j < i; ++j) {
        if (names_[i] == names_[j]) return true;
      }
    }
    return false;
  }
  std::vector<std::string_view> sorted(names_.begin() + static_cast<std::ptrdiff_t>(base),
                                       names_.end());
  std::sort(sorted.begin(), sorted.end());
  return std::adjacent_find(sorted.begin(), sorted.end()) != sorted.end();
}

// Rewrites the object written from open, {"0":a,"1":b}, as the list [a,b], in place:
// every value moves towards the front, past the names dropped before it.
void PlainScan::ToList(size_t open, size_t spanBase) {
  char* at = begin_ + open;
  *at++ = '[';
  for (size_t i = spanBase; i < spans_.size(); ++i) {
    if (i > spanBase) *at++ = ',';
    const size_t size = spans_[i].end - spans_[i].start;
    std::memmove(at, begin_ + spans_[i].start, size);
    at += size;
  }
  *at++ = ']';
  w_ = at;
}

bool PlainScan::Response() {
  SkipSpace();
  if (!Take('{')) return false;
  SkipSpace();
  if (!NameIs("response") || !Colon() || !Take('{')) return false;
  bool seenId = false;
  bool seenStatus = false;
  bool seenResult = false;
  for (;;) {
    SkipSpace();
    std::string_view name;
    if (!Name(name) || !Colon()) return false;
    if (Is(name, "requestId") && !seenId) {
      if (!RequestId()) return false;
      seenId = true;
    } else if (Is(name, "status") && !seenStatus) {
      if (!Literal("true", false)) return false;
      seenStatus = true;
    } else if (Is(name, "result") && !seenResult) {
      // A table, or a plain value on its own: a number, a string or a boolean.
      if (!Value(0)) return false;
      seenResult = true;
    } else {
      return false;
    }
    SkipSpace();
    if (Take(',')) continue;
    if (Take('}')) break;
    return false;
  }
  if (!seenStatus || !seenResult) return false;
  SkipSpace();
  if (!Take('}')) return false;
  SkipSpace();
  // The parser reads up to the first zero byte.
  return p_ == end_ || *p_ == '\0';
}

}  // namespace

bool WritePlainResult(std::string_view responseText, std::string& out, bool* asciiOnly) {
  const size_t start = out.size();
  out.resize(start + responseText.size());
  PlainScan scan(responseText, &out[start]);
  if (!scan.Response()) {
    out.resize(start);
    return false;
  }
  out.resize(start + scan.Written());
  if (asciiOnly != nullptr) *asciiOnly = scan.AsciiOnly();
  return true;
}

}  // namespace IPC
