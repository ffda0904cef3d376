// A request text as the host receives it: read into a fresh message, every argument
// through the typed readers, and the writer's text read back.
#include <cstdint>
#include <string>

#include "FuzzCheck.h"
#include "JsonCompare.h"
#include "MapWalker.h"
#include "ipc/RequestMessage.h"

namespace {

bool SameText(const std::string& a, const std::string& b) {
  rapidjson::Document x;
  rapidjson::Document y;
  return Fuzz::ParseExactly(a, x) && Fuzz::ParseExactly(b, y) &&
         Fuzz::SameJson(x, y, Fuzz::Doubles::NearlyEqual);
}

using IPC::RequestMessage;

void CheckRoundTrip(const RequestMessage& request) {
  const std::string text = request.ToJSONString();
  RequestMessage back;
  FUZZ_CHECK(back.FromJSONString(text));
  FUZZ_CHECK(back.requestId == request.requestId);
  FUZZ_CHECK(back.name == request.name);
  FUZZ_CHECK(back.proxyId == (request.proxyId >= 0 ? request.proxyId : -1));
  // Arguments that are not an object are not written.
  if (request.args.IsValid()) {
    FUZZ_CHECK(back.args.GetKeys() == request.args.GetKeys());
  }
  RequestMessage again;
  FUZZ_CHECK(again.FromJSONString(back.ToJSONString()));
  // The same text, but for floating numbers, which the parser reads back to within
  // their last bits (normal precision).
  FUZZ_CHECK(SameText(again.ToJSONString(), back.ToJSONString()));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  RequestMessage request;
  if (!request.FromJSONString(text)) {
    FUZZ_CHECK(request.requestId == 0 && request.name.empty() && request.proxyId == -1);
    FUZZ_CHECK(request.args.IsValid() && request.args.IsEmpty());
    return 0;
  }
  FUZZ_CHECK(request.name.find('\0') == std::string::npos);
  Fuzz::WalkMap(request.args);
  CheckRoundTrip(request);
  return 0;
}
