// Round trip of a ~150-byte request and its answer through IPCHandler::SendRequest (mode 3)
// against a serving IPCHandler (mode 1) in another process, beside the floor measured in
// the same run by hostlink_wire_floor (bare SEQPACKET sockets with the same bzip2 work).
// Prints the medians in microseconds and the ratio handler / floor.
//
//   hostlink_roundtrip_bench [round trips, default 20000]
#include <limits.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "ipc/IPCHandler.h"
#include "ipc/RequestMessage.h"
#include "ipc/ResponseMessage.h"
#include "transport/NamedPipe.h"

namespace {

using Clock = std::chrono::steady_clock;

// The floor program's texts, so that both do the same bzip2 work.
const std::string kRequest =
    R"({"request":{"requestId":1733600000123,"name":"GetLayerByName","args":{"0":"Background copy","1":42,"2":true,"3":3.5,"4":"visible"},"proxyId":1024}})";
const std::string kAnswer =
    R"({"response":{"requestId":1733600000123,"status":true,"result":{"proxy":{"proxyId":2048,"name":"Layer","functions":["GetName","SetName","GetOpacity","SetOpacity"]}}}})";

constexpr int kWarmUp = 500;

// Answers every request with the fixed answer: the host's own work is not measured.
class FixedAnswer : public IPC::BaseMessageProcessor {
 public:
  void ProcessRequest(const std::string&, std::string& response) override { response = kAnswer; }
};

double Median(std::vector<double> samples) {
  std::sort(samples.begin(), samples.end());
  return samples[samples.size() / 2];
}

double MicrosSince(Clock::time_point start) {
  return std::chrono::duration<double, std::micro>(Clock::now() - start).count();
}

// The same request as kRequest, built as a message (its time stamp has as many digits).
IPC::RequestMessage MakeRequest() {
  IPC::KvVariantMap args;
  args.Set("0", "Background copy");
  args.Set("1", int32_t{42});
  args.Set("2", true);
  args.Set("3", 3.5);
  args.Set("4", "visible");
  return IPC::RequestMessage("GetLayerByName", std::move(args), 1024);
}

struct HandlerMedians {
  double exchange = -1;  // SendRequest alone, on ready texts
  double call = -1;      // building the request, SendRequest and reading the answer
};

HandlerMedians MeasureHandler(int roundTrips) {
  HandlerMedians medians;
  const std::string name = "hl_roundtrip_bench_" + std::to_string(getpid());
  int ready[2];
  int done[2];
  if (pipe(ready) != 0 || pipe(done) != 0) return medians;
  const pid_t child = fork();
  if (child == 0) {
    IPC::IPCHandler server(std::make_unique<FixedAnswer>());
    if (!server.Start(std::make_unique<IPC::NamedPipe>(name, IPC::ServerRequest))) _exit(1);
    (void)!write(ready[1], "r", 1);
    char byte;
    (void)!read(done[0], &byte, 1);
    server.Stop();
    _exit(0);
  }
  char byte;
  if (read(ready[0], &byte, 1) != 1) return medians;

  IPC::IPCHandler client;
  if (!client.Start(std::make_unique<IPC::NamedPipe>(name, IPC::ClientRequest))) return medians;
  client.SetTimeout(10000);
  std::string answer;
  std::vector<double> samples;
  samples.reserve(static_cast<size_t>(roundTrips));
  bool ok = true;
  for (int turn = -kWarmUp; ok && turn < roundTrips; ++turn) {
    const auto start = Clock::now();
    ok = client.SendRequest(kRequest, answer);
    if (turn >= 0) samples.push_back(MicrosSince(start));
  }
  if (ok) medians.exchange = Median(samples);

  samples.clear();
  for (int turn = -kWarmUp; ok && turn < roundTrips; ++turn) {
    const auto start = Clock::now();
    const IPC::RequestMessage request = MakeRequest();
    IPC::ResponseMessage response;
    ok = client.SendRequest(request.ToJSONString(), answer) && response.FromJSONString(answer) &&
         response.status;
    if (turn >= 0) samples.push_back(MicrosSince(start));
  }
  if (ok) medians.call = Median(samples);

  client.Stop();
  (void)!write(done[1], "d", 1);
  waitpid(child, nullptr, 0);
  return medians;
}

// Runs the floor program built beside this one and takes its floor median.
double MeasureFloor(int roundTrips) {
  char self[PATH_MAX];
  const ssize_t length = readlink("/proc/self/exe", self, sizeof self - 1);
  if (length <= 0) return -1;
  self[length] = '\0';
  std::string command(self);
  command.erase(command.rfind('/') + 1);
  command += "hostlink_wire_floor " + std::to_string(roundTrips);
  std::FILE* floor = popen(command.c_str(), "r");
  if (floor == nullptr) return -1;
  double median = -1;
  char line[512];
  while (std::fgets(line, sizeof line, floor) != nullptr) {
    std::printf("  [hostlink_wire_floor] %s", line);
    const char* figure = std::strstr(line, "floor ");
    const char* value = figure ? std::strstr(line, "median ") : nullptr;
    if (figure == line && value != nullptr) median = std::atof(value + 7);
  }
  pclose(floor);
  return median;
}

}  // namespace

int main(int argc, char** argv) {
  const int roundTrips = argc > 1 ? std::max(1, std::atoi(argv[1])) : 20000;
  std::printf("request %zu bytes, answer %zu bytes, %d round trips each\n", kRequest.size(),
              kAnswer.size(), roundTrips);
  std::fflush(stdout);
  const double floor = MeasureFloor(roundTrips);
  const HandlerMedians handler = MeasureHandler(roundTrips);
  if (handler.exchange <= 0 || handler.call <= 0) {
    std::fprintf(stderr, "round trip through the handlers failed\n");
    return 1;
  }
  std::printf("handler (SendRequest 3 <-> IPCHandler 1): median %.1f us\n", handler.exchange);
  std::printf("call    (build request, exchange, parse answer): median %.1f us\n", handler.call);
  if (floor <= 0) {
    std::printf("floor: hostlink_wire_floor not found beside this program\n");
    return 0;
  }
  std::printf("floor median %.1f us; ratio handler / floor: %.3f (target <= 1.3)\n", floor,
              handler.exchange / floor);
  return 0;
}
