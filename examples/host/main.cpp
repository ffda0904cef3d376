// todo-host --plugin-id ID [--trace]: the shortest complete Hostlink host. It serves a to-do
// list to the plug-in ID until the plug-in unloads or the process gets SIGINT or SIGTERM.
// --trace prints every message on the pipes to standard error.
//
// From JavaScript:
//   hostlink.Initialize('ID');
//   const todo = hostlink.GetKestrel();                  // the TodoList
//   hostlink.RegisterCallback('ItemDone', (title) => console.log('done:', title));
//   const item = todo.AddItem('Write the report');
//   item.MarkDone();                                     // fires "ItemDone" with the title
//   hostlink.CleanUp();                                  // the host ends
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>

#include "TodoList.h"
#include "host/HostService.h"

namespace {

volatile std::sig_atomic_t signalled = 0;

void OnSignal(int) { signalled = 1; }

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
  // Callbacks are sent only when the plug-in has registered their name; their arguments
  // reach the plug-in's function in order.
  service.SetRoot(std::make_shared<Todo::TodoList>([&service](const std::string& title) {
    service.FireCallback("ItemDone", title);
    std::printf("todo-host: done: %s\n", title.c_str());
    std::fflush(stdout);
  }));

  // The unload handler runs on the request thread, which Stop joins: it only wakes main.
  std::mutex lock;
  std::condition_variable wake;
  bool unloaded = false;
  service.SetUnloadHandler([&] {
    std::lock_guard<std::mutex> guard(lock);
    unloaded = true;
    wake.notify_all();
  });
  if (!service.Start()) return 1;
  std::printf("todo-host: ready (plugin-id %s)\n", pluginId.c_str());
  std::fflush(stdout);

  {
    std::unique_lock<std::mutex> guard(lock);
    while (!unloaded && !signalled) {
      wake.wait_for(guard, std::chrono::milliseconds(50));
    }
  }
  service.Stop();
  std::puts("todo-host: stopped");
  return 0;
}
