// Hostile input: after each message a plug-in would never send, the host must still answer
// a valid request within a second.
#include <random>
#include <string>
#include <vector>

#include "check/HostChecker.h"
#include "check/RawPeer.h"
#include "transport/Bzip2Codec.h"
#include "transport/NamedPipe.h"

namespace Check {

namespace {

// How long the checker waits for an answer to the hostile message itself, which a host may
// or may not send.
constexpr uint32_t kReplyWindowMs = 300;
constexpr size_t kDeepNesting = 100000;
// Text that bzip2 cannot shrink much, so that a deeply nested message stays within the 100x
// decompression limit and reaches the host's JSON reader.
constexpr size_t kPaddingLength = 4000;
// Decompresses to far more than 100 times its compressed length.
constexpr size_t kBombContent = 4 * 1024 * 1024;
constexpr size_t kOversizedLength = IPC::NamedPipe::kMaxMessageSize + 20000;

std::string Incompressible(size_t length) {
  static constexpr char kLetters[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
  std::mt19937 random(16);
  std::uniform_int_distribution<size_t> pick(0, sizeof kLetters - 2);
  std::string text(length, ' ');
  for (char& letter : text) letter = kLetters[pick(random)];
  return text;
}

std::string ReplyEvidence(const Answer& reply) {
  if (reply.notSent) return "the input could not be sent: the connection is gone";
  if (!reply.received && reply.readError == IPC::ChannelError::Timeout) {
    return "the input got no answer";
  }
  return "the input got " + reply.Describe();
}

}  // namespace

void HostChecker::CheckStillServing(const std::string& name, const std::string& input,
                                    const Answer& reply) {
  std::string evidence;
  const bool serving = AnswersValidRequest(evidence);
  report_.Record(name, serving, input + ": " + ReplyEvidence(reply) + "; " + evidence);
}

void HostChecker::CheckHostileInput() {
  if (!requestPipe_) {
    report_.Fail("hostile", "no request pipe");
    return;
  }
  CheckStillServing("hostile.not-json", "a text that is not JSON",
                    session_.SendText("this is not JSON {", kReplyWindowMs));
  CheckStillServing("hostile.not-an-object", "JSON that is not an object",
                    session_.SendText("[1,2,3]", kReplyWindowMs));

  IPC::RequestMessage nameless = session_.NewRequest("");
  CheckStillServing("hostile.no-name", "a request without a name",
                    session_.SendText(nameless.ToJSONString(), kReplyWindowMs));

  std::string deep = "{\"request\":{\"name\":\"GetKestrel\",\"args\":{\"0\":\"";
  deep.append(Incompressible(kPaddingLength)).append("\",\"1\":");
  deep.append(kDeepNesting, '[').append(kDeepNesting, ']').append("}}}");
  CheckStillServing("hostile.deep-nesting",
                    "an argument nested " + std::to_string(kDeepNesting) + " levels deep",
                    session_.SendText(deep, kReplyWindowMs));

  IPC::Bzip2Codec codec;
  std::string bomb;
  codec.Compress(std::string(kBombContent, 'A'), bomb);
  CheckStillServing("hostile.bzip2-bomb",
                    "a " + std::to_string(bomb.size()) + "-byte bzip2 stream of " +
                        std::to_string(kBombContent) + " bytes (over 100x)",
                    session_.SendStream(bomb, kReplyWindowMs));

  std::string truncated;
  codec.Compress(session_.NewRequest("GetKestrel").ToJSONString(), truncated);
  truncated.resize(truncated.size() / 2);
  CheckStillServing("hostile.truncated-stream",
                    "a bzip2 stream cut to " + std::to_string(truncated.size()) + " bytes",
                    session_.SendStream(truncated, kReplyWindowMs));

  CheckOversizedMessage();
}

void HostChecker::CheckOversizedMessage() {
  const char* name = "hostile.oversized-message";
#ifdef HOSTLINK_CHECK_HAS_RAW_PEER
  // The channel refuses to send such a message, so it goes on a connection of its own: the
  // session steps aside meanwhile, since the host serves one plug-in at a time.
  session_.Disconnect();
  std::string oversized = "BZh9";
  oversized.resize(kOversizedLength, 'x');
  std::vector<std::string> answers;
  std::string failure;
  const std::string input = "a message of " + std::to_string(kOversizedLength) + " bytes";
  uint64_t requestId = 0;
  const bool answered =
      SendOversizedThenRequest(pluginId_, oversized, CompressedRequest("GetKestrel", requestId),
                               kAnswerLimitMs, answers, failure);
  // The host may answer the oversized message too; the request's own answer must come.
  bool served = false;
  std::string seen;
  IPC::Bzip2Codec codec;
  for (const std::string& stream : answers) {
    std::string text;
    int status = 0;
    IPC::ResponseMessage response;
    if (!codec.Decompress(stream.data(), stream.size(), text, status)) {
      seen += seen.empty() ? "" : "; ";
      seen += "a message that is not a valid bzip2 stream";
      continue;
    }
    // A plug-in takes any response for the answer; identifiers are answers.response-form's.
    const bool isAnswer = FormProblem(text, 0).empty() && response.FromJSONString(text);
    if (isAnswer && response.status) {
      served = true;
    } else {
      seen += seen.empty() ? "" : "; ";
      seen += Excerpt(text, 100);
    }
  }
  std::string evidence = input + ": ";
  if (!seen.empty()) evidence += "the host sent " + seen + "; ";
  evidence += "then \"GetKestrel\" got ";
  evidence += served ? "status true" : (answered ? "no answer of its own" : failure);
  report_.Record(name, served, evidence);
  session_.Connect(kOpenLimitMs);
#else
  report_.Skip(name, "not tested on this platform");
#endif
}

}  // namespace Check
