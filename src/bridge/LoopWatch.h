// A watch of the request pipe from a JavaScript environment's own event loop: the
// JavaScript thread learns that an answer waits straight from the kernel, with no other
// thread woken to tell it. On a busy machine every thread woken waits for a CPU, so an
// awaited call then costs about what a synchronous one does.
//
// Made only where the loop can serve: Node's own libuv on Linux, found at run time (Bun
// and Deno offer no libuv to watch with, Windows pipes are not sockets). Elsewhere, and
// with HOSTLINK_LOOP_READS=0, Make returns null and answers come by the sender thread.
#pragma once

#include <cstdint>
#include <functional>

#include <node_api.h>

#include "base/AdaptiveSpin.h"

namespace Hostlink {

struct LoopWatchHandles;

class LoopWatch {
 public:
  using Ready = void (*)(void* context);

  // JavaScript thread of env: a watch that calls ready(context) from env's loop while the
  // watched connection has something to read. Null where the loop cannot watch. The watch
  // belongs to env: its teardown closes the handles and deletes it (whoever holds it may
  // be let go on any thread, earlier or later), so it is used on env's thread only.
  static LoopWatch* Make(napi_env env, Ready ready, void* context);

  LoopWatch(const LoopWatch&) = delete;
  LoopWatch& operator=(const LoopWatch&) = delete;

  // JavaScript thread: watches connection number `connection`; a connection other than the
  // one watched is duplicated by `duplicate` (-1: none) and watched from now on. With a
  // limit, ready is called after limitMs also when nothing came, for the reader to find the
  // time-out. spinCanPay: the peer may run on another CPU (as the channel last found). The watch
  // does not keep the loop alive. False when it could not be started.
  bool Watch(uint64_t connection, const std::function<intptr_t()>& duplicate, uint32_t limitMs,
             bool spinCanPay);
  // JavaScript thread: stops watching (and the limit) until the next Watch.
  void Pause();
  // JavaScript thread: stops watching and lets the duplicate go at once; the next Watch
  // duplicates the connection again.
  void Release() { Drop(); }
  // JavaScript thread, right after a Watch for an answer soon due: the loop looks again
  // without sleeping for a short while, when that has lately paid. Waking a thread that
  // sleeps costs tens of microseconds, more when its CPU has gone idle; on a busy machine,
  // or on one CPU, the spin learns that it does not pay and the loop sleeps at once.
  void SpinForAnswer();

 private:
  struct Handle;
  LoopWatch() = default;
  static void OnPoll(void* handle, int status, int events);
  static void OnIdle(void* handle);
  static void OnLimit(void* handle);
  // The spin ended: with the answer (paid, unless the next spin finds this thread was
  // preempted since this one began), or at its end without it.
  void EndSpin(bool answered);
  static void OnCleanup(napi_async_cleanup_hook_handle hook, void* data);
  // Closes the handle (the loop frees it, and the duplicate, later).
  void Drop();

  napi_env env_ = nullptr;
  void* loop_ = nullptr;
  Ready ready_ = nullptr;
  void* context_ = nullptr;
  Handle* handle_ = nullptr;
  uint64_t connection_ = 0;
  bool polling_ = false;
  bool closed_ = false;
  napi_async_cleanup_hook_handle cleanupHook_ = nullptr;
  // Counts the handles libuv has yet to close (see LoopWatch.cpp).
  LoopWatchHandles* handles_ = nullptr;
  // An idle handle keeps the loop from sleeping while it spins; a timer ends a wait at
  // the API time-out.
  void* idle_ = nullptr;
  void* limit_ = nullptr;
  bool limited_ = false;
  IPC::AdaptiveSpin spin_{std::chrono::microseconds(50)};
  // What the channel last said of its peer's placement; the spin starts afresh on a change.
  bool spinCanPay_ = false;
  bool spinning_ = false;
  IPC::AdaptiveSpin::Clock::time_point spinEnd_;
};

}  // namespace Hostlink
