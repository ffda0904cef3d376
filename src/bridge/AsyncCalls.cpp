// Promise calls: their queued requests, their settling on the JavaScript thread, abort
// signals, and the Async export.
#include "bridge/AsyncCalls.h"

#include <algorithm>
#include <atomic>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

#include "bridge/Callbacks.h"
#include "bridge/Errors.h"
#include "bridge/LoopWatch.h"
#include "bridge/PluginManager.h"
#include "bridge/ProxyClassCache.h"
#include "bridge/RequestQueue.h"
#include "bridge/ScriptObject.h"

namespace Hostlink {

class AsyncCall;

// One environment's road back from the sender thread: a thread-safe function, ref'd
// only while a call of the environment is pending, and the count of those calls.
// Shared by the calls in flight, so that it outlives an environment torn down under them.
//
// Finished calls settle in the check phase of the event loop (setImmediate), not where
// the thread-safe function delivers them: every host callback whose message arrived
// before the call's answer has been delivered by then (their thread-safe functions are
// made after this one, so the loop looks at them later in the same turn), and runs
// before the call's Promise settles.
//
// Where the environment's event loop can watch the request pipe (LoopWatch), a call that its
// JavaScript thread wrote itself has its answer read there too, when the loop finds it
// waiting (or the API time-out passes): no other thread is woken on the way. Only while
// this is the process's one environment; otherwise the sender thread reads it.
class AsyncEnvironment : public std::enable_shared_from_this<AsyncEnvironment> {
 public:
  static std::shared_ptr<AsyncEnvironment> Make(Napi::Env env);
  // Environment teardown: the holder goes, and any answer its loop waited for is left to
  // the sender thread.
  static void ReleaseHolder(void* holder);

  // JavaScript thread: a call started or ended.
  void AddPending(napi_env env);
  void RemovePending(napi_env env);
  // Sender thread: hands a finished call to the JavaScript thread; dropped when the
  // environment is gone.
  void Deliver(std::shared_ptr<AsyncCall> call);
  bool IsGone() const { return gone.load(std::memory_order_acquire); }
  // JavaScript thread, after writing a call's request: whether the loop now watches for
  // its answer.
  bool WatchForAnswer();
  // JavaScript thread: a finished call waits for the check phase to settle.
  void Ready(napi_env env, std::shared_ptr<AsyncCall> call);
  // JavaScript thread, from the loop's poll: settles at once when nothing else waits to, in
  // a callback scope of its own whose end runs the Promise's reactions, as the check phase
  // would; otherwise behind the others (Ready).
  void SettleOnLoop(napi_env env, std::shared_ptr<AsyncCall> call);

 private:
  // The loop found the request pipe readable.
  static void AnswerWaiting(void* context);
  // The loop found the callback pipe readable.
  static void CallbacksArrived(void* context);
  // JavaScript thread: runs `run` in a callback scope of the environment's; false when
  // none could be opened (and `run` did not run).
  bool InCallbackScope(const std::function<void()>& run);

 public:
  // JavaScript thread.
  bool LoopCanWatch() const { return watch != nullptr && live.load(std::memory_order_acquire) == 1; }
  bool WatchCallbacks(uint64_t connection, const std::function<intptr_t()>& duplicate);
  // Any thread: when it is this environment's own, its callback watch lets go at once.
  void LetCallbackWatchGoHere();
  // The environments of the process by their napi_env, for the callbacks to find theirs.
  static std::mutex& ByEnvLock();
  static std::map<napi_env, AsyncEnvironment*>& ByEnv();

 private:
  static void ReadyOnJsThread(napi_env env, napi_value, void* context, void* data);
  static napi_value SettleReady(napi_env env, napi_callback_info info);
  void SettleAll(napi_env env);
  static void Finalize(napi_env env, void* data, void* context);

