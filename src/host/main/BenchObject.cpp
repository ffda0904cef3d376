// The benchmark functions.
#include "BenchObject.h"

#include <string>
#include <utility>

#include "host/CallError.h"

namespace ReferenceHost {

using Host::Arguments;
using Host::ErrorCode;
using Host::Result;
using Host::Value;

namespace {

// Pseudo-random words from a small vocabulary: compresses like text, not like a run of
// one letter (whose ratio the channel's decompression limit would refuse).
std::string WordText(int64_t length) {
  static const char* const kWords[] = {"host",  "plug",   "pipe",  "shape", "table",
                                       "proxy", "call",   "value", "list",  "title",
                                       "draw",  "render", "move",  "layer", "point"};
  std::string text;
  text.reserve(static_cast<size_t>(length));
  uint32_t state = 2463534242u;
  while (static_cast<int64_t>(text.size()) < length) {
    state ^= state << 13;
    state ^= state >> 17;
    state ^= state << 5;
    text += kWords[state % (sizeof(kWords) / sizeof(kWords[0]))];
    text += static_cast<char>('a' + (state >> 8) % 26);
    text += ' ';
  }
  text.resize(static_cast<size_t>(length));
  return text;
}

}  // namespace

BenchObject::BenchObject(Notify notify, const Host::ObjectRegistry& registry)
    : HostObject("Bench", "bench"), timer_(std::make_unique<CallbackTimer>(std::move(notify))) {
  Define("NewObject", [this](const Arguments&) -> Result {
    auto temp = std::make_shared<Host::HostObject>("Temp");
    temp->SetHold(Host::HostObject::Hold::ReleasedByPlugin);
    temp->Define("GetSerial", [serial = ++serial_](const Arguments&) -> Result { return serial; });
    lastObject_ = temp;
    return Value(std::move(temp));
  });
  Define("LastObject", [this](const Arguments&) -> Result {
    Host::ObjectPtr last = lastObject_.lock();
    return last ? Result(Value(std::move(last))) : Result();
  });
  Define("RegistrySize", [&registry](const Arguments&) -> Result {
    return static_cast<int64_t>(registry.Size());
  });
  Define("Noop", [](const Arguments&) { return Result(); });
  Define("Echo", [](const Arguments& args) -> Result { return args.At(0); });
  Define("Add", [](const Arguments& args) -> Result {
    const Value& a = args.At(0);
    const Value& b = args.At(1);
    if (a.IsInt() && b.IsInt()) {
      return a.AsInt() + b.AsInt();
    }
    return args.GetNumber(0) + args.GetNumber(1);
  });
  Define("MakeList", [](const Arguments& args) -> Result {
    const int64_t n = Count(args);
    Host::ValueList list;
    list.reserve(static_cast<size_t>(n));
    for (int64_t i = 0; i < n; ++i) {
      list.push_back(
          Value::Map({{"index", i}, {"name", "item-" + std::to_string(i)}, {"value", i * 0.5}}));
    }
    return Value(std::move(list));
  });
  Define("MakeTable", [](const Arguments& args) -> Result {
    const int64_t n = Count(args);
    Host::ValueMap table;
    table.reserve(static_cast<size_t>(n));
    for (int64_t i = 0; i < n; ++i) {
      table.emplace_back("k" + std::to_string(i), Value(i));
    }
    return Value(std::move(table));
  });
  Define("MakeString", [](const Arguments& args) -> Result { return WordText(Count(args)); });
  Define("TakeString", [](const Arguments& args) -> Result {
    return static_cast<int64_t>(args.GetString(0).size());
  });
  Define("FireAfter", [this](const Arguments& args) {
    const int64_t delayMs = args.GetInt(1, 0);
    if (delayMs < 0 || delayMs > kMaxDelayMs) {
      throw Host::CallError("Delay must be from 0 to " + std::to_string(kMaxDelayMs) + " ms",
                            ErrorCode::BadArgument);
    }
    timer_->FireAfter(args.GetString(0), static_cast<uint32_t>(delayMs));
    return Result();
  });
  Define("TakeFireTimes", [this](const Arguments&) -> Result {
    const std::vector<int64_t> times = timer_->TakeFireTimes();
    return Value(Host::ValueList(times.begin(), times.end()));
  });
}

int64_t BenchObject::Count(const Arguments& args) {
  const int64_t n = args.GetInt(0);
  if (n < 0 || n > kMaxCount) {
    throw Host::CallError("Count must be from 0 to " + std::to_string(kMaxCount),
                          ErrorCode::BadArgument);
  }
  return n;
}

}  // namespace ReferenceHost
