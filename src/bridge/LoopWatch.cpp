// The event-loop watch, on libuv's poll handle. libuv is the runtime's own: its functions
// are looked up in the process (Node exports them to add-ons) rather than linked, so the
// add-on still loads where there is none. The handle is sized by libuv itself, and only
// its first member (data) is touched here: both hold for every libuv 1.x.
#include "bridge/LoopWatch.h"

#include <cstdlib>
#include <cstring>
#include <memory>

#ifdef __linux__
#include <dlfcn.h>
#endif

#include <napi.h>

#include "transport/NamedPipe.h"

namespace Hostlink {

// The handles of one watch that libuv has not closed yet. The environment's teardown waits
// (its cleanup hook stays) until the last has closed: Node ends a worker's loop only once
// every handle on it has.
struct LoopWatchHandles {
  int open = 0;
  napi_async_cleanup_hook_handle hook = nullptr;

  // One handle fewer; at teardown the last one ends the hook, and this with it.
  void Closed() {
    if (--open == 0 && hook != nullptr) {
      napi_remove_async_cleanup_hook(hook);
      delete this;
    }
  }
};

namespace {

// libuv's handle types UV_IDLE, UV_POLL and UV_TIMER and event UV_READABLE, fixed for
// libuv 1.x.
constexpr int kUvIdle = 6;
constexpr int kUvPoll = 8;
constexpr int kUvTimer = 13;
constexpr int kUvReadable = 1;

using PollCallback = void (*)(void* handle, int status, int events);
using IdleCallback = void (*)(void* handle);
using TimerCallback = void (*)(void* handle);
using CloseCallback = void (*)(void* handle);

struct Uv {
  size_t (*handleSize)(int type) = nullptr;
  int (*pollInit)(void* loop, void* handle, int fd) = nullptr;
  int (*pollStart)(void* handle, int events, PollCallback callback) = nullptr;
  int (*pollStop)(void* handle) = nullptr;
  void (*close)(void* handle, CloseCallback callback) = nullptr;
  void (*unref)(void* handle) = nullptr;
  int (*idleInit)(void* loop, void* handle) = nullptr;
  int (*idleStart)(void* handle, IdleCallback callback) = nullptr;
  int (*idleStop)(void* handle) = nullptr;
  int (*timerInit)(void* loop, void* handle) = nullptr;
  int (*timerStart)(void* handle, TimerCallback callback, uint64_t timeout,
                    uint64_t repeat) = nullptr;
  int (*timerStop)(void* handle) = nullptr;
  void (*updateTime)(void* loop) = nullptr;

