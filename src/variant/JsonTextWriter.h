// Writes a JSON value in the compact or the indented layout, with non-finite numbers
// written as null so that the output is always valid JSON.
#pragma once

#include <rapidjson/document.h>
#include <rapidjson/prettywriter.h>
#include <rapidjson/writer.h>

#include <cmath>

namespace IPC {

// RapidJSON's writers refuse NaN and infinities and stop mid-document; this one writes
// null in their place, as JavaScript's JSON.stringify does.
template <typename BaseWriter>
class NonFiniteAsNullWriter : public BaseWriter {
 public:
  using BaseWriter::BaseWriter;

  bool Double(double d) { return std::isfinite(d) ? BaseWriter::Double(d) : BaseWriter::Null(); }
};

// Compact: no white space. Indented: four blanks per level, a line feed before each
// member and element. Neither ends with a line feed.
template <typename OutputStream>
void WriteJsonText(const rapidjson::Value& root, OutputStream& out, bool compact) {
  if (compact) {
    NonFiniteAsNullWriter<rapidjson::Writer<OutputStream>> writer(out);
    root.Accept(writer);
  } else {
    NonFiniteAsNullWriter<rapidjson::PrettyWriter<OutputStream>> writer(out);
    root.Accept(writer);
  }
}

}  // namespace IPC
