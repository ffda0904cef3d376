// Structural comparison of JSON values, used as the harnesses' oracle for round trips.
#pragma once

#include <rapidjson/document.h>

#include <string>

namespace Fuzz {

// How far two floating numbers may differ: exactly, or by the last bits that the
// normal-precision number parser of the variant map may get wrong.
enum class Doubles { Exact, NearlyEqual };

// Same kinds, same member names in the same order, same strings byte for byte, same
// integers; floating numbers as `doubles` says.
bool SameJson(const rapidjson::Value& a, const rapidjson::Value& b, Doubles doubles);

// Parses text exactly (full precision) with RapidJSON; false when it is not JSON.
bool ParseExactly(const std::string& text, rapidjson::Document& document);

}  // namespace Fuzz