  bool Found() const {
    return handleSize && pollInit && pollStart && pollStop && close && unref && idleInit &&
           idleStart && idleStop && timerInit && timerStart && timerStop && updateTime;
  }
};

template <typename Function>
void Find(Function& function, const char* name) {
#ifdef __linux__
  function = reinterpret_cast<Function>(dlsym(RTLD_DEFAULT, name));
#else
  (void)name;
  function = nullptr;
#endif
}

const Uv& Libuv() {
  static const Uv uv = [] {
    Uv found;
    Find(found.handleSize, "uv_handle_size");
    Find(found.pollInit, "uv_poll_init");
    Find(found.pollStart, "uv_poll_start");
    Find(found.pollStop, "uv_poll_stop");
    Find(found.close, "uv_close");
    Find(found.unref, "uv_unref");
    Find(found.idleInit, "uv_idle_init");
    Find(found.idleStart, "uv_idle_start");
    Find(found.idleStop, "uv_idle_stop");
    Find(found.timerInit, "uv_timer_init");
    Find(found.timerStart, "uv_timer_start");
    Find(found.timerStop, "uv_timer_stop");
    Find(found.updateTime, "uv_update_time");
    return found;
  }();
  return uv;
}

// Node itself, not a runtime that answers to Node's name (Bun, Deno): only Node's loop is
// a libuv loop to watch with.
bool RunsOnNode(napi_env env) {
  try {
    Napi::Env jsEnv(env);
    Napi::HandleScope scope(jsEnv);
    Napi::Object global = jsEnv.Global();
    if (!global.Get("Deno").IsUndefined() || !global.Get("Bun").IsUndefined()) return false;
    Napi::Value process = global.Get("process");
    if (!process.IsObject()) return false;
    Napi::Value versions = process.As<Napi::Object>().Get("versions");
    if (!versions.IsObject() || !versions.As<Napi::Object>().Get("bun").IsUndefined()) return false;
    Napi::Value release = process.As<Napi::Object>().Get("release");
    if (!release.IsObject()) return false;
    Napi::Value name = release.As<Napi::Object>().Get("name");
    return name.IsString() && name.As<Napi::String>().Utf8Value() == "node";
  } catch (...) {
    return false;
  }
}

// An idle or timer handle closes: its data was set to its LoopWatchHandles for the close.
void ClosedPlain(void* handle) {
  LoopWatchHandles* handles = *static_cast<LoopWatchHandles**>(handle);
  std::free(handle);
  handles->Closed();
}

void ClosePlain(void* handle, LoopWatchHandles* handles) {
  *static_cast<LoopWatchHandles**>(handle) = handles;
  Libuv().close(handle, ClosedPlain);
}

// A handle of libuv's of `type`, on loop, its data pointing at owner; null when it cannot
// be made.
void* MakeHandle(int type, void* loop, void* owner, LoopWatchHandles* handles) {
  const Uv& uv = Libuv();
  void* handle = std::calloc(1, uv.handleSize(type));
  if (handle == nullptr) return nullptr;
  const int made = type == kUvIdle ? uv.idleInit(loop, handle) : uv.timerInit(loop, handle);
  if (made != 0) {
    std::free(handle);
    return nullptr;
  }
  ++handles->open;
  *static_cast<void**>(handle) = owner;
  // Pending calls keep the loop alive; these handles never do.
  uv.unref(handle);
  return handle;
}

bool SwitchedOff() {
  const char* setting = std::getenv("HOSTLINK_LOOP_READS");
  return setting != nullptr && std::strcmp(setting, "0") == 0;
}

}  // namespace

// One libuv poll handle on one duplicate of a connection's handle. Its memory is libuv's to
// hold until the close callback; data (the handle's first member) points back here.
struct LoopWatch::Handle {
  LoopWatch* owner = nullptr;
  LoopWatchHandles* handles = nullptr;
  intptr_t duplicate = -1;
  void* uv = nullptr;

