// The text builder: plain appends, runs of bytes that need no escape copied at once.
// Numbers are written by the same routines the document writer uses.
#include "variant/JsonTextBuilder.h"

#include <rapidjson/internal/dtoa.h>

#include <array>
#include <charconv>
#include <cmath>
#include <cstring>

namespace IPC {

namespace {

// The escape of each byte inside a string, as the document writer escapes it: 'u' for
// \u00XX, a letter for its short form, the byte itself for '"' and '\\', 0 for none.
constexpr std::array<char, 256> MakeEscapes() {
  std::array<char, 256> escapes{};
  for (int c = 0; c < 0x20; ++c) escapes[c] = 'u';
  escapes['\b'] = 'b';
  escapes['\t'] = 't';
  escapes['\n'] = 'n';
  escapes['\f'] = 'f';
  escapes['\r'] = 'r';
  escapes['"'] = '"';
  escapes['\\'] = '\\';
  return escapes;
}
constexpr std::array<char, 256> kEscapes = MakeEscapes();

constexpr char kHexDigits[] = "0123456789ABCDEF";

template <typename Integer>
void AppendInteger(std::string& out, Integer value) {
  char digits[24];
  const auto written = std::to_chars(digits, digits + sizeof digits, value);
  out.append(digits, static_cast<size_t>(written.ptr - digits));
}

}  // namespace

bool JsonTextBuilder::Separator() {
  if (afterKey_) {
    afterKey_ = false;
    return false;
  }
  if (open_.empty()) return false;
  const bool comma = !first_;
  first_ = false;
  return comma;
}

void JsonTextBuilder::Separate() {
  if (Separator()) out_ += ',';
}

void JsonTextBuilder::Open(char bracket) {
  Separate();
  open_ += first_ ? '0' : '1';
  first_ = true;
  out_ += bracket;
}

void JsonTextBuilder::Close(char bracket) {
  out_ += bracket;
  first_ = open_.back() == '0';
  open_.pop_back();
}

bool JsonTextBuilder::AppendUnescaped(bool comma, std::string_view text, char after) {
  for (const char c : text) {
    if (kEscapes[static_cast<unsigned char>(c)] != 0) return false;
  }
  const size_t at = out_.size();
  // Quotes throughout, then the rest written over them.
  out_.append(text.size() + 2 + (comma ? 1 : 0) + (after != '\0' ? 1 : 0), '"');
  char* write = &out_[at];
  if (comma) *write++ = ',';
  if (!text.empty()) std::memcpy(write + 1, text.data(), text.size());
  if (after != '\0') write[text.size() + 2] = after;
  return true;
}

void JsonTextBuilder::Quoted(std::string_view text) {
  out_.reserve(out_.size() + text.size() + 2);
  out_ += '"';
  const char* run = text.data();
  const char* const end = run + text.size();
  for (const char* p = run; p != end; ++p) {
    const char escape = kEscapes[static_cast<unsigned char>(*p)];
    if (escape == 0) continue;
    out_.append(run, static_cast<size_t>(p - run));
    out_ += '\\';
    out_ += escape;
    if (escape == 'u') {
      const auto byte = static_cast<unsigned char>(*p);
      out_ += "00";
      out_ += kHexDigits[byte >> 4];
      out_ += kHexDigits[byte & 0xF];
    }
    run = p + 1;
  }
  out_.append(run, static_cast<size_t>(end - run));
  out_ += '"';
}

void JsonTextBuilder::Bool(bool value) {
  Separate();
  out_ += value ? "true" : "false";
}

void JsonTextBuilder::Int(int32_t value) {
  Separate();
  AppendInteger(out_, value);
}

void JsonTextBuilder::Int64(int64_t value) {
  Separate();
  AppendInteger(out_, value);
}

void JsonTextBuilder::Null() {
  Separate();
  out_ += "null";
}

void JsonTextBuilder::UInt64(uint64_t value) {
  Separate();
  AppendInteger(out_, value);
}

void JsonTextBuilder::Double(double value) {
  Separate();
  if (!std::isfinite(value)) {
    out_ += "null";
    return;
  }
  char buffer[32];
  // The document writer's own routine and its default of 324 decimal places.
  char* end = rapidjson::internal::dtoa(value, buffer, 324);
  out_.append(buffer, static_cast<size_t>(end - buffer));
}

void JsonTextBuilder::String(std::string_view text) {
  const bool comma = Separator();
  if (AppendUnescaped(comma, text, '\0')) return;
  if (comma) out_ += ',';
  Quoted(text);
}

void JsonTextBuilder::Key(std::string_view name) {
  const bool comma = Separator();
  if (!AppendUnescaped(comma, name, ':')) {
    if (comma) out_ += ',';
    Quoted(name);
    out_ += ':';
  }
  afterKey_ = true;
}

void JsonTextBuilder::StartObject() { Open('{'); }
void JsonTextBuilder::EndObject() { Close('}'); }
void JsonTextBuilder::StartArray() { Open('['); }
void JsonTextBuilder::EndArray() { Close(']'); }

void JsonTextBuilder::NextValue() {
  open_.clear();
  first_ = true;
  afterKey_ = false;
}

}  // namespace IPC