  std::mutex deliveryLock;
  napi_threadsafe_function delivery = nullptr;
  std::atomic<bool> gone{false};
  // JavaScript thread only: the count of pending calls, the finished ones waiting for
  // the check phase, and setImmediate and the function it runs.
  size_t pending = 0;
  std::deque<std::shared_ptr<AsyncCall>> ready;
  bool settleScheduled = false;
  napi_ref setImmediate = nullptr;
  napi_ref settleReady = nullptr;
  // The async context the loop's settles run in, and its resource.
  napi_async_context settleContext = nullptr;
  napi_ref settleResource = nullptr;
  napi_env env = nullptr;
  // Env's own, and deleted by its teardown: used on its JavaScript thread only.
  LoopWatch* watch = nullptr;
  LoopWatch* callbackWatch = nullptr;
  std::thread::id thread;
  // Environments of the process with this state: the loop reads only while there is one.
  static std::atomic<int> live;
};

std::atomic<int> AsyncEnvironment::live{0};

// The calls of one Async object with a signal that have not settled yet. JavaScript
// thread only.
class AbortGroup {
 public:
  bool aborted = false;
  std::deque<std::shared_ptr<AsyncCall>> calls;
};

// One Promise call. Its state moves once from Queued to Sent (the sender thread claims
// it) or to Aborted (the signal fired first), so that its Promise settles exactly once.
class AsyncCall : public QueuedRequest, public std::enable_shared_from_this<AsyncCall> {
 public:
  enum State : int { Queued, Sent, Aborted };

  AsyncCall(std::shared_ptr<AsyncEnvironment> home, const HostCall& call, std::string text,
            napi_deferred deferred, std::shared_ptr<AbortGroup> group)
      : home(std::move(home)),
        call(call),
        text(std::move(text)),
        deferred(deferred),
        group(std::move(group)) {}
  // A call dropped with its environment lets its answer's bytes go.
  ~AsyncCall() override { ReleaseAnswer(); }

  const void* Home() const override { return home.get(); }
  bool WatchForAnswer() override { return home->WatchForAnswer(); }
  bool Claim() override {
    int expected = Queued;
    // A call of an environment already torn down is not worth sending.
    return !home->IsGone() && state.compare_exchange_strong(expected, Sent);
  }
  const std::string& Text() const override { return text; }
  void Finish(ExchangeOutcome result, std::string responseText) override {
    Keep(result, std::move(responseText));
    home->Deliver(shared_from_this());
  }
  // The home's JavaScript thread, from its loop: settles in this turn's check phase, or,
  // behind callbacks still on their way, after them by the thread-safe road.
  void FinishOnLoop(napi_env env, ExchangeOutcome result, std::string responseText) {
    Keep(result, std::move(responseText));
    if (CallbacksWaiting()) {
      home->Deliver(shared_from_this());
    } else {
      home->SettleOnLoop(env, shared_from_this());
    }
  }
  bool Abort() {
    int expected = Queued;
    return state.compare_exchange_strong(expected, Aborted);
  }

  void Settle(napi_env env);
  napi_deferred Deferred() const { return deferred; }
  const std::shared_ptr<AbortGroup>& Group() const { return group; }

 private:
  std::shared_ptr<AsyncEnvironment> home;
  HostCall call;
  std::string text;
  napi_deferred deferred;
  std::shared_ptr<AbortGroup> group;
  void Keep(ExchangeOutcome result, std::string responseText) {
    outcome = result;
    response = std::move(responseText);
    if (outcome == ExchangeOutcome::Answered) {
      // Callbacks the host sent before this answer reach the JavaScript thread first.
      TakeInArrivedCallbacks();
    }
    heldBytes = response.size();
    RequestQueue::Instance().HoldAnswer(heldBytes);
  }
  // The answer's bytes count against the queue's bound until they are let go.
  void ReleaseAnswer() {
    std::string().swap(response);
    RequestQueue::Instance().ReleaseAnswer(std::exchange(heldBytes, 0));
  }