  static void Closed(void* uvHandle) {
    Handle* self = *static_cast<Handle**>(uvHandle);
    LoopWatchHandles* handles = self->handles;
    std::free(self->uv);
    delete self;
    handles->Closed();
  }
};

LoopWatch* LoopWatch::Make(napi_env env, Ready ready, void* context) {
  const Uv& uv = Libuv();
  if (SwitchedOff() || !uv.Found() || !RunsOnNode(env)) return nullptr;
  uv_loop_s* loop = nullptr;
  if (napi_get_uv_event_loop(env, &loop) != napi_ok || loop == nullptr) return nullptr;
  std::unique_ptr<LoopWatch> watch(new LoopWatch());  // the teardown's from the hook on
  watch->env_ = env;
  watch->loop_ = loop;
  watch->ready_ = ready;
  watch->context_ = context;
  watch->handles_ = new LoopWatchHandles();
  watch->idle_ = MakeHandle(kUvIdle, loop, watch.get(), watch->handles_);
  watch->limit_ = MakeHandle(kUvTimer, loop, watch.get(), watch->handles_);
  if (watch->idle_ == nullptr || watch->limit_ == nullptr ||
      napi_add_async_cleanup_hook(env, OnCleanup, watch.get(), &watch->cleanupHook_) != napi_ok) {
    // Closed with no hook to end: the count stays above 0 and is let go with the process.
    if (watch->idle_ != nullptr) ClosePlain(watch->idle_, watch->handles_);
    if (watch->limit_ != nullptr) ClosePlain(watch->limit_, watch->handles_);
    return nullptr;
  }
  return watch.release();
}

bool LoopWatch::Watch(uint64_t connection, const std::function<intptr_t()>& duplicate,
                      uint32_t limitMs, bool spinCanPay) {
  if (closed_ || connection == 0) return false;
  const Uv& uv = Libuv();
  if (handle_ == nullptr || connection != connection_) {
    Drop();
    auto* made = new Handle();
    made->owner = this;
    made->handles = handles_;
    made->duplicate = duplicate();
    made->uv = std::calloc(1, uv.handleSize(kUvPoll));
    if (made->duplicate < 0 || made->uv == nullptr ||
        uv.pollInit(loop_, made->uv, static_cast<int>(made->duplicate)) != 0) {
      IPC::NamedPipe::CloseDuplicate(made->duplicate);
      std::free(made->uv);
      delete made;
      return false;
    }
    *static_cast<Handle**>(made->uv) = made;
    ++handles_->open;
    uv.unref(made->uv);
    handle_ = made;
    connection_ = connection;
    spin_.Allow(spinCanPay);
    spinCanPay_ = spinCanPay;
  } else if (spinCanPay != spinCanPay_) {
    spin_.Allow(spinCanPay);
    spinCanPay_ = spinCanPay;
  }
  if (!polling_) {
    if (uv.pollStart(handle_->uv, kUvReadable, OnPoll) != 0) return false;
    polling_ = true;
  }
  if (limitMs > 0) {
    // From now, not from the loop turn's start (JavaScript may have run long since), and one
    // millisecond more: the reader, called then, finds the limit passed and waits no longer.
    uv.updateTime(loop_);
    limited_ = uv.timerStart(limit_, OnLimit, uint64_t{limitMs} + 1, 0) == 0;
  } else if (limited_) {
    uv.timerStop(limit_);
    limited_ = false;
  }
  return true;
}

void LoopWatch::OnLimit(void* timer) {
  LoopWatch* self = *static_cast<LoopWatch**>(timer);
  self->limited_ = false;
  self->EndSpin(false);
  self->ready_(self->context_);
}

void LoopWatch::Pause() {
  if (polling_ && handle_ != nullptr) {
    Libuv().pollStop(handle_->uv);
  }
  polling_ = false;
  if (limited_) {
    Libuv().timerStop(limit_);
    limited_ = false;
  }
}

void LoopWatch::SpinForAnswer() {
  if (spinning_ || closed_) return;
  const auto spin = spin_.NextWatched();
  if (spin == IPC::AdaptiveSpin::Clock::duration::zero()) return;
  if (Libuv().idleStart(idle_, OnIdle) != 0) return;
  spinning_ = true;
  spinEnd_ = IPC::AdaptiveSpin::Clock::now() + spin;
}

void LoopWatch::EndSpin(bool answered) {
  if (!spinning_) return;
  spinning_ = false;
  Libuv().idleStop(idle_);
  if (answered) {
    spin_.Caught();
  } else {
    const intptr_t duplicate = handle_ != nullptr ? handle_->duplicate : -1;
    spin_.TimedOut([duplicate] {
      return duplicate < 0 || IPC::NamedPipe::SpinCanPayOn(duplicate);
    });
  }
}

void LoopWatch::OnIdle(void* idle) {
  LoopWatch* self = *static_cast<LoopWatch**>(idle);
  if (IPC::AdaptiveSpin::Clock::now() >= self->spinEnd_) {
    self->EndSpin(false);
  } else {
    IPC::AdaptiveSpin::Pause();
  }
}

void LoopWatch::Drop() {
  if (handle_ == nullptr) return;
  Pause();
  // libuv lets go of the descriptor in uv_close itself (and never closes a polled one), so
  // the duplicate goes now rather than a loop turn later.
  Libuv().close(handle_->uv, Handle::Closed);
  IPC::NamedPipe::CloseDuplicate(handle_->duplicate);
  handle_->duplicate = -1;
  handle_ = nullptr;
}

void LoopWatch::OnPoll(void* uvHandle, int, int) {
  Handle* handle = *static_cast<Handle**>(uvHandle);
  LoopWatch* self = handle->owner;
  self->EndSpin(true);
  if (self->limited_) {
    Libuv().timerStop(self->limit_);
    self->limited_ = false;
  }
  // An error (the connection went) is the reader's to find, as a message is.
  self->ready_(self->context_);
}

void LoopWatch::OnCleanup(napi_async_cleanup_hook_handle hook, void* data) {
  auto* self = static_cast<LoopWatch*>(data);
  self->closed_ = true;
  self->EndSpin(false);
  self->Drop();
  // The hook ends when the last handle has closed; one more count while they are closed
  // here, so that it cannot end before all are closing.
  LoopWatchHandles* handles = self->handles_;
  ++handles->open;
  handles->hook = hook;
  ClosePlain(self->idle_, handles);
  ClosePlain(self->limit_, handles);
  self->idle_ = nullptr;
  self->limit_ = nullptr;
  self->handles_ = nullptr;
  handles->Closed();
  delete self;
}

}  // namespace Hostlink
