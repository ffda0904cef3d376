// Structural comparison of JSON values, used as the harnesses' oracle for round trips.
#pragma once

#include <rapidjson/document.h>

#include <string>

namespace Fuzz {

// How far two floating numbers may differ: exactly, or by the last bits that the
// normal-precision number parser of the variant map may get wrong.
enum class Doubles { Exact, NearlyEqual };

// Whether an infinite number on the left may stand for a null on the right, as the writer
// writes it (the parser lets a few out-of-range spellings through as infinities).
enum class NonFinite { Same, WrittenAsNull };

// Same kinds, same member names in the same order, same strings byte for byte, same
// integers; floating numbers as `doubles` and `nonFinite` say.
bool SameJson(const rapidjson::Value& a, const rapidjson::Value& b, Doubles doubles,
              NonFinite nonFinite = NonFinite::Same);

// Parses text exactly (full precision) with RapidJSON; false when it is not JSON.
bool ParseExactly(const std::string& text, rapidjson::Document& document);

// Parses text as the variant map must: RapidJSON's parse, each double read to the nearest
// value, except that a number beyond the double range fails it. False on failure.
bool ParsesAsAMap(const std::string& text, rapidjson::Document& document);

}  // namespace Fuzz
