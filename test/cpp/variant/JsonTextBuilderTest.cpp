// The text builder must write exactly what RapidJSON's own writer writes for the same
// value: it writes every message, and peers written with RapidJSON's writer (and this
// system's earlier messages) are the reference.
#include <gtest/gtest.h>
#include <rapidjson/writer.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <string>

#include "variant/JsonTextBuilder.h"
#include "variant/JsonTextWriter.h"
#include "variant/JsonValueBuilder.h"
#include "variant/KvVariantMapImpl.h"
#include "variant/StringAppendStream.h"
#include "variant/KvVariantMap.h"

namespace {

using IPC::JsonSink;

// Writes the same pseudo-random value into any sink: nested objects and arrays, strings
// of every byte, integers at their bounds and doubles of every magnitude.
void WriteRandom(JsonSink& sink, std::mt19937_64& random, int depth) {
  const auto pick = [&](uint64_t n) { return random() % n; };
  const auto text = [&] {
    std::string s(pick(12), '\0');
    for (char& c : s) c = static_cast<char>(pick(4) == 0 ? pick(256) : 'a' + pick(26));
    return s;
  };
  switch (depth > 3 ? pick(5) : pick(7)) {
    case 0:
      sink.Bool(pick(2) == 0);
      return;
    case 1: {
      const int32_t bounds[] = {0, -1, std::numeric_limits<int32_t>::min(),
                                std::numeric_limits<int32_t>::max(), static_cast<int32_t>(random())};
      sink.Int(bounds[pick(5)]);
      return;
    }
    case 2: {
      const int64_t bounds[] = {std::numeric_limits<int64_t>::min(),
                                std::numeric_limits<int64_t>::max(), static_cast<int64_t>(random())};
      sink.Int64(bounds[pick(3)]);
      return;
    }
    case 3: {
      double d;
      const uint64_t bits = random();
      std::memcpy(&d, &bits, sizeof d);  // every magnitude, subnormals, NaN and infinities
      const double special[] = {d, 0.0, -0.0, 0.1, 1e21, 1e-7, 5e-324, 123456789.125, d};
      sink.Double(special[pick(9)]);
      return;
    }
    case 4:
      sink.String(text());
      return;
    case 5: {
      sink.StartObject();
      for (uint64_t i = pick(4); i > 0; --i) {
        sink.Key(text());
        WriteRandom(sink, random, depth + 1);
      }
      sink.EndObject();
      return;
    }
    default: {
      sink.StartArray();
      for (uint64_t i = pick(4); i > 0; --i) WriteRandom(sink, random, depth + 1);
      sink.EndArray();
      return;
    }
  }
}

TEST(JsonTextBuilder, WritesEveryValueByteForByteAsRapidJsonsWriterDoes) {
  for (uint64_t seed = 0; seed < 3000; ++seed) {
    std::mt19937_64 forText(seed);
    std::mt19937_64 forDocument(seed);
    std::string text;
    IPC::JsonTextBuilder textSink(text);
    textSink.StartObject();
    textSink.Key("v");
    WriteRandom(textSink, forText, 0);
    textSink.EndObject();

    IPC::KvVariantMap document;
    IPC::JsonValueBuilder documentSink(document);
    WriteRandom(documentSink, forDocument, 0);
    documentSink.StoreAs("v");
    std::string reference;
    IPC::StringAppendStream stream(reference);
    IPC::NonFiniteAsNullWriter<rapidjson::Writer<IPC::StringAppendStream>> writer(stream);
    IPC::KvVariantMapImpl::Of(document).document.Accept(writer);
    ASSERT_EQ(text, reference) << "seed " << seed;
    // A whole map's compact text is the builder's too.
    ASSERT_EQ(document.ToJSONString(true), reference) << "seed " << seed;
  }
}

TEST(JsonTextBuilder, ValuesWrittenAfterTheCallersOwnTextStartAfresh) {
  std::string text = "{\"a\":";
  IPC::JsonTextBuilder sink(text);
  sink.StartArray();
  sink.Int(1);
  sink.EndArray();
  text += ",\"b\":";
  sink.NextValue();
  sink.String("x");
  text += '}';
  EXPECT_EQ(text, R"({"a":[1],"b":"x"})");
}

}  // namespace
