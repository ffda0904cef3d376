// Stands between a plug-in and a host on the request pipe, passes every request and its
// answer through unchanged, and writes both texts down, so that the wire floor can be
// measured with exactly the texts a real call exchanges.
//
//   hostlink_text_recorder LISTEN_NAME HOST_NAME OUT_FILE
//
// Serves the pipe LISTEN_NAME (the plug-in initializes with that name), forwards to the
// host serving HOST_NAME, and prints "ready" once the plug-in can connect. OUT_FILE gets,
// per exchange, the request and then the answer, each as its decimal length, a line feed,
// the bytes and a line feed. Ends after answering UnloadPlugin, or after a minute idle.
#include <cstdio>
#include <string>

#include "transport/NamedPipe.h"

namespace {

constexpr uint32_t kOpenTimeoutMs = 3000;
constexpr uint32_t kIdleTimeoutMs = 60000;
constexpr uint32_t kWriteTimeoutMs = 300;

void WriteRecord(std::FILE* out, const std::string& text) {
  std::fprintf(out, "%zu\n", text.size());
  std::fwrite(text.data(), 1, text.size(), out);
  std::fputc('\n', out);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: hostlink_text_recorder LISTEN_NAME HOST_NAME OUT_FILE\n");
    return 2;
  }
  IPC::NamedPipe plugin(argv[1], IPC::ServerRequest);
  IPC::NamedPipe host(argv[2], IPC::ClientRequest);
  std::FILE* out = std::fopen(argv[3], "wb");
  if (out == nullptr || !plugin.Open(kOpenTimeoutMs) || !host.Open(kOpenTimeoutMs)) {
    std::fprintf(stderr, "hostlink_text_recorder: cannot open the pipes or %s\n", argv[3]);
    return 1;
  }
  std::printf("ready\n");
  std::fflush(stdout);
  std::string request;
  std::string answer;
  while (plugin.Read(request, kIdleTimeoutMs)) {
    if (!host.Write(request, kWriteTimeoutMs) || !host.Read(answer, kIdleTimeoutMs)) {
      std::fprintf(stderr, "hostlink_text_recorder: the host did not answer\n");
      return 1;
    }
    WriteRecord(out, request);
    WriteRecord(out, answer);
    std::fflush(out);
    plugin.Write(answer, kWriteTimeoutMs);
    if (request.find("\"name\":\"UnloadPlugin\"") != std::string::npos) break;
  }
  std::fclose(out);
  return 0;
}
