// Writes the seed corpus: requests and responses made by the message classes exactly as
// the add-on and the host make them, and their bzip2 streams as the channel sends them,
// with the hostile streams a channel must survive. Run from the repository root:
//   build-fuzz/make_seeds fuzz/corpus
#include <bzlib.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "ipc/ProxyInfo.h"
#include "ipc/ProxyRef.h"
#include "ipc/RequestMessage.h"
#include "ipc/ResponseMessage.h"
#include "ipc/TableValue.h"
#include "transport/Bzip2Codec.h"
#include "transport/NamedPipe.h"
#include "variant/KvVariantMap.h"

namespace {

using IPC::KvVariantMap;
using IPC::RequestMessage;
using IPC::ResponseMessage;

// Identifiers are time stamps; a fixed one keeps the corpus the same from run to run.
constexpr uint64_t kRequestId = 1718000000000;

using Seeds = std::vector<std::pair<std::string, std::string>>;

RequestMessage Request(const std::string& name, KvVariantMap args, int64_t proxyId) {
  RequestMessage request(name, std::move(args), proxyId);
  request.requestId = kRequestId;
  return request;
}

KvVariantMap Table(const KvVariantMap& value, bool isList) {
  IPC::TableValue table;
  table.value = value;
  table.isList = isList;
  return table.ToVariantMap();
}

KvVariantMap Reference(int64_t proxyId) {
  IPC::ProxyRef reference;
  reference.proxyId = proxyId;
  return reference.ToVariantMap();
}

KvVariantMap Proxy(int64_t proxyId, const std::string& uniqueId, const std::string& name,
                   std::vector<std::string> functions) {
  IPC::ProxyInfo info;
  info.proxyId = proxyId;
  info.uniqueId = uniqueId;
  info.name = name;
  info.functions = std::move(functions);
  return info.ToVariantMap();
}

Seeds Requests() {
  KvVariantMap timeout;
  timeout.Set("timeout", uint32_t{5000});
  KvVariantMap callback;
  callback.Set("0", "DocumentChanged");
  KvVariantMap unload;
  unload.Set("id", "com.example.plugin");

  // A document description: a table with a nested list and a number of each kind.
  KvVariantMap point;
  point.Set("x", 12.5);
  point.Set("y", int64_t{-3});
  KvVariantMap corners;
  corners.Set("0", Table(point, false));
  corners.Set("1", Table(point, false));
  KvVariantMap shape;
  shape.Set("type", "rectangle");
  shape.Set("corners", Table(corners, true));
  shape.Set("filled", true);
  shape.Set("label", "caf\xc3\xa9 \"quoted\"\n");
  KvVariantMap addShape;
  addShape.Set("0", Table(shape, false));
  addShape.Set("1", Reference(7));

  KvVariantMap create;
  create.Set("0", "Plan");
  create.Set("1", int64_t{4294967296});
  create.Set("2", 0.1);

  KvVariantMap echo;
  echo.Set("0", Reference(2147483647));
  KvVariantMap strings;
  strings.Set("0", "a");
  strings.Set("1", "");
  echo.Set("1", Table(strings, true));
  echo.Set("2", false);

  return {
      {"get_kestrel", Request("GetKestrel", KvVariantMap(), -1).ToJSONString()},
      {"set_api_timeout", Request("SetAPITimeout", timeout, -1).ToJSONString()},
      {"register_callback", Request("RegisterCallback", callback, -1).ToJSONString()},
      {"deregister_callback", Request("DeregisterCallback", callback, -1).ToJSONString()},
      {"unload_plugin", Request("UnloadPlugin", unload, -1).ToJSONString()},
      {"call_no_args", Request("GetName", KvVariantMap(), 1).ToJSONString()},
      {"call_proxy_zero", Request("GetDocuments", KvVariantMap(), 0).ToJSONString()},
      {"call_table_and_ref", Request("AddShape", addShape, 3).ToJSONString()},
      {"call_numbers", Request("Create", create, 2).ToJSONString()},
      {"call_list_and_ref", Request("Echo", echo, 1).ToJSONString()},
      {"default_request", RequestMessage().ToJSONString()},
  };
}

// Calls of the object model of the dispatch harness: the root is object 1 and a document
// object 2, as the host registers them.
Seeds HostCalls() {
  KvVariantMap row;
  row.Set("name", "rectangle");
  row.Set("width", 2.5);
  row.Set("count", int32_t{3});
  KvVariantMap rows;
  rows.Set("0", Table(row, false));
  rows.Set("1", Reference(2));
  KvVariantMap echo;
  echo.Set("0", Table(rows, true));
  echo.Set("1", "text");
  KvVariantMap document;
  document.Set("0", Reference(2));
  KvVariantMap stale;
  stale.Set("0", Reference(1234));
  KvVariantMap depth;
  depth.Set("0", int32_t{70});
  KvVariantMap numbers;
  numbers.Set("0", 1e300);
  numbers.Set("1", 1e300);
  KvVariantMap bareArray("{\"0\":[1,2]}");
  return {
      {"dispatch_get_kestrel", Request("GetKestrel", KvVariantMap(), -1).ToJSONString()},
      {"dispatch_echo_all", Request("EchoAll", echo, 1).ToJSONString()},
      {"dispatch_get_list", Request("GetList", echo, 1).ToJSONString()},
      {"dispatch_get_document", Request("GetDocument", document, 1).ToJSONString()},
      {"dispatch_stale_reference", Request("GetObject", stale, 1).ToJSONString()},
      {"dispatch_nested_result", Request("Nested", depth, 1).ToJSONString()},
      {"dispatch_not_finite", Request("Scale", numbers, 1).ToJSONString()},
      {"dispatch_bare_array", Request("Echo", bareArray, 1).ToJSONString()},
      {"dispatch_make_document", Request("MakeDocument", KvVariantMap(), 1).ToJSONString()},
      {"dispatch_document_call", Request("GetTitle", KvVariantMap(), 2).ToJSONString()},
      {"dispatch_unknown_object", Request("GetTitle", KvVariantMap(), 99).ToJSONString()},
      {"dispatch_refuse", Request("Refuse", KvVariantMap(), 1).ToJSONString()},
      {"dispatch_throw", Request("Throw", KvVariantMap(), 1).ToJSONString()},
  };
}

Seeds Responses() {
  const KvVariantMap application =
      Proxy(1, "app", "Application",
            {"GetName", "GetVersion", "GetInfo", "GetDocuments", "GetBench", "Echo"});
  KvVariantMap info;
  info.Set("name", "Reference Host");
  info.Set("documents", int32_t{2});
  KvVariantMap types;
  types.Set("0", "rectangle");
  types.Set("1", "ellipse");
  info.Set("shapeTypes", Table(types, true));
  KvVariantMap documents;
  documents.Set("0", Proxy(4, "doc-1", "Document", {"GetTitle", "SetTitle", "AddShape"}));
  documents.Set("1", Proxy(5, "doc-2", "Document", {"GetTitle", "SetTitle", "AddShape"}));
  KvVariantMap numbers;
  numbers.Set("int", int32_t{-2147483647 - 1});
  numbers.Set("big", uint64_t{18446744073709551615u});
  numbers.Set("double", 1e300);
  numbers.Set("tiny", 5e-324);

  KvVariantMap callbackName;
  callbackName.Set("result", "DocumentChanged");

  return {
      {"get_kestrel_proxy", ResponseMessage(kRequestId, application).ToJSONString()},
      {"plain_success", ResponseMessage::Success().ToJSONString()},
      {"string_result", ResponseMessage(kRequestId, std::string("Reference Host")).ToJSONString()},
      {"table_result", ResponseMessage(kRequestId, Table(info, false)).ToJSONString()},
      {"list_of_proxies", ResponseMessage(kRequestId, Table(documents, true)).ToJSONString()},
      {"numbers_table", ResponseMessage(kRequestId, Table(numbers, false)).ToJSONString()},
      {"proxy_ref_result", ResponseMessage(kRequestId, Reference(9)).ToJSONString()},
      {"error_with_code", ResponseMessage(kRequestId, "No such function: Fly", 3).ToJSONString()},
      {"error_without_code", ResponseMessage(kRequestId, "Busy", -1).ToJSONString()},
      {"error_code_only", ResponseMessage(kRequestId, "", 5).ToJSONString()},
      {"callback", "{\"response\":{\"status\":true,\"result\":\"DocumentChanged\"}}"},
      {"scalar_int", "{\"response\":{\"requestId\":1718000000000,\"status\":true,\"result\":5}}"},
      {"scalar_double", "{\"response\":{\"status\":true,\"result\":-0.5e-3}}"},
      {"array_result", "{\"response\":{\"status\":true,\"result\":[{\"type\":\"table\"},1]}}"},
      {"empty_response", "{\"response\":{}}"},
  };
}

// Inputs the JSON parser must refuse or handle at its limits.
Seeds HostileJson() {
  return {
      {"nested_513", std::string(513, '[') + std::string(513, ']')},
      {"nested_512", "{\"a\":" + std::string(511, '[') + std::string(511, ']') + "}"},
      {"long_exponent", "{\"a\":1e999999999}"},
      {"nul_in_string", "{\"a\":\"x\\u0000y\",\"b\":\"\xff\xfe\"}"},
      {"surrogates", "{\"\\ud83d\\ude00\":\"\\ud800\"}"},
      {"duplicate_names", "{\"a\":1,\"a\":{\"b\":[]},\"a\":[true,\"x\"]}"},
      {"not_object", "[1,2]"},
  };
}

// The operations harness reads its input as a script of choices, which no real message
// resembles: a few fixed byte sequences give it somewhere to start.
Seeds OperationScripts() {
  Seeds scripts;
  uint32_t x = 7;
  for (int i = 0; i < 8; ++i) {
    std::string bytes;
    for (size_t n = 0; n < 64u << (i % 4); ++n) {
      x = x * 1103515245u + 12345u;
      bytes += static_cast<char>(x >> 23);
    }
    scripts.emplace_back("script_" + std::to_string(i), bytes);
  }
  return scripts;
}

std::string Compress(IPC::Bzip2Codec& codec, const std::string& text) {
  std::string stream;
  if (codec.Compress(text, stream) != BZ_OK) std::abort();
  return stream;
}

// A stream as the library writes it without the channel's NUL (a stream of nothing).
std::string CompressRaw(const std::string& content) {
  std::string stream(content.size() + 1024, '\0');
  unsigned int length = static_cast<unsigned int>(stream.size());
  if (BZ2_bzBuffToBuffCompress(&stream[0], &length, const_cast<char*>(content.data()),
                               static_cast<unsigned int>(content.size()), 9, 0, 0) != BZ_OK) {
    std::abort();
  }
  stream.resize(length);
  return stream;
}

Seeds Streams(const Seeds& messages) {
  IPC::Bzip2Codec codec;
  Seeds streams;
  for (const auto& [name, text] : messages) streams.emplace_back(name, Compress(codec, text));

  const std::string sample = Compress(codec, messages.front().second);
  std::string corrupt = sample;
  corrupt[corrupt.size() / 2] ^= 0x5a;
  // Far more than 100 times its compressed size: the output limit stops it.
  const std::string bomb = Compress(codec, std::string(8 << 20, '\0'));
  // A long message that compresses only a little, as a large table does.
  std::string noise;
  for (uint32_t x = 1; noise.size() < 8192; x = x * 1103515245u + 12345u) {
    noise += static_cast<char>('a' + (x >> 16) % 26);
  }
  const std::string large = Compress(codec, "{\"response\":{\"status\":true,\"result\":\"" + noise + "\"}}");
  // Content of exactly the decompression limit (100 times the stream's length), and one
  // byte more: the first decompresses, the second is refused as too large. Some noise sets
  // the stream's length; a run, which costs almost nothing compressed, fills up the rest.
  for (size_t extra = 0; extra <= 1; ++extra) {
    for (size_t noiseLength = 1; noiseLength < 400; ++noiseLength) {
      const std::string head = noise.substr(0, noiseLength);
      std::string stream = Compress(codec, head);
      std::string text;
      for (int attempt = 0; attempt < 8; ++attempt) {
        const size_t wanted = 100 * stream.size() + extra;  // content: the text and its NUL
        if (wanted < head.size() + 1) break;
        text = head + std::string(wanted - head.size() - 1, 'x');
        const std::string next = Compress(codec, text);
        const bool settled = next.size() == stream.size();
        stream = next;
        if (settled) break;
      }
      if (!text.empty() && text.size() + 1 == 100 * stream.size() + extra) {
        streams.emplace_back(extra == 0 ? "at_ratio_limit" : "over_ratio_limit", stream);
        break;
      }
    }
  }
  streams.insert(streams.end(), {
                                    {"bomb_8mb_zeros", bomb},
                                    {"large_message", large},
                                    {"truncated", sample.substr(0, sample.size() / 2)},
                                    {"header_only", sample.substr(0, 4)},
                                    {"corrupt_block", corrupt},
                                    {"trailing_garbage", sample + "garbage"},
                                    {"two_streams", sample + sample},
                                    {"stream_of_nothing", CompressRaw("")},
                                    {"empty", ""},
                                    {"not_bzip2", "{\"response\":{\"status\":true}}"},
                                });
  return streams;
}

void Write(const std::filesystem::path& folder, const Seeds& seeds) {
  std::filesystem::create_directories(folder);
  for (const auto& [name, content] : seeds) {
    std::FILE* file = std::fopen((folder / name).c_str(), "wb");
    if (file == nullptr || std::fwrite(content.data(), 1, content.size(), file) != content.size()) {
      std::perror(name.c_str());
      std::exit(1);
    }
    std::fclose(file);
  }
}

Seeds Join(std::initializer_list<Seeds> parts) {
  Seeds all;
  for (const Seeds& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s CORPUS_FOLDER\n", argv[0]);
    return 2;
  }
  const std::filesystem::path root = argv[1];
  const Seeds requests = Requests();
  const Seeds responses = Responses();
  const Seeds hostile = HostileJson();
  Write(root / "variant_json", Join({requests, responses, hostile}));
  Write(root / "variant_operations", OperationScripts());
  Write(root / "response_message", Join({responses, hostile}));
  Write(root / "request_message", Join({requests, hostile}));
  Write(root / "host_dispatch", Join({requests, HostCalls(), hostile}));
  const Seeds streams = Streams(Join({requests, responses}));
  Write(root / "bzip2_decompress", streams);
  Write(root / "named_pipe_read",
        Join({streams, {{"oversized", std::string(IPC::NamedPipe::kReadBufferSize + 1, '\0')}}}));
  return 0;
}
