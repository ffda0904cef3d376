// Runs work on the thread the host application chooses (through its dispatcher) and waits
// for it there, with a wait that the service's Stop cuts short.
#pragma once

#include <functional>
#include <memory>
#include <mutex>

namespace Host {

class ThreadDispatcher {
 public:
  // Hands one piece of work to the application, which runs it once, later, on its thread
  // (or drops it, when it shuts down).
  using Post = std::function<void(std::function<void()>)>;

  enum class Outcome {
    Ran,
    // The application destroyed the work without running it.
    Dropped,
    // Stop came while the work waited to begin; it will not run.
    Stopped,
  };

  // Set before the service starts; without one, work runs on the calling thread.
  void Set(Post post) { post_ = std::move(post); }
  bool IsSet() const { return static_cast<bool>(post_); }

  // Posts work and waits until it has run, was dropped, or Stop came before it began
  // (work that has begun is always waited for, since it uses the caller's data). An
  // exception the work throws is thrown here, on the waiting thread.
  Outcome Run(const std::function<void()>& work);
  // Posts work without waiting for it.
  void Send(std::function<void()> work);

  // Ends the wait of Run for work not yet begun, and makes later calls of Run return
  // Stopped at once, until Resume.
  void Stop();
  void Resume();

  // One posted piece of work, shared by the waiter and what the application holds.
  struct Job;

 private:
  Post post_;
  std::mutex lock_;
  bool stopping_ = false;
  std::shared_ptr<Job> waiting_;
};

}  // namespace Host
