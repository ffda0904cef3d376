// One lazily created instance of T per process, destroyed only on request.
#pragma once

#include <atomic>
#include <mutex>

namespace Hostlink {

template <typename T>
class Singleton {
 public:
  virtual ~Singleton() = default;

  // The one instance, default-constructed on first use; never null. A throwing
  // constructor leaves the singleton uncreated and the exception propagates.
  static T& GetInstance() {
    StateHolder& state = GetStateHolder();
    if (!state.created.load(std::memory_order_acquire)) {
      std::lock_guard<std::recursive_mutex> lock(state.lock);
      if (!state.created.load(std::memory_order_relaxed)) {
        state.instance = new T();
        state.created.store(true, std::memory_order_release);
      }
    }
    return *state.instance;
  }

  // Deletes the instance, if any; the next GetInstance makes a fresh one.
  static void DestroyInstance() {
    StateHolder& state = GetStateHolder();
    if (state.created.load(std::memory_order_acquire)) {
      std::lock_guard<std::recursive_mutex> lock(state.lock);
      delete state.instance;
      state.instance = nullptr;
      state.created.store(false, std::memory_order_release);
    }
  }

 protected:
  Singleton() = default;
  Singleton(const Singleton&) = delete;
  Singleton& operator=(const Singleton&) = delete;

 private:
  struct StateHolder {
    // Read once outside the lock, hence atomic.
    std::atomic<bool> created{false};
    T* instance = nullptr;
    std::recursive_mutex lock;
  };

  // Made once per process and never freed, so it outlives every caller, even
  // code that runs during process exit.
  static StateHolder& GetStateHolder() {
    static std::once_flag once;
    static StateHolder* holder = nullptr;
    std::call_once(once, CreateStateHolder, &holder);
    return *holder;
  }

  static void CreateStateHolder(StateHolder** holder) { *holder = new StateHolder(); }
};

}  // namespace Hostlink
