// The host's end of one plug-in's connection: serves its request pipe, sends its
// callbacks, and keeps the objects it can reach. A host application needs little more:
//
//   Host::HostService service("my-plugin");
//   auto app = std::make_shared<Host::HostObject>("Application");
//   app->Define("GetName", [](const Host::Arguments&) -> Host::Result { return "Demo"; });
//   app->Define("Add", [](const Host::Arguments& args) -> Host::Result {
//     return args.GetNumber(0) + args.GetNumber(1);
//   });
//   service.SetRoot(app);
//   service.SetUnloadHandler([&] { /* tell the main thread to stop */ });
//   if (!service.Start()) return 1;
//   ...
//   service.FireCallback("SelectionChanged", app, "selection");  // if the plug-in registered it
//   ...
//   service.Stop();
//
// Threads: host functions run on the request thread, or, with SetDispatcher, on the
// application's thread while the request thread waits; FireCallback runs on any thread; the
// unload handler runs on the request thread, or through the dispatcher when there is one.
// What a plug-in registered (callbacks, its time-out, objects held for it) goes when its
// connection ends or it unloads, so the next plug-in starts afresh.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include "host/CallbackPipe.h"
#include "host/ObjectRegistry.h"
#include "host/RequestFront.h"
#include "host/RequestDispatcher.h"
#include "host/Value.h"
#include "host/ValueCodec.h"
#include "ipc/BaseMessageProcessor.h"
#include "ipc/RequestServer.h"

namespace IPC {
class Bzip2Codec;
class NamedPipe;
}  // namespace IPC

namespace Host {

class HostService : private IPC::RequestProcessor {
 public:
  // Serves the request pipe named pluginId and the callback pipe named pluginId +
  // "_callback".
  explicit HostService(std::string pluginId);
  ~HostService() override;

  HostService(const HostService&) = delete;
  HostService& operator=(const HostService&) = delete;

  const std::string& GetPluginId() const { return pluginId_; }
  ObjectRegistry& GetRegistry() { return registry_; }

  // The object "GetKestrel" answers with.
  void SetRoot(ObjectPtr root) { dispatcher_.SetRoot(std::move(root)); }
  // Where host functions run. Without a dispatcher they run on the service's request
  // thread; with one, every call of a host function (its arguments read, the function,
  // its result written) is handed to it as one piece of work, for instance
  //   service.SetDispatcher([&](std::function<void()> work) { PostToUiThread(std::move(work)); });
  // and the request thread waits until the work has run, then sends the answer. The
  // dispatcher must run each piece once, or destroy it unrun (the call then fails with
  // "Host failure: the application dropped the call unrun"). A plug-in's time-out works as
  // without one: the plug-in gives up, and the late answer is dropped on its side. Stop
  // ends the wait for work not yet begun (that work then does nothing when it runs), so
  // Stop may be called on the dispatcher's own thread; it waits for work that has begun,
  // so a host function must not call Stop. Set before Start.
  void SetDispatcher(ThreadDispatcher::Post dispatcher) {
    dispatcher_.Thread().Set(std::move(dispatcher));
  }
  // Called once the answer to "UnloadPlugin" has been written: through the dispatcher, not
  // waited for, when there is one, and then it may call Stop; without one on the request
  // thread, and then it must not call Stop (that would join its own thread): it should wake
  // the thread that owns the service. Set before Start.
  void SetUnloadHandler(std::function<void()> handler) { unloadHandler_ = std::move(handler); }
  // Puts front before the service's own answers; it must outlive the serving. Set
  // before Start.
  void SetRequestFront(RequestFront* front) { front_ = front; }
  // The wire trace on standard error, one line per message (see base/Trace.h); it is the
  // process's, shared by every service in it. Set before Start.
  static void SetTrace(bool on);

  // Creates both pipes and starts their threads; false (with log lines) if either pipe
  // cannot be created, for instance because another host serves the same identifier.
  bool Start();
  // Ends both threads and closes both pipes; callbacks still queued are dropped.
  void Stop();
  bool IsRunning() const { return running_; }

  // Queues the callback message for name, with the arguments given (objects among them
  // are registered as results are), when the plug-in has registered name; returns whether
  // it did. False too (with a log line) when an argument cannot be sent or the plug-in is
  // not taking callbacks. Thread-safe.
  bool FireCallback(const std::string& name, const std::vector<Value>& arguments = {});
  template <typename First, typename... Rest,
            typename = std::enable_if_t<
                !std::is_same<std::decay_t<First>, std::vector<Value>>::value>>
  bool FireCallback(const std::string& name, First&& first, Rest&&... rest) {
    return FireCallback(name, std::vector<Value>{Value(std::forward<First>(first)),
                                                 Value(std::forward<Rest>(rest))...});
  }
  // Queues any text on the callback pipe, registered or not (for tests of the plug-in's
  // handling of odd callback messages). False when the service is not running.
  bool SendCallbackText(std::string text);

  // The service's own answer to one request: what a front passes a request on to. On the
  // request thread only.
  void AnswerRequest(const std::string& request, IPC::ServerAnswer& answer);
  // The request pipe, for a front that closes and reopens it. On the request thread only.
  IPC::IPCInterface& RequestPipe();

  bool IsCallbackRegistered(const std::string& name) const {
    return dispatcher_.IsCallbackRegistered(name);
  }
  std::vector<std::string> GetRegisteredCallbacks() const {
    return dispatcher_.GetRegisteredCallbacks();
  }
  uint32_t GetApiTimeout() const { return dispatcher_.GetApiTimeout(); }

 private:
  // The request thread's handling of one request, and of what cannot be read or sent.
  void Answer(const std::string& request, IPC::ServerAnswer& answer) override;
  void AnswerUnreadable(IPC::ServerAnswer& answer) override;
  void AnswerRefused(const IPC::ServerAnswer& refused, IPC::ServerAnswer& instead) override;
  void ConnectionEnded() override;

  // Makes an answer the pipe cannot carry a failure saying so, and one that may be large
  // a stream compressed once.
  void FitAnswer(uint64_t requestId, IPC::ServerAnswer& answer);

  std::string pluginId_;
  ObjectRegistry registry_;
  RequestDispatcher dispatcher_;
  // Encodes callback arguments; its own, since FireCallback runs on any thread.
  ValueCodec callbackCodec_;
  std::function<void()> unloadHandler_;
  RequestFront* front_ = nullptr;
  // Whether the answer being sent is the service's own (request thread only).
  bool answeredHere_ = false;

  std::unique_ptr<IPC::NamedPipe> requestPipe_;
  IPC::RequestServer server_;
  CallbackPipe callbacks_;
  std::atomic<bool> running_{false};

  // Used only on the request thread, to measure answers that may be too large.
  std::unique_ptr<IPC::Bzip2Codec> sizer_;
};

}  // namespace Host
