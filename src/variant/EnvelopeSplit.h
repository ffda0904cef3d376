// Takes the bulk of a parsed message apart without copying it: in {"request": {...,
// "args": {...}}} or {"response": {..., "result": ...}} the arguments or the result may be
// most of the message, so they are moved out of the parsed document (with its pool)
// instead of being copied, and only the small rest of the body is copied.
#pragma once

#include <string>

#include "variant/KvVariantMap.h"

namespace IPC {

// Where the moved-out member goes.
enum class BulkForm {
  // bulk becomes {"<bulkKey>": value}, whatever the value's kind.
  Member,
  // bulk's root becomes the value as a keyed map read sees it: a list by its first
  // element, an empty list as an empty map.
  PresentAsRoot,
};

// message holds a map under envelope (read as GetMap reads it, a list by its first
// element); false, with nothing changed, when it does not. Otherwise body gets the rest
// of that map, with null in the bulk member's place, and, when the member is there
// (*hasBulk), bulk gets its value in the given form and message takes bulk's former
// content (pass an empty bulk).
bool SplitEnvelope(KvVariantMap& message, const std::string& envelope, const std::string& bulkKey,
                   BulkForm form, KvVariantMap& body, KvVariantMap& bulk, bool* hasBulk);

}  // namespace IPC
