// Whether the machine has a CPU to spare, for the spins of AdaptiveSpin.
#include "base/AdaptiveSpin.h"

#ifdef __linux__
#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#endif

namespace IPC {

bool AdaptiveSpin::MachineBusy() {
#ifdef __linux__
  // "0.52 0.41 0.30 3/456 7890": the fourth field counts the threads runnable right now,
  // the calling one among them.
  const int fd = open("/proc/loadavg", O_RDONLY | O_CLOEXEC);
  if (fd < 0) return true;
  char text[128];
  const ssize_t length = read(fd, text, sizeof text - 1);
  close(fd);
  if (length <= 0) return true;
  text[length] = '\0';
  const char* field = text;
  for (int skipped = 0; skipped < 3 && field != nullptr; ++skipped) {
    field = strchr(field, ' ');
    if (field != nullptr) ++field;
  }
  if (field == nullptr) return true;
  char* end = nullptr;
  const long runnable = strtol(field, &end, 10);
  if (end == field || *end != '/') return true;
  static const long cpus = sysconf(_SC_NPROCESSORS_ONLN);
  return cpus <= 0 || runnable > cpus;
#else
  return true;
#endif
}

}  // namespace IPC
