// The error convention of every JavaScript-facing operation.
#include "bridge/Errors.h"

#include <string_view>

#include "base/PeerText.h"

namespace Hostlink {

const char* const kNotInitializedText = "Not initialized, call Initialize(<pluginId>) first";
const char* const kExceptionText = "Exception occured while performing operation";

Napi::Value ThrowJsError(Napi::Env env, const std::string& operation, const std::string& text) {
  return ThrowJsMessage(env, operation + ": " + text);
}

Napi::Value ThrowJsMessage(Napi::Env env, const std::string& message) {
  // A host's text may hold bytes that are not UTF-8, which some runtimes' Node-API turn
  // into an empty message: the message is made valid UTF-8 first. As ever, it ends at its
  // first zero byte.
  const std::string valid = IPC::ValidUtf8(std::string_view(message.c_str()));
  napi_value text = nullptr;
  napi_value error = nullptr;
  if (napi_create_string_utf8(env, valid.data(), valid.size(), &text) == napi_ok &&
      napi_create_error(env, nullptr, text, &error) == napi_ok) {
    napi_throw(env, error);
  }
  return Napi::Value();
}

bool CheckResponse(const std::string& operation, const std::string& responseText,
                   IPC::ResponseMessage& response, std::string& errorText, bool resultRequired) {
  if (!response.FromJSONString(responseText)) {
    errorText = operation + ": Invalid response: " + responseText;
    return false;
  }
  if (!response.status) {
    errorText = operation + ": Error response" + response.FormatError();
    return false;
  }
  if (!resultRequired || !response.result.IsEmpty()) {
    return true;
  }
  errorText = operation + ": Bad response: " + responseText;
  return false;
}

}  // namespace Hostlink
