// How long a wait looks again for what it waits for before it blocks in the kernel, learned
// from whether looking has lately paid. Spinning pays only while the other side runs on
// another CPU and answers within the spin; on a busy machine, or with both sides on one CPU,
// it never does, and a thread that spins (or yields) there only delays the side it waits for.
#pragma once

#include <chrono>
#include <cstdint>
#include <thread>

#ifdef __linux__
#include <sys/resource.h>
#endif

namespace IPC {

class AdaptiveSpin {
 public:
  using Clock = std::chrono::steady_clock;

  // `longest`: the spin of a wait that is allowed to spin at all.
  explicit AdaptiveSpin(Clock::duration longest) : longest_(longest) {}

  // The spin the next wait may make before it blocks; zero: block at once. After a miss,
  // the next 1, 3, 7, ... 63 waits block at once, then one spins again to learn whether
  // it pays by now.
  Clock::duration Next() {
    if (!allowed_) return Clock::duration::zero();
    if (skip_ > 0) {
      --skip_;
      return Clock::duration::zero();
    }
    return longest_;
  }

  // What the wait that spun found: its message while it spun (paid), or nothing (missed,
  // it blocked).
  void Paid() {
    misses_ = 0;
    skip_ = 0;
  }
  void Missed() {
    if (misses_ < kMostMisses) ++misses_;
    skip_ = (1u << misses_) - 1;
  }

  // A spin that ran out before its message came. It counts as missed only where it kept
  // the peer from a CPU: more threads want a CPU than there are CPUs, or `peerElsewhere()`
  // finds that the peer can now run only on the one CPU this thread may run on (an
  // affinity changed since the connection was made, and each spin holds the CPU the
  // answer needs). Elsewhere it took nothing from anyone, and backing off there makes
  // both ends sleep, each then waiting out the other's wake-up, so that neither's spin
  // catches a message again for a long while. peerElsewhere is asked only on an idle
  // machine, after a spin that failed anyway.
  template <typename PeerElsewhere>
  void TimedOut(PeerElsewhere peerElsewhere) {
    if (MachineBusy() || !peerElsewhere()) Missed();
  }

  // A wait that also learns from preemption: a spin that caught its message while the
  // CPU was wanted by others (the thread was preempted) only took the CPU from the peer,
  // so it counts as missed. The spin the wait may make, as Next; first it settles the last
  // spin that caught its message. The thread's preemption count is read here, where the
  // thread waits anyway, and not where a message has just come, where the read (a
  // syscall) would delay handling it; so the count also covers the work after that catch.
  Clock::duration NextWatched() {
    if (!allowed_) return Clock::duration::zero();
    const std::thread::id thread = std::this_thread::get_id();
    long preemptions = -1;
    if (caught_) {
      caught_ = false;
      if (thread != spinThread_) {
        // Caught on another thread (the pipe is read by whichever call holds the turn):
        // its count is not this thread's to read, and the catch stands.
        Paid();
      } else {
        preemptions = Preemptions();
        if (preemptions == preemptionsAtSpin_) {
          Paid();
        } else {
          Missed();
        }
      }
    }
    const Clock::duration spin = Next();
    if (spin != Clock::duration::zero()) {
      preemptionsAtSpin_ = preemptions >= 0 ? preemptions : Preemptions();
      spinThread_ = thread;
    }
    return spin;
  }
  // The spin NextWatched allowed caught its message; whether it paid is settled there.
  void Caught() { caught_ = true; }

  // Whether the next wait blocks at once whatever it finds (not allowed to spin, or
  // backing off with no catch to settle), so that it may sleep from its first look.
  bool BlocksNext() const { return !allowed_ || (skip_ > 0 && !caught_); }

  // Whether more threads are runnable than there are CPUs (true where unknown).
  static bool MachineBusy();

  // Off where spinning cannot pay at all (both sides can only share one CPU).
  void Allow(bool allowed) {
    allowed_ = allowed;
    caught_ = false;
    Paid();
  }

  // One turn of a spin: tells the CPU this is a spin (an SMT sibling gets the core's
  // resources); never gives the CPU away, since a yield queues this thread behind every
  // CPU-bound process for a whole time slice.
  static void Pause() {
#if defined(__x86_64__) || defined(__i386__)
    __builtin_ia32_pause();
#elif defined(__aarch64__)
    asm volatile("yield" ::: "memory");
#endif
  }

 private:
  static constexpr uint32_t kMostMisses = 6;

  // Times the calling thread has been preempted so far (0 where unknown).
  static long Preemptions() {
#ifdef __linux__
    rusage usage{};
    return getrusage(RUSAGE_THREAD, &usage) == 0 ? usage.ru_nivcsw : 0;
#else
    return 0;
#endif
  }

  Clock::duration longest_;
  bool allowed_ = true;
  uint32_t misses_ = 0;
  uint32_t skip_ = 0;
  // A spin that NextWatched allowed caught its message; the preemption count when it
  // began, and the thread whose count that is.
  bool caught_ = false;
  long preemptionsAtSpin_ = 0;
  std::thread::id spinThread_;
};

}  // namespace IPC
