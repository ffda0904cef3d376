// The callback registry and each environment's road to its JavaScript thread.
#include "bridge/CallbackRegistry.h"

#include <memory>
#include <utility>

#include "base/Log.h"
#include "base/PeerText.h"
#include "bridge/ValueConversion.h"

namespace Hostlink {

struct CallbackRegistry::Road {
  napi_env env = nullptr;
  napi_threadsafe_function wake = nullptr;
  // Under the registry lock: the names bound to this road.
  size_t names = 0;
  // On env's JavaScript thread only: the environment refuses to run JavaScript, so it is
  // being torn down and what is still queued is dropped unrun.
  bool closing = false;
  // On env's JavaScript thread only.
  std::map<std::string, Napi::FunctionReference> functions;
};

namespace {

// Where the loop's read of callback messages on this thread keeps the calls for its env.
struct Holding {
  napi_env env = nullptr;
  std::vector<CallbackRegistry::Call>* held = nullptr;
};
thread_local Holding holding;

}  // namespace

CallbackRegistry& CallbackRegistry::Instance() {
  static CallbackRegistry* registry = new CallbackRegistry();  // never destroyed
  return *registry;
}

bool CallbackRegistry::Set(Napi::Env env, const std::string& name, Napi::Function function) {
  for (;;) {
    Road* road = nullptr;
    {
      std::lock_guard<std::mutex> guard(lock);
      auto found = roads.find(env);
      if (found != roads.end()) {
        road = found->second;
      }
    }
    if (road == nullptr) {
      auto made = std::make_unique<Road>();
      made->env = env;
      napi_value resourceName = Napi::String::New(env, "Hostlink.Callbacks");
      // No JavaScript function of its own: each queued call names the function it runs.
      // No queue limit of its own (the registry bounds what all roads hold), one thread
      // (the registry's hold).
      const napi_status status = napi_create_threadsafe_function(
          env, nullptr, nullptr, resourceName, 0, 1, made.get(), Finalize, made.get(), Wake,
          &made->wake);
      NAPI_THROW_IF_FAILED(env, status, false);
      road = made.release();
      std::lock_guard<std::mutex> guard(lock);
      roads[env] = road;  // only env's own thread makes its road
    }
    road->functions[name] = Napi::Persistent(function);
    std::lock_guard<std::mutex> guard(lock);
    auto current = roads.find(env);
    if (current == roads.end() || current->second != road) {
      continue;  // another thread let the road go meanwhile: make a new one
    }
    orphans.erase(name);
    Road*& bound = entries[name];
    if (bound != road) {
      if (bound != nullptr) {
        DropName(bound);
      }
      bound = road;
      ++road->names;
    }
    return true;
  }
}

bool CallbackRegistry::Remove(const std::string& name, napi_env caller) {
  std::lock_guard<std::mutex> guard(lock);
  auto found = entries.find(name);
  if (found == entries.end()) {
    return false;
  }
  Road* road = found->second;
  entries.erase(found);
  if (road->env == caller) {
    road->functions.erase(name);  // on its own thread: the function is let go at once
  }
  DropName(road);
  return true;
}

void CallbackRegistry::RemoveEnvironment(napi_env env) {
  std::lock_guard<std::mutex> guard(lock);
  for (auto entry = entries.begin(); entry != entries.end();) {
    if (entry->second->env == env) {
      Road* road = entry->second;
      orphans.insert(entry->first);
      entry = entries.erase(entry);
      DropName(road);
    } else {
      ++entry;
    }
  }
}

void CallbackRegistry::RemoveAll() {
  std::lock_guard<std::mutex> guard(lock);
  for (auto entry = entries.begin(); entry != entries.end();) {
    Road* road = entry->second;
    entry = entries.erase(entry);
    DropName(road);
  }
  orphans.clear();
}

std::vector<std::string> CallbackRegistry::TakeOrphans() {
  std::lock_guard<std::mutex> guard(lock);
  std::vector<std::string> taken(orphans.begin(), orphans.end());
  orphans.clear();
  return taken;
}

bool CallbackRegistry::HasWorkAtTeardown(napi_env env) {
  std::lock_guard<std::mutex> guard(lock);
  if (!orphans.empty()) {
    return true;
  }
  for (const auto& entry : entries) {
    if (entry.second->env == env) {
      return true;
    }
  }
  return false;
}

bool CallbackRegistry::Contains(const std::string& name) {
  std::lock_guard<std::mutex> guard(lock);
  return entries.count(name) != 0;
}

bool CallbackRegistry::IsEmpty() {
  std::lock_guard<std::mutex> guard(lock);
  return entries.empty();
}

std::vector<std::string> CallbackRegistry::Names() {
  std::lock_guard<std::mutex> guard(lock);
  std::vector<std::string> names;
  names.reserve(entries.size());
  for (const auto& entry : entries) {
    names.push_back(entry.first);
  }
  return names;
}

void CallbackRegistry::DropName(Road* road) {
  if (--road->names != 0) {
    return;
  }
  auto current = roads.find(road->env);
  if (current != roads.end() && current->second == road) {
    roads.erase(current);
  }
  // The road itself goes in Finalize, on its JavaScript thread, once the calls queued on it
  // have been passed over.
  napi_release_threadsafe_function(road->wake, napi_tsfn_release);
}

CallbackRegistry::Queued CallbackRegistry::Queue(const std::string& name,
                                                 std::vector<IPC::WireValue> args, size_t bytes) {
  std::lock_guard<std::mutex> guard(lock);
  auto found = entries.find(name);
  if (found == entries.end()) {
    return Queued::NotRegistered;
  }
  if (holding.held != nullptr && found->second->env == holding.env && queuedCalls == 0) {
    holding.held->push_back(Call{name, std::move(args), bytes});
    return Queued::Yes;
  }
  if (queuedCalls >= kMaxQueuedCalls || queuedBytes + bytes > kMaxQueuedBytes) {
    // One line for each run of drops, as the host writes for what its plug-in does not take.
    if (!dropping) {
      IPC::LogError(
          "CallbackRegistry : Dropping callback messages, the JavaScript thread is not taking "
          "them");
    }
    dropping = true;
    return Queued::Dropped;
  }
  // One item per call on the road's own queue keeps them in order, and lets Node-API run
  // a bounded number of them per turn of the event loop, so a flood never starves it.
  auto call = std::make_unique<Call>(Call{name, std::move(args), bytes});
  const napi_status status =
      napi_call_threadsafe_function(found->second->wake, call.get(), napi_tsfn_nonblocking);
  if (status != napi_ok) {
    return status == napi_closing ? Queued::Closing : Queued::NotRegistered;
  }
  call.release();  // the road's queue has it now
  ++queuedCalls;
  queuedBytes += bytes;
  return Queued::Yes;
}

void CallbackRegistry::Dequeued(const Call& call) {
  std::lock_guard<std::mutex> guard(lock);
  --queuedCalls;
  queuedBytes -= call.bytes;
  // A run of drops ends once the queue has drained to half its bounds, as the host's does,
  // so a queue that hovers at its limit logs one line, not one per message.
  if (dropping && queuedCalls <= kMaxQueuedCalls / 2 && queuedBytes <= kMaxQueuedBytes / 2) {
    dropping = false;
  }
}

void CallbackRegistry::HoldFor(napi_env env, std::vector<Call>* held) {
  holding = Holding{env, held};
}

void CallbackRegistry::StopHolding() { holding = Holding{}; }

void CallbackRegistry::RunHeld(napi_env env, const Call& call) {
  Road* road = nullptr;
  {
    // Deregistered (or registered elsewhere) since it arrived: not run here. A road is
    // finalized on this thread only, so the one found stays while it runs.
    std::lock_guard<std::mutex> guard(lock);
    auto found = entries.find(call.name);
    if (found == entries.end() || found->second->env != env) {
      return;
    }
    road = found->second;
  }
  Run(Napi::Env(env), road, call);
}

void CallbackRegistry::Deliver(Road* road, const Call& call) {
  {
    // Deregistered (or registered elsewhere) since it was fired: not run here.
    std::lock_guard<std::mutex> guard(lock);
    auto found = entries.find(call.name);
    if (found == entries.end() || found->second != road) {
      return;
    }
  }
  Run(Napi::Env(road->env), road, call);
}

namespace {

// The message of the exception pending in env, which is taken.
std::string TakeErrorMessage(Napi::Env env) {
  napi_value exception = nullptr;
  if (napi_get_and_clear_last_exception(env, &exception) != napi_ok || exception == nullptr) {
    return std::string();
  }
  Napi::Value value(env, exception);
  if (!value.IsObject()) {
    return std::string();
  }
  Napi::Value message = value.As<Napi::Object>().Get("message");
  return message.IsString() ? message.As<Napi::String>().Utf8Value() : std::string();
}

constexpr const char* kUnconvertible =
    "CallbackMessageProcessor : ProcessCallbackMessage - Failed to convert the arguments of "
    "callback";

void LogUnconvertible(const std::string& name, const std::string& why) {
  IPC::LogPeerError(kUnconvertible, std::string(kUnconvertible) + ":" + IPC::PeerText(name) +
                                        " (" + IPC::PeerText(why) + ")");
}

// Whether env still runs JavaScript. Once a worker is terminating (or an environment is
// torn down), Node-API refuses every call that could run it, with no exception to say
// why: the calls still queued then fail for that reason, not for their arguments.
bool CanRunJavaScript(napi_env env) {
  napi_value object = nullptr;
  napi_value value = nullptr;
  return napi_create_object(env, &object) == napi_ok &&
         napi_get_boolean(env, true, &value) == napi_ok &&
         napi_set_named_property(env, object, "probe", value) == napi_ok;
}

}  // namespace

// Runs one call with no receiver and its arguments converted now, as results are. An
// argument that cannot be converted drops the call with a log line: a host's fault must not
// become the plug-in's exception. An exception the function throws becomes the process's
// uncaught exception, as one thrown by any other event handler would.
void CallbackRegistry::Run(Napi::Env env, Road* road, const Call& call) {
  auto function = road->functions.find(call.name);
  if (function == road->functions.end() || road->closing) {
    return;
  }
  Napi::HandleScope scope(env);
  std::vector<napi_value> argv;
  argv.reserve(call.args.size());
  std::string failure;
  bool failed = false;
  try {
    // The host's data: what the conversion logs is the host's doing (not so the function's
    // own calls, after it).
    IPC::PeerCausedLines peerCaused;
    for (size_t i = 0; i < call.args.size() && !failed; ++i) {
      Napi::Value value = Parse(env, call.args[i], call.name, std::to_string(i));
      if (value.IsEmpty()) {
        failure = TakeErrorMessage(env);
        failed = true;
      } else {
        argv.push_back(value);
      }
    }
  } catch (const Napi::Error& error) {
    failure = error.Message();
    failed = true;
  }
  if (failed) {
    if (!CanRunJavaScript(env)) {
      road->closing = true;  // torn down: this and what follows are dropped unrun
    } else {
      LogUnconvertible(call.name, failure);
    }
    return;
  }
  napi_value undefined = nullptr;
  if (napi_get_undefined(env, &undefined) != napi_ok) {
    return;
  }
  if (napi_call_function(env, undefined, function->second.Value(), argv.size(), argv.data(),
                         nullptr) == napi_ok) {
    return;
  }
  bool pending = false;
  napi_value exception = nullptr;
  if (napi_is_exception_pending(env, &pending) == napi_ok && pending &&
      napi_get_and_clear_last_exception(env, &exception) == napi_ok) {
    if (!CanRunJavaScript(env)) {
      road->closing = true;  // the worker is terminating: its end is no exception of ours
      return;
    }
    napi_fatal_exception(env, exception);
  }
}

void CallbackRegistry::Wake(napi_env env, napi_value, void* context, void* data) {
  std::unique_ptr<Call> call(static_cast<Call*>(data));
  if (call == nullptr) {
    return;
  }
  CallbackRegistry& registry = Instance();
  registry.Dequeued(*call);
  if (env == nullptr) {
    return;  // the environment is being torn down: nothing runs any more
  }
  registry.Deliver(static_cast<Road*>(context), *call);
}

void CallbackRegistry::Finalize(napi_env, void* data, void*) {
  auto* road = static_cast<Road*>(data);
  CallbackRegistry& registry = Instance();
  {
    // An environment torn down may finalize its road before the registry heard of it:
    // nothing may find the road after this.
    std::lock_guard<std::mutex> guard(registry.lock);
    for (auto entry = registry.entries.begin(); entry != registry.entries.end();) {
      if (entry->second == road) {
        registry.orphans.insert(entry->first);  // the host must still be told
        entry = registry.entries.erase(entry);
      } else {
        ++entry;
      }
    }
    auto current = registry.roads.find(road->env);
    if (current != registry.roads.end() && current->second == road) {
      registry.roads.erase(current);
    }
  }
  delete road;
}

}  // namespace Hostlink