  std::atomic<int> state{Queued};
  ExchangeOutcome outcome = ExchangeOutcome::NotInitialized;
  std::string response;
  size_t heldBytes = 0;
};

namespace {

// Rejects deferred with the exception pending in env, or with fallback when none is.
void RejectWithPending(napi_env env, napi_deferred deferred, const std::string& fallback) {
  bool pending = false;
  napi_value error = nullptr;
  if (napi_is_exception_pending(env, &pending) != napi_ok || !pending ||
      napi_get_and_clear_last_exception(env, &error) != napi_ok) {
    napi_value message = nullptr;
    napi_create_string_utf8(env, fallback.c_str(), fallback.size(), &message);
    napi_create_error(env, nullptr, message, &error);
  }
  napi_reject_deferred(env, deferred, error);
}

// new DOMException('This operation was aborted', 'AbortError'), as Node's own APIs
// reject an aborted operation.
void RejectAborted(napi_env env, napi_deferred deferred) {
  Napi::Env jsEnv(env);
  Napi::HandleScope scope(jsEnv);
  Napi::Value error;
  try {
    Napi::Function domException = jsEnv.Global().Get("DOMException").As<Napi::Function>();
    error = domException.New({Napi::String::New(jsEnv, "This operation was aborted"),
                              Napi::String::New(jsEnv, "AbortError")});
  } catch (...) {
    RejectWithPending(env, deferred, "AbortError: This operation was aborted");
    return;
  }
  napi_reject_deferred(env, deferred, error);
}

void ForgetInGroup(AbortGroup& group, const AsyncCall* call) {
  // Calls settle in the order they were made, so the search ends at the front.
  auto found = std::find_if(group.calls.begin(), group.calls.end(),
                            [call](const auto& held) { return held.get() == call; });
  if (found != group.calls.end()) {
    group.calls.erase(found);
  }
}

// The data of each method of an Async object.
struct AsyncMethod {
  std::shared_ptr<AsyncEnvironment> home;
  int64_t proxyId;
  std::string functionName;
  std::shared_ptr<AbortGroup> group;
};


Napi::Value StartCall(const Napi::CallbackInfo& info, const std::shared_ptr<AsyncEnvironment>& home,
                      const HostCall& call, const std::function<bool(std::string&)>& buildRequest,
                      const std::shared_ptr<AbortGroup>& group) {
  Napi::Env env = info.Env();
  Napi::EscapableHandleScope scope(env);
  napi_deferred deferred = nullptr;
  napi_value promise = nullptr;
  NAPI_THROW_IF_FAILED(env, napi_create_promise(env, &deferred, &promise), Napi::Value());
  const std::string exceptionText = std::string(call.entry) + ": " + kExceptionText;
  try {
    PluginManager& manager = PluginManager::GetInstance();
    std::string requestText;
    bool ready = !(group && group->aborted);
    if (ready && !manager.IsInitialized()) {
      ThrowJsError(env, call.entry, kNotInitializedText);
    } else if (ready && buildRequest(requestText)) {
      // Converting the arguments ran user code: it may have cleaned up or aborted.
      ready = !(group && group->aborted);
      if (ready && !manager.IsInitialized()) {
        ThrowJsError(env, call.entry, kNotInitializedText);
      } else if (ready) {
        auto queued = std::make_shared<AsyncCall>(home, call, std::move(requestText), deferred, group);
        RequestQueue::Instance().Submit(queued);
        home->AddPending(env);
        if (group) {
          group->calls.push_back(std::move(queued));
        }
        return scope.Escape(promise);
      }
    }
    if (!ready) {
      RejectAborted(env, deferred);
    } else {
      RejectWithPending(env, deferred, exceptionText);
    }
  } catch (...) {
    // A Napi::Error caught here has already taken any pending exception with it.
    RejectWithPending(env, deferred, exceptionText);
  }
  return scope.Escape(promise);
}

// The abort listener of an Async object: rejects every call of the group not yet sent.
Napi::Value AbortCalls(const Napi::CallbackInfo& info, const std::shared_ptr<AbortGroup>& group,
                       const std::shared_ptr<AsyncEnvironment>& home) {
  group->aborted = true;
  std::deque<std::shared_ptr<AsyncCall>> calls;
  calls.swap(group->calls);
  for (const auto& call : calls) {
    if (call->Abort()) {
      home->RemovePending(info.Env());
      RejectAborted(info.Env(), call->Deferred());
    } else {
      group->calls.push_back(call);  // already sent: it settles with its answer
    }
  }
  return info.Env().Undefined();
}

// The names of the host functions of proxy's class: its prototype's own methods.
std::vector<std::string> FunctionNamesOf(Napi::Env env, ScriptObject& proxy) {
  std::vector<std::string> names;
  ProxyClassCache* cache = ProxyClassCache::Of(env);
  if (cache == nullptr) {
    return names;
  }
  Napi::Function proxyClass = cache->GetClass(env, proxy.GetName(), {});
  if (proxyClass.IsEmpty()) {
    return names;
  }
  Napi::Object prototype = proxyClass.Get("prototype").As<Napi::Object>();
  napi_value keys = nullptr;
  NAPI_THROW_IF_FAILED(env,
                       napi_get_all_property_names(env, prototype, napi_key_own_only,
                                                   napi_key_skip_symbols,
                                                   napi_key_numbers_to_strings, &keys),
                       names);
  Napi::Array keyArray(env, keys);
  for (uint32_t i = 0; i < keyArray.Length(); ++i) {
    std::string name = keyArray.Get(i).As<Napi::String>().Utf8Value();
    if (name != "constructor") {
      names.push_back(std::move(name));
    }
  }
  return names;
}

}  // namespace

std::shared_ptr<AsyncEnvironment> AsyncEnvironment::Make(Napi::Env env) {
  auto made = std::make_shared<AsyncEnvironment>();
  auto* finalizeHolder = new std::shared_ptr<AsyncEnvironment>(made);
  napi_value name = Napi::String::New(env, "Hostlink.AsyncCall");
  napi_status status = napi_create_threadsafe_function(
      env, nullptr, nullptr, name, 0, 1, finalizeHolder, Finalize, made.get(), ReadyOnJsThread,
      &made->delivery);
  if (status != napi_ok) {
    delete finalizeHolder;
    NAPI_THROW_IF_FAILED(env, status, nullptr);
  }
  Napi::Value setImmediate = env.Global().Get("setImmediate");
  if (!setImmediate.IsFunction()) {
    NAPI_THROW(Napi::Error::New(env, "setImmediate missing"), nullptr);
  }
  napi_value settleReady = nullptr;
  NAPI_THROW_IF_FAILED(env,
                       napi_create_function(env, "settleReady", NAPI_AUTO_LENGTH, SettleReady,
                                            made.get(), &settleReady),
                       nullptr);
  NAPI_THROW_IF_FAILED(env, napi_create_reference(env, setImmediate, 1, &made->setImmediate),
                       nullptr);
  NAPI_THROW_IF_FAILED(env, napi_create_reference(env, settleReady, 1, &made->settleReady),
                       nullptr);
  // Idle until a call is pending: an environment with nothing pending may end.
  napi_unref_threadsafe_function(env, made->delivery);
  made->env = env;
  made->thread = std::this_thread::get_id();
  Napi::Object resource = Napi::Object::New(env);
  if (napi_async_init(env, resource, name, &made->settleContext) != napi_ok ||
      napi_create_reference(env, resource, 1, &made->settleResource) != napi_ok) {
    made->settleContext = nullptr;  // the loop's answers then settle in the check phase
  }
  made->watch = LoopWatch::Make(env, AnswerWaiting, made.get());
  {
    std::lock_guard<std::mutex> guard(ByEnvLock());
    ByEnv()[env] = made.get();
  }
  if (live.fetch_add(1, std::memory_order_acq_rel) == 1) {
    // A second environment: the first one's loop no longer takes the callbacks alone.
    TakeBackCallbacks();
  }
  return made;
}

std::mutex& AsyncEnvironment::ByEnvLock() {
  static std::mutex* lock = new std::mutex();  // never destroyed: used during exit
  return *lock;
}

std::map<napi_env, AsyncEnvironment*>& AsyncEnvironment::ByEnv() {
  static auto* byEnv = new std::map<napi_env, AsyncEnvironment*>();
  return *byEnv;
}

bool AsyncEnvironment::WatchCallbacks(uint64_t connection,
                                      const std::function<intptr_t()>& duplicate) {
  if (!LoopCanWatch()) {
    return false;
  }
  if (callbackWatch == nullptr) {
    callbackWatch = LoopWatch::Make(env, CallbacksArrived, this);
  }
  return callbackWatch != nullptr && callbackWatch->Watch(connection, duplicate, 0, false);
}

void AsyncEnvironment::CallbacksArrived(void* context) {
  auto* self = static_cast<AsyncEnvironment*>(context);
  std::vector<CallbackRegistry::Call> held;
  const bool lent = ReadCallbacksOnLoop(self->env, held);
  // Run here, each in a callback scope of its own as the thread-safe road would run it,
  // rather than one more turn of the loop later.
  CallbackRegistry& registry = CallbackRegistry::Instance();
  for (const CallbackRegistry::Call& call : held) {
    if (!self->InCallbackScope([self, &registry, &call] { registry.RunHeld(self->env, call); })) {
      registry.RunHeld(self->env, call);
    }
  }
  if (!lent && self->callbackWatch != nullptr) {
    // Taken back by the callback thread, or the pipe gone: nothing to watch for.
    self->callbackWatch->Release();
  }
}

void LetCallbackWatchGo() {
  std::lock_guard<std::mutex> guard(AsyncEnvironment::ByEnvLock());
  for (const auto& entry : AsyncEnvironment::ByEnv()) {
    entry.second->LetCallbackWatchGoHere();
  }
}

void AsyncEnvironment::LetCallbackWatchGoHere() {
  // The watch is its own thread's alone: looked at only there.
  if (thread == std::this_thread::get_id() && callbackWatch != nullptr) {
    callbackWatch->Release();
  }
}

bool LoopMayReadCallbacks(napi_env env) {
  std::lock_guard<std::mutex> guard(AsyncEnvironment::ByEnvLock());
  auto found = AsyncEnvironment::ByEnv().find(env);
  return found != AsyncEnvironment::ByEnv().end() && found->second->LoopCanWatch();
}

bool WatchCallbacks(napi_env env, uint64_t connection, const std::function<intptr_t()>& duplicate) {
  AsyncEnvironment* home = nullptr;
  {
    std::lock_guard<std::mutex> guard(AsyncEnvironment::ByEnvLock());
    auto found = AsyncEnvironment::ByEnv().find(env);
    home = found != AsyncEnvironment::ByEnv().end() ? found->second : nullptr;
  }
  // Env's own thread: its environment cannot go meanwhile.
  return home != nullptr && home->WatchCallbacks(connection, duplicate);
}

void AsyncEnvironment::ReleaseHolder(void* holder) {
  auto* held = static_cast<std::shared_ptr<AsyncEnvironment>*>(holder);
  live.fetch_sub(1, std::memory_order_acq_rel);
  {
    std::lock_guard<std::mutex> guard(ByEnvLock());
    ByEnv().erase((*held)->env);
  }
  RequestQueue::Instance().AbandonLoopReads(held->get());
  delete held;
}

bool AsyncEnvironment::WatchForAnswer() {
  PluginManager& manager = PluginManager::GetInstance();
  if (!LoopCanWatch()) {
    return false;
  }
  if (!watch->Watch(manager.Connection(), [&manager] { return manager.DuplicateConnection(); },
                    manager.GetTimeout(), manager.PeerMayRunElsewhere())) {
    return false;
  }
  watch->SpinForAnswer();
  return true;
}

void AsyncEnvironment::AnswerWaiting(void* context) {
  auto* self = static_cast<AsyncEnvironment*>(context);
  ExchangeOutcome outcome = ExchangeOutcome::NotInitialized;
  std::string response;
  std::shared_ptr<QueuedRequest> answered =
      RequestQueue::Instance().TakeLoopAnswer(self, outcome, response);
  if (answered == nullptr) {
    // Not an answer this loop waits for (another thread took it, it is another
    // environment's, or the connection went): nothing to watch for until the next call.
    self->watch->Release();
    return;
  }
  std::static_pointer_cast<AsyncCall>(answered)->FinishOnLoop(self->env, outcome,
                                                              std::move(response));
}

void AsyncEnvironment::AddPending(napi_env env) {
  if (pending++ == 0) {
    napi_ref_threadsafe_function(env, delivery);
  }
}

void AsyncEnvironment::RemovePending(napi_env env) {
  if (--pending == 0) {
    napi_unref_threadsafe_function(env, delivery);
  }
}

void AsyncEnvironment::Deliver(std::shared_ptr<AsyncCall> call) {
  auto* data = new std::shared_ptr<AsyncCall>(std::move(call));
  std::lock_guard<std::mutex> guard(deliveryLock);
  if (delivery == nullptr ||
      napi_call_threadsafe_function(delivery, data, napi_tsfn_nonblocking) != napi_ok) {
    delete data;  // the environment is gone, and the call with it
  }
}

bool AsyncEnvironment::InCallbackScope(const std::function<void()>& run) {
  if (settleContext == nullptr) {
    return false;
  }
  Napi::HandleScope handles(env);
  napi_value resource = nullptr;
  napi_callback_scope scope = nullptr;
  if (napi_get_reference_value(env, settleResource, &resource) != napi_ok ||
      napi_open_callback_scope(env, resource, settleContext, &scope) != napi_ok) {
    return false;
  }
  run();
  // Its end runs the microtasks queued meanwhile, as at the end of any other callback.
  napi_close_callback_scope(env, scope);
  return true;
}

void AsyncEnvironment::SettleOnLoop(napi_env env, std::shared_ptr<AsyncCall> call) {
  if (!ready.empty() || settleScheduled ||
      !InCallbackScope([this, env, &call] {
        RemovePending(env);
        call->Settle(env);
      })) {
    Ready(env, std::move(call));
  }
}

void AsyncEnvironment::ReadyOnJsThread(napi_env env, napi_value, void* context, void* data) {
  std::unique_ptr<std::shared_ptr<AsyncCall>> held(static_cast<std::shared_ptr<AsyncCall>*>(data));
  if (env == nullptr || held == nullptr) {
    return;  // torn down with the call queued: nothing left to settle
  }
  static_cast<AsyncEnvironment*>(context)->Ready(env, std::move(*held));
}

void AsyncEnvironment::Ready(napi_env env, std::shared_ptr<AsyncCall> call) {
  ready.push_back(std::move(call));
  if (settleScheduled) {
    return;
  }
  // From the loop's poll no handle scope is open.
  Napi::HandleScope scope(env);
  AsyncEnvironment* self = this;
  napi_value setImmediate = nullptr;
  napi_value settleReady = nullptr;
  napi_value global = nullptr;
  if (napi_get_reference_value(env, self->setImmediate, &setImmediate) == napi_ok &&
      napi_get_reference_value(env, self->settleReady, &settleReady) == napi_ok &&
      napi_get_global(env, &global) == napi_ok &&
      napi_call_function(env, global, setImmediate, 1, &settleReady, nullptr) == napi_ok) {
    self->settleScheduled = true;
    return;
  }
  // No check phase to wait for (the environment is stopping): settle now.
  self->SettleAll(env);
}

napi_value AsyncEnvironment::SettleReady(napi_env env, napi_callback_info info) {
  void* data = nullptr;
  AsyncEnvironment* self = nullptr;
  if (info != nullptr &&
      napi_get_cb_info(env, info, nullptr, nullptr, nullptr, &data) == napi_ok) {
    self = static_cast<AsyncEnvironment*>(data);
  }
  if (self != nullptr) {
    self->settleScheduled = false;
    self->SettleAll(env);
  }
  return nullptr;
}

void AsyncEnvironment::SettleAll(napi_env env) {
  std::deque<std::shared_ptr<AsyncCall>> settling;
  settling.swap(ready);
  for (const auto& call : settling) {
    RemovePending(env);
    call->Settle(env);
  }
}

void AsyncEnvironment::Finalize(napi_env env, void* data, void*) {
  auto* holder = static_cast<std::shared_ptr<AsyncEnvironment>*>(data);
  AsyncEnvironment& self = **holder;
  if (env != nullptr) {
    napi_delete_reference(env, self.setImmediate);
    napi_delete_reference(env, self.settleReady);
    if (self.settleContext != nullptr) {
      napi_async_destroy(env, self.settleContext);
      napi_delete_reference(env, self.settleResource);
    }
  }
  self.ready.clear();
  {
    std::lock_guard<std::mutex> guard((*holder)->deliveryLock);
    (*holder)->delivery = nullptr;
    (*holder)->gone.store(true, std::memory_order_release);
  }
  delete holder;
}

void AsyncCall::Settle(napi_env rawEnv) {
  Napi::Env env(rawEnv);
  Napi::HandleScope scope(env);
  if (group) {
    ForgetInGroup(*group, this);
  }
  try {
    Napi::Value value = SettleHostCall(env, call, outcome, response);
    ReleaseAnswer();
    if (!value.IsEmpty()) {
      napi_resolve_deferred(env, deferred, value);
      return;
    }
    if (!env.IsExceptionPending()) {
      napi_resolve_deferred(env, deferred, env.Undefined());
      return;
    }
  } catch (...) {
    // A Napi::Error caught here has already taken any pending exception with it.
  }
  ReleaseAnswer();
  RejectWithPending(env, deferred, std::string(call.entry) + ": " + kExceptionText);
}

AsyncEnvironment* InstallAsyncEnvironment(Napi::Env env) {
  auto* holder = new std::shared_ptr<AsyncEnvironment>(AsyncEnvironment::Make(env));
  napi_status status = napi_add_env_cleanup_hook(env, AsyncEnvironment::ReleaseHolder, holder);
  if (status != napi_ok) {
    delete holder;
    NAPI_THROW_IF_FAILED(env, status, nullptr);
  }
  return holder->get();
}

Napi::Value StartAsyncCall(const Napi::CallbackInfo& info, const HostCall& call,
                           const std::function<bool(std::string&)>& buildRequest) {
  auto* home = static_cast<AsyncEnvironment*>(info.Data());
  return StartCall(info, home->shared_from_this(), call, buildRequest, nullptr);
}

Napi::Value Async(const Napi::CallbackInfo& info) {
  Napi::Env env = info.Env();
  Napi::EscapableHandleScope scope(env);
  try {
    auto* home = static_cast<AsyncEnvironment*>(info.Data());
    ScriptObject* proxy = info.Length() >= 1 ? ScriptObject::FromValue(info[0]) : nullptr;
    if (proxy == nullptr) {
      return ThrowJsError(env, "Async", "Missing '<proxy>' proxy object argument");
    }
    std::shared_ptr<AbortGroup> group;
    if (info.Length() >= 2 && !info[1].IsUndefined()) {
      if (!info[1].IsObject()) {
        return ThrowJsError(env, "Async", "Invalid '<options>' argument, an object expected");
      }
      Napi::Value signal = info[1].As<Napi::Object>().Get("signal");
      if (!signal.IsUndefined()) {
        Napi::Value addListener =
            signal.IsObject() ? signal.As<Napi::Object>().Get("addEventListener") : Napi::Value();
        if (!signal.IsObject() || !addListener.IsFunction()) {
          return ThrowJsError(env, "Async", "Invalid 'signal' option, an AbortSignal expected");
        }
        group = std::make_shared<AbortGroup>();
        group->aborted = signal.As<Napi::Object>().Get("aborted").ToBoolean().Value();
        std::shared_ptr<AsyncEnvironment> owner = home->shared_from_this();
        Napi::Function listener = Napi::Function::New(
            env, [group, owner](const Napi::CallbackInfo& event) {
              return AbortCalls(event, group, owner);
            });
        Napi::Object once = Napi::Object::New(env);
        once.Set("once", true);
        addListener.As<Napi::Function>().Call(signal, {Napi::String::New(env, "abort"), listener, once});
      }
    }
    Napi::Object methods = Napi::Object::New(env);
    for (std::string& name : FunctionNamesOf(env, *proxy)) {
      AsyncMethod method{home->shared_from_this(), proxy->GetProxyId(), name, group};
      Napi::Function function = Napi::Function::New(
          env,
          [method](const Napi::CallbackInfo& call) {
            HostCall hostCall{method.functionName, "Execute", ResultUse::Value};
            return StartCall(call, method.home, hostCall,
                             [&](std::string& requestText) {
                               return BuildMethodRequest(call, method.functionName,
                                                         method.proxyId, requestText);
                             },
                             method.group);
          },
          name);
      methods.Set(name, function);
    }
    return scope.Escape(methods);
  } catch (...) {
    return ThrowJsError(env, "Async", kExceptionText);
  }
}

}  // namespace Hostlink
