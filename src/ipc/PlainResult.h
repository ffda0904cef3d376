// A successful response's result, a table of plain values or one plain value, read
// straight from the response text into the plain JSON text that JSON.parse builds the
// plug-in's values from, in one pass with no parsed document: for large results the parse
// and the rewrite cost more than JSON.parse itself, and for the smallest the parsed
// document's allocations are most of what reading the answer costs.
#pragma once

#include <string>
#include <string_view>

namespace IPC {

// Appends the plain text of the result when responseText is {"response":{...}} holding
// "status": true, a "result" that is a table of plain values as hosts write tables
// ({"type":"table","value":{...}} with "isList" after "value", before it or absent) or a
// plain value on its own (a number, a string, true or false), and
// at most an unsigned integer "requestId"; strings, numbers and member names are copied
// as they are. *asciiOnly tells whether every byte appended is below 0x80.
//
// It takes only what the parsed road (WireCodec::WritePlainJson of the parsed message)
// reads to the same values, so anything else is false, with out as it was, and takes
// that road: any other member, a repeated name, a name with an escape, a \u escape, "-0",
// a number whose exponent reaches past 10^300, nesting deeper than 64, null, bare
// arrays, proxies, a zero byte before the text ends, and whatever the parser refuses.
bool WritePlainResult(std::string_view responseText, std::string& out, bool* asciiOnly);

}  // namespace IPC
