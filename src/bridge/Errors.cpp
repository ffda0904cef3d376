// The error convention of every JavaScript-facing operation.
#include "bridge/Errors.h"

namespace Hostlink {

const char* const kNotInitializedText = "Not initialized, call Initialize(<pluginId>) first";
const char* const kExceptionText = "Exception occured while performing operation";

Napi::Value ThrowJsError(Napi::Env env, const std::string& operation, const std::string& text) {
  return ThrowJsMessage(env, operation + ": " + text);
}

Napi::Value ThrowJsMessage(Napi::Env env, const std::string& message) {
  napi_throw_error(env, nullptr, message.c_str());
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
