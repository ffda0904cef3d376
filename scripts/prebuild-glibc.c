/* Linked into the Linux prebuild only (scripts/prebuild), with -Wl,--wrap for each symbol
 * below: it binds the add-on to the glibc 2.28 versions of the few functions that a build on
 * a newer glibc would take at their newest version, so that the binary loads on every glibc
 * that Node 18 runs on. Each wrapper calls the same function at its old version. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <pthread.h>
#include <time.h>

#define OLD(name, version) __asm__(".symver " #name "_old, " #name "@" version)

int pthread_create_old(pthread_t*, const pthread_attr_t*, void* (*)(void*), void*);
int pthread_join_old(pthread_t, void**);
int pthread_detach_old(pthread_t);
int pthread_once_old(pthread_once_t*, void (*)(void));
int pthread_mutex_trylock_old(pthread_mutex_t*);
int pthread_cond_timedwait_old(pthread_cond_t*, pthread_mutex_t*, const struct timespec*);
void* dlsym_old(void*, const char*);
/* The oldest version of each: x86-64's first glibc and its 2.3.2 condition variables, and
 * arm64's first glibc, 2.17, for all of them. */
#if defined(__aarch64__)
#define FIRST "GLIBC_2.17"
#define COND "GLIBC_2.17"
#else
#define FIRST "GLIBC_2.2.5"
#define COND "GLIBC_2.3.2"
#endif
OLD(pthread_create, FIRST);
OLD(pthread_join, FIRST);
OLD(pthread_detach, FIRST);
OLD(pthread_once, FIRST);
OLD(pthread_mutex_trylock, FIRST);
OLD(pthread_cond_timedwait, COND);
OLD(dlsym, FIRST);

__attribute__((visibility("hidden"))) int __wrap_pthread_create(
    pthread_t* thread, const pthread_attr_t* attr, void* (*start)(void*), void* arg) {
  return pthread_create_old(thread, attr, start, arg);
}
__attribute__((visibility("hidden"))) int __wrap_pthread_join(pthread_t thread, void** result) {
  return pthread_join_old(thread, result);
}
__attribute__((visibility("hidden"))) int __wrap_pthread_detach(pthread_t thread) {
  return pthread_detach_old(thread);
}
__attribute__((visibility("hidden"))) int __wrap_pthread_once(pthread_once_t* once,
                                                              void (*init)(void)) {
  return pthread_once_old(once, init);
}
__attribute__((visibility("hidden"))) int __wrap_pthread_mutex_trylock(pthread_mutex_t* mutex) {
  return pthread_mutex_trylock_old(mutex);
}
/* libdl's dlsym until glibc 2.34 (the add-on looks up the runtime's libuv with it). */
__attribute__((visibility("hidden"))) void* __wrap_dlsym(void* handle, const char* name) {
  return dlsym_old(handle, name);
}

/* pthread_cond_clockwait came with glibc 2.30. Waiting until a steady-clock deadline becomes
 * a wait until the same moment on the realtime clock, as libstdc++ did before it. */
__attribute__((visibility("hidden"))) int __wrap_pthread_cond_clockwait(
    pthread_cond_t* cond, pthread_mutex_t* mutex, clockid_t clock, const struct timespec* deadline) {
  struct timespec until = *deadline;
  if (clock != CLOCK_REALTIME) {
    struct timespec now_clock;
    struct timespec now_real;
    if (clock_gettime(clock, &now_clock) != 0 || clock_gettime(CLOCK_REALTIME, &now_real) != 0) {
      return EINVAL;
    }
    long long ns = (deadline->tv_sec - now_clock.tv_sec) * 1000000000LL +
                   (deadline->tv_nsec - now_clock.tv_nsec) + now_real.tv_nsec;
    until.tv_sec = now_real.tv_sec + ns / 1000000000LL;
    until.tv_nsec = ns % 1000000000LL;
    if (until.tv_nsec < 0) {
      until.tv_nsec += 1000000000LL;
      until.tv_sec -= 1;
    }
  }
  return pthread_cond_timedwait_old(cond, mutex, &until);
}

/* glibc 2.32's flag that lets libstdc++ skip atomic reference counts in a single-threaded
 * process. Zero means "may have threads", always true in Node, so the answer is the same. */
__attribute__((visibility("hidden"))) char __wrap___libc_single_threaded = 0;
