#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include "base/CpuBandwidth.h"

namespace {

namespace fs = std::filesystem;

// A made-up root with the process files and group files of one layout.
class FakeRoot {
 public:
  FakeRoot() {
    const std::string name = "cpubandwidth-" + std::to_string(std::random_device{}());
    path_ = (fs::temp_directory_path() / name).string();
    fs::create_directories(path_);
  }
  ~FakeRoot() { fs::remove_all(path_); }

  void Write(const std::string& file, const std::string& text) const {
    const fs::path full = fs::path(path_ + file);
    fs::create_directories(full.parent_path());
    std::ofstream(full) << text;
  }
  double Limit() const { return IPC::CpuBandwidthLimitUnder(path_); }

 private:
  std::string path_;
};

// A quota read from the wrong group would let both ends spin in a container of one CPU,
// which then stands still for half of every period; one missed would stop spins that pay.
TEST(CpuBandwidth, ReadsTheQuotaThatBindsInEachGroupLayout) {
  {
    SCOPED_TRACE("version 2: an ancestor's quota binds a group that sets none");
    FakeRoot root;
    root.Write("/proc/self/mountinfo",
               "22 1 8:1 / / rw - ext4 /dev/sda1 rw\n"
               "30 22 0:26 / /sys/fs/cgroup rw,nosuid shared:9 - cgroup2 cgroup2 rw\n");
    root.Write("/proc/self/cgroup", "0::/app.slice/plugin\n");
    root.Write("/sys/fs/cgroup/app.slice/cpu.max", "150000 100000\n");
    root.Write("/sys/fs/cgroup/app.slice/plugin/cpu.max", "max 100000\n");
    EXPECT_DOUBLE_EQ(root.Limit(), 1.5);
  }
  {
    SCOPED_TRACE("version 1 in a container: the mount shows the group as its root");
    FakeRoot root;
    root.Write("/proc/self/mountinfo",
               "40 30 0:30 /docker/abc /sys/fs/cgroup/cpu,cpuacct ro - cgroup cgroup "
               "rw,cpu,cpuacct\n"
               "41 30 0:31 /docker/abc /sys/fs/cgroup/cpuset ro - cgroup cgroup rw,cpuset\n");
    root.Write("/proc/self/cgroup", "5:cpuset:/docker/abc\n4:cpu,cpuacct:/docker/abc\n");
    root.Write("/sys/fs/cgroup/cpu,cpuacct/cpu.cfs_quota_us", "100000\n");
    root.Write("/sys/fs/cgroup/cpu,cpuacct/cpu.cfs_period_us", "100000\n");
    EXPECT_DOUBLE_EQ(root.Limit(), 1.0);
  }
  {
    SCOPED_TRACE("no quota anywhere, or nothing to read");
    FakeRoot root;
    root.Write("/proc/self/mountinfo",
               "30 22 0:26 / /sys/fs/cgroup rw - cgroup2 cgroup2 rw\n"
               "31 22 0:27 / /sys/fs/cgroup/cpu rw - cgroup cgroup rw,cpu\n");
    root.Write("/proc/self/cgroup", "0::/user\n3:cpu:/user\n");
    root.Write("/sys/fs/cgroup/user/cpu.max", "max 100000\n");
    root.Write("/sys/fs/cgroup/cpu/user/cpu.cfs_quota_us", "-1\n");
    root.Write("/sys/fs/cgroup/cpu/user/cpu.cfs_period_us", "100000\n");
    EXPECT_EQ(root.Limit(), 0);
    FakeRoot empty;
    EXPECT_EQ(empty.Limit(), 0);
  }
}

}  // namespace
