// Posting work to the application's thread and waiting for it.
#include "host/ThreadDispatcher.h"

#include <condition_variable>
#include <exception>
#include <utility>

namespace Host {

namespace {

enum class JobState { Posted, Running, Done, Dropped, Abandoned };

}  // namespace

struct ThreadDispatcher::Job {
  std::mutex lock;
  std::condition_variable changed;
  JobState state = JobState::Posted;
  bool stopping = false;
  // Valid while the waiter waits: it waits for as long as the work may use it.
  const std::function<void()>* work = nullptr;
  std::exception_ptr failure;
};

namespace {

// What the application holds: the last copy that goes without having run marks the job
// dropped, so that the waiter does not wait for ever on work the application discarded.
class Ticket {
 public:
  explicit Ticket(std::shared_ptr<ThreadDispatcher::Job> job) : job_(std::move(job)) {}
  ~Ticket();
  Ticket(const Ticket&) = delete;
  Ticket& operator=(const Ticket&) = delete;

  void Run();

 private:
  std::shared_ptr<ThreadDispatcher::Job> job_;
};

}  // namespace

Ticket::~Ticket() {
  std::lock_guard<std::mutex> lock(job_->lock);
  if (job_->state == JobState::Posted) {
    job_->state = JobState::Dropped;
    job_->changed.notify_all();
  }
}

void Ticket::Run() {
  {
    std::lock_guard<std::mutex> lock(job_->lock);
    if (job_->state != JobState::Posted) {
      return;  // run twice, or too late: the waiter has gone
    }
    job_->state = JobState::Running;
  }
  std::exception_ptr failure;
  try {
    (*job_->work)();
  } catch (...) {
    failure = std::current_exception();
  }
  std::lock_guard<std::mutex> lock(job_->lock);
  job_->failure = std::move(failure);
  job_->state = JobState::Done;
  job_->changed.notify_all();
}

ThreadDispatcher::Outcome ThreadDispatcher::Run(const std::function<void()>& work) {
  if (!post_) {
    work();
    return Outcome::Ran;
  }
  auto job = std::make_shared<Job>();
  job->work = &work;
  {
    std::lock_guard<std::mutex> lock(lock_);
    if (stopping_) {
      return Outcome::Stopped;
    }
    waiting_ = job;
  }
  struct Unlist {
    ThreadDispatcher& dispatcher;
    ~Unlist() {
      std::lock_guard<std::mutex> lock(dispatcher.lock_);
      dispatcher.waiting_.reset();
    }
  } unlist{*this};
  {
    auto ticket = std::make_shared<Ticket>(job);
    post_([ticket] { ticket->Run(); });
  }
  std::unique_lock<std::mutex> lock(job->lock);
  job->changed.wait(lock, [&] {
    return job->state == JobState::Done || job->state == JobState::Dropped ||
           (job->stopping && job->state == JobState::Posted);
  });
  switch (job->state) {
    case JobState::Done:
      if (job->failure) {
        std::rethrow_exception(job->failure);
      }
      return Outcome::Ran;
    case JobState::Dropped:
      return Outcome::Dropped;
    default:
      job->state = JobState::Abandoned;
      return Outcome::Stopped;
  }
}

void ThreadDispatcher::Send(std::function<void()> work) {
  if (post_) {
    post_(std::move(work));
  } else {
    work();
  }
}

void ThreadDispatcher::Stop() {
  std::shared_ptr<Job> job;
  {
    std::lock_guard<std::mutex> lock(lock_);
    stopping_ = true;
    job = waiting_;
  }
  if (job) {
    std::lock_guard<std::mutex> lock(job->lock);
    job->stopping = true;
    job->changed.notify_all();
  }
}

void ThreadDispatcher::Resume() {
  std::lock_guard<std::mutex> lock(lock_);
  stopping_ = false;
}

}  // namespace Host
