// todo-host --plugin-id ID [--trace]: a complete Hostlink host with an event loop: every
// function runs on its main thread, as in a GUI application. It serves a to-do
// list to the plug-in ID until the plug-in unloads or the process gets SIGINT or SIGTERM.
// --trace prints every message on the pipes to standard error.
//
// From JavaScript:
//   hostlink.Initialize('ID');
//   const todo = hostlink.GetKestrel();                  // the TodoList
//   hostlink.RegisterCallback('ItemDone', (title) => console.log('done:', title));
//   const item = todo.AddItem('Write the report');
//   item.MarkDone();                                     // fires "ItemDone" (title, item)
//   hostlink.CleanUp();                                  // the host ends
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "TodoList.h"
#include "host/HostService.h"

namespace {

volatile std::sig_atomic_t signalled = 0;

void OnSignal(int) { signalled = 1; }

// The application's event loop, as a GUI toolkit has one: work posted from any thread runs
// on the main thread, one piece at a time.
class EventLoop {
 public:
  void Post(std::function<void()> work) {
    {
      std::lock_guard<std::mutex> guard(lock_);
      queue_.push_back(std::move(work));
    }
    changed_.notify_one();
  }
  void Quit() {
    Post([this] { quit_ = true; });
  }
  // Runs posted work until Quit or a signal.
  void Run() {
    while (!quit_ && !signalled) {
      std::function<void()> work;
      {
        std::unique_lock<std::mutex> guard(lock_);
        if (!changed_.wait_for(guard, std::chrono::milliseconds(50),
                               [this] { return !queue_.empty(); })) {
          continue;  // look at the signal flag again
        }
        work = std::move(queue_.front());
        queue_.pop_front();
      }
      work();
    }
  }

 private:
  std::mutex lock_;
  std::condition_variable changed_;
  std::deque<std::function<void()>> queue_;
  bool quit_ = false;  // main thread only
};

}  // namespace
int main(int argc, char** argv) {
  std::string pluginId;
  bool trace = false;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--plugin-id") == 0 && i + 1 < argc) {
      pluginId = argv[++i];
    } else if (std::strcmp(argv[i], "--trace") == 0) {
      trace = true;
    } else {
      std::fprintf(stderr, "todo-host: unknown argument %s\n", argv[i]);
      return 2;
    }
  }
  if (pluginId.empty()) {
    std::fputs("Usage: todo-host --plugin-id ID [--trace]\n", stderr);
    return 2;
  }
  std::signal(SIGINT, OnSignal);
  std::signal(SIGTERM, OnSignal);

  Host::HostService::SetTrace(trace);
  Host::HostService service(pluginId);
  EventLoop loop;
  const std::thread::id mainThread = std::this_thread::get_id();
  // Every function of every object runs on the main thread, through the loop: the model
  // needs no locks, as a GUI model may be touched only on its UI thread.
  service.SetDispatcher([&loop](std::function<void()> work) { loop.Post(std::move(work)); });
  // Callbacks are sent only when the plug-in has registered their name; their arguments
  // reach the plug-in's function in order.
  auto list = std::make_shared<Todo::TodoList>(
      [&service](const std::string& title, const std::shared_ptr<Todo::Item>& item) {
        service.FireCallback("ItemDone", title, item);
        std::printf("todo-host: done: %s\n", title.c_str());
        std::fflush(stdout);
      });
  // Shows where functions run: true on the main thread.
  list->Define("RunsOnMainThread", [mainThread](const Host::Arguments&) -> Host::Result {
    return std::this_thread::get_id() == mainThread;
  });
  service.SetRoot(list);
  // With a dispatcher the unload handler runs on the main thread too.
  service.SetUnloadHandler([&loop] { loop.Quit(); });
  if (!service.Start()) return 1;
  std::printf("todo-host: ready (plugin-id %s)\n", pluginId.c_str());
  std::fflush(stdout);

  loop.Run();
  // On the main thread, while a call may wait for it: Stop ends that wait.
  service.Stop();
  std::puts("todo-host: stopped");
  return 0;
}
