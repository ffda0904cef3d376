// How failures reach JavaScript: one plain Error whose message is the operation's
// name, ": " and a fixed text; and the verdict on a host response.
#pragma once

#include <string>

#include <napi.h>

#include "ipc/ResponseMessage.h"

namespace Hostlink {

// Texts shared by several operations.
extern const char* const kNotInitializedText;
extern const char* const kExceptionText;

// Throws operation + ": " + text as a plain Error (no code) and returns an empty
// value for the caller to return.
Napi::Value ThrowJsError(Napi::Env env, const std::string& operation, const std::string& text);

// Throws a message that already carries its operation prefix.
Napi::Value ThrowJsMessage(Napi::Env env, const std::string& message);

// Parses responseText into response. True when it may be used; otherwise false with
// errorText holding the complete message (operation prefix included) to throw.
bool CheckResponse(const std::string& operation, const std::string& responseText,
                   IPC::ResponseMessage& response, std::string& errorText, bool resultRequired);

}  // namespace Hostlink
