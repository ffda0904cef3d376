// A response text as the add-on receives it: read into a fresh message, then every typed
// reader on the result and the members nested in it, as the add-on's conversion reads
// them, and the writer's text read back.
#include <cstdint>
#include <string>

#include "FuzzCheck.h"
#include "JsonCompare.h"
#include "MapWalker.h"
#include "ipc/ResponseMessage.h"

namespace {

bool SameText(const std::string& a, const std::string& b) {
  rapidjson::Document x;
  rapidjson::Document y;
  return Fuzz::ParseExactly(a, x) && Fuzz::ParseExactly(b, y) &&
         Fuzz::SameJson(x, y, Fuzz::Doubles::NearlyEqual);
}

using IPC::ResponseMessage;

void CheckUntouched(const ResponseMessage& response) {
  FUZZ_CHECK(!response.status);
  FUZZ_CHECK(response.requestId == ResponseMessage::kNoRequestId);
  FUZZ_CHECK(response.result.IsValid() && response.result.IsEmpty());
  FUZZ_CHECK(response.errorStr.empty());
  FUZZ_CHECK(response.errorCode == ResponseMessage::kNoErrorCode);
  FUZZ_CHECK(response.FormatError().empty());
}

// What the writer gives back is read as the same response, and writing that again gives
// the same text (a response without an identifier writes the value for none).
void CheckRoundTrip(const ResponseMessage& response) {
  const std::string text = response.ToJSONString();
  ResponseMessage back;
  FUZZ_CHECK(back.FromJSONString(text));
  FUZZ_CHECK(back.status == response.status);
  FUZZ_CHECK(back.requestId == (response.requestId != 0 ? response.requestId
                                                        : ResponseMessage::kNoRequestId));
  if (response.status) {
    FUZZ_CHECK(back.result.Has("result") == response.result.Has("result"));
  } else {
    FUZZ_CHECK(back.errorStr == response.errorStr);
    FUZZ_CHECK(back.errorCode ==
               (response.errorStr.empty() ? ResponseMessage::kNoErrorCode : response.errorCode));
  }
  ResponseMessage again;
  FUZZ_CHECK(again.FromJSONString(back.ToJSONString()));
  // The same text, but for floating numbers, which the parser reads back to within
  // their last bits (normal precision).
  FUZZ_CHECK(SameText(again.ToJSONString(), back.ToJSONString()));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  ResponseMessage response;
  if (!response.FromJSONString(text)) {
    CheckUntouched(response);
    return 0;
  }
  // The result map holds at most the one member "result", and only on success.
  FUZZ_CHECK(response.result.IsValid());
  FUZZ_CHECK(response.result.GetKeys().size() <= 1);
  FUZZ_CHECK(response.status || response.result.IsEmpty());
  if (!response.status) FUZZ_CHECK(response.errorStr.find('\0') == std::string::npos);

  // The checks of the add-on: a callback name, or a result of any kind.
  if (response.status && response.result.IsString("result")) {
    (void)response.result.GetString("result");
  }
  (void)response.FormatError();
  Fuzz::WalkMap(response.result);
  CheckRoundTrip(response);
  return 0;
}
