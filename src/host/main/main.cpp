// The reference host's entry point: serves one plug-in until it unloads, a signal
// arrives, or (in control mode) the test says stop.
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <iostream>
#include <memory>
#include <mutex>
#include <vector>

#include "Application.h"
#include "CommandLine.h"
#include "ControlServer.h"
#include "host/HostService.h"

namespace {

volatile std::sig_atomic_t signalled = 0;

void OnSignal(int) { signalled = 1; }

// How often the main thread looks for a signal; a stop request wakes it at once.
constexpr auto kSignalPoll = std::chrono::milliseconds(10);

// Wakes the main thread from the request or control thread.
class StopRequest {
 public:
  void Request() {
    {
      std::lock_guard<std::mutex> lock(lock_);
      requested_ = true;
    }
    changed_.notify_all();
  }
  // Waits until the deadline or a request; true when stopping was requested.
  bool WaitUntil(std::chrono::steady_clock::time_point deadline) {
    std::unique_lock<std::mutex> lock(lock_);
    return changed_.wait_until(lock, deadline, [this] { return requested_; });
  }

 private:
  std::mutex lock_;
  std::condition_variable changed_;
  bool requested_ = false;
};

}  // namespace

int main(int argc, char** argv) {
  using ReferenceHost::CommandLine;
  const CommandLine line = CommandLine::Parse(argc, argv);
  if (line.help) {
    std::cout << CommandLine::Usage() << std::flush;
    return 0;
  }
  if (!line.error.empty()) {
    std::cerr << "hostlink-host: " << line.error << "\n\n" << CommandLine::Usage();
    return 2;
  }

  std::signal(SIGINT, OnSignal);
  std::signal(SIGTERM, OnSignal);

  StopRequest stop;
  Host::HostService::SetTrace(line.trace);
  Host::HostService service(line.pluginId);
  auto application = std::make_shared<ReferenceHost::Application>(
      service.GetRegistry(), [&service](const std::string& name, std::vector<Host::Value> args) {
        service.FireCallback(name, args);
      });
  service.SetRoot(application);
  if (!line.keepRunning) {
    service.SetUnloadHandler([&stop] { stop.Request(); });
  }

  std::unique_ptr<ReferenceHost::ControlServer> control;
  if (!line.controlDirectory.empty()) {
    control = std::make_unique<ReferenceHost::ControlServer>(line.controlDirectory, service);
    service.SetRequestFront(control.get());
    if (!control->Start([&stop] { stop.Request(); })) {
      return 1;
    }
  }

  if (!service.Start()) {
    std::cerr << "hostlink-host: cannot serve plug-in " << line.pluginId
              << " (is another host serving it?)\n";
    return 1;
  }
  std::cout << "hostlink-host: ready (plugin-id " << line.pluginId << ")" << std::endl;

  const auto tick = std::chrono::milliseconds(line.tickMs);
  auto nextTick = std::chrono::steady_clock::now() + tick;
  while (!signalled) {
    auto wakeAt = std::chrono::steady_clock::now() + kSignalPoll;
    if (line.tickMs > 0 && nextTick < wakeAt) {
      wakeAt = nextTick;
    }
    if (stop.WaitUntil(wakeAt)) {
      break;
    }
    if (line.tickMs > 0 && std::chrono::steady_clock::now() >= nextTick) {
      service.FireCallback("Tick");
      nextTick += tick;
    }
  }

  service.Stop();
  if (control) {
    control->Stop();
  }
  std::cout << "hostlink-host: stopped" << std::endl;
  return 0;
}
