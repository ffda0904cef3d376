// How many CPUs' worth of time the process's control group lets it use (a container's
// "--cpus", a service's CPU quota): a spin there costs quota that the side it waits for
// needs, and a group that spends its quota early in a period stands still for the rest.
#pragma once

#include <string>

namespace IPC {

// The CPUs' worth of time per period the calling process's CPU control group and its
// ancestors allow (the smallest of their quotas), or 0 where none is set or it cannot be
// read. Linux only (0 elsewhere). The groups are found once per process; each call reads
// their quota files, a few small files (some microseconds each).
double CpuBandwidthLimit();

// The same, read below `root` instead of "/" (for tests): `root`/proc/self/mountinfo,
// `root`/proc/self/cgroup and the group's files under the mount points they name.
double CpuBandwidthLimitUnder(const std::string& root);

}  // namespace IPC
