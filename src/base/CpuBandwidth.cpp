// The CPU quota of the process's control group, version 2 ("cpu.max") or version 1
// ("cpu.cfs_quota_us" and "cpu.cfs_period_us"), found through the mount table, so that a
// container that sees its own group as the root of the mount is read right too.
#include "base/CpuBandwidth.h"

#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <vector>

namespace IPC {

namespace {

struct CgroupMount {
  std::string root;        // the group the mount shows as its root
  std::string mountPoint;  // where it is mounted
  bool unified = false;    // version 2
};

// A whole small file, read with stdio: file streams would tie the add-on to a newer C
// library than it needs.
std::string ReadFile(const std::string& path) {
  std::string text;
  std::FILE* file = std::fopen(path.c_str(), "r");
  if (file == nullptr) return text;
  char chunk[4096];
  size_t length = 0;
  while ((length = std::fread(chunk, 1, sizeof chunk, file)) > 0) text.append(chunk, length);
  std::fclose(file);
  return text;
}

std::vector<std::string> Split(const std::string& text, char separator) {
  std::vector<std::string> parts;
  std::string part;
  std::istringstream stream(text);
  while (std::getline(stream, part, separator)) parts.push_back(part);
  return parts;
}

// A v1 mount that holds the cpu controller ("cpu" among its comma-separated options), or
// the v2 mount. Fields of a mountinfo line: id, parent, major:minor, root, mount point,
// options, optional fields up to "-", then type, source and super options.
bool FindMount(const std::string& root, bool unified, CgroupMount& mount) {
  std::istringstream mountinfo(ReadFile(root + "/proc/self/mountinfo"));
  std::string line;
  while (std::getline(mountinfo, line)) {
    const std::vector<std::string> fields = Split(line, ' ');
    size_t dash = 6;
    while (dash < fields.size() && fields[dash] != "-") ++dash;
    if (dash + 3 >= fields.size() || fields.size() < 5) continue;
    const std::string& type = fields[dash + 1];
    if (unified ? type != "cgroup2" : type != "cgroup") continue;
    if (!unified) {
      bool cpu = false;
      for (const std::string& option : Split(fields[dash + 3], ',')) cpu = cpu || option == "cpu";
      if (!cpu) continue;
    }
    mount = CgroupMount{fields[3], root + fields[4], unified};
    return true;
  }
  return false;
}

// The process's group in the hierarchy of `mount`, from /proc/self/cgroup ("0::/path" for
// version 2, "N:cpu,cpuacct:/path" for version 1).
bool FindGroup(const std::string& root, const CgroupMount& mount, std::string& group) {
  std::istringstream cgroups(ReadFile(root + "/proc/self/cgroup"));
  std::string line;
  while (std::getline(cgroups, line)) {
    const size_t first = line.find(':');
    const size_t second = first == std::string::npos ? first : line.find(':', first + 1);
    if (second == std::string::npos) continue;
    const std::string controllers = line.substr(first + 1, second - first - 1);
    bool match = mount.unified && line.compare(0, first, "0") == 0 && controllers.empty();
    for (const std::string& controller : Split(controllers, ',')) {
      match = match || (!mount.unified && controller == "cpu");
    }
    if (match) {
      group = line.substr(second + 1);
      return true;
    }
  }
  return false;
}

// The words of a small file: "150000 100000" or "max 100000" (cpu.max), "-1" or "50000"
// (cpu.cfs_quota_us); none when it cannot be read.
std::vector<std::string> Words(const std::string& path) {
  std::istringstream stream(ReadFile(path));
  std::vector<std::string> words;
  std::string word;
  while (stream >> word) words.push_back(word);
  return words;
}

// One group's quota in CPUs, or 0 when it sets none.
double GroupLimit(const std::string& directory, bool unified) {
  double quota = 0;
  double period = 0;
  if (unified) {
    const std::vector<std::string> max = Words(directory + "/cpu.max");
    if (max.size() < 2) return 0;
    quota = std::atof(max[0].c_str());  // "max" reads as 0: no quota
    period = std::atof(max[1].c_str());
  } else {
    const std::vector<std::string> quotaWords = Words(directory + "/cpu.cfs_quota_us");
    const std::vector<std::string> periodWords = Words(directory + "/cpu.cfs_period_us");
    if (quotaWords.empty() || periodWords.empty()) return 0;
    quota = std::atof(quotaWords[0].c_str());
    period = std::atof(periodWords[0].c_str());
  }
  return quota > 0 && period > 0 ? quota / period : 0;
}

// The directories of the process's group and each ancestor up to the mount's root, in one
// hierarchy; empty where it has none.
std::vector<std::string> GroupDirectories(const std::string& root, bool unified) {
  CgroupMount mount;
  std::string group;
  if (!FindMount(root, unified, mount) || !FindGroup(root, mount, group)) return {};
  // The part of the group's path below what the mount shows as its root; a group outside
  // it (another namespace's view) is read from the mount's root.
  std::string below;
  if (mount.root == "/") {
    below = group;
  } else if (group.compare(0, mount.root.size(), mount.root) == 0 &&
             (group.size() == mount.root.size() || group[mount.root.size()] == '/')) {
    below = group.substr(mount.root.size());
  }
  std::vector<std::string> directories;
  for (;;) {
    directories.push_back(mount.mountPoint + below);
    if (below.empty() || below == "/") break;
    const size_t slash = below.find_last_of('/');
    below = slash == std::string::npos ? std::string() : below.substr(0, slash);
  }
  return directories;
}

struct QuotaFiles {
  std::vector<std::string> unified;
  std::vector<std::string> legacy;
};

QuotaFiles FindQuotaFiles(const std::string& root) {
  return QuotaFiles{GroupDirectories(root, true), GroupDirectories(root, false)};
}

// The smallest quota of the groups: the one that binds.
double ReadLimit(const QuotaFiles& files) {
  double limit = 0;
  const auto take = [&limit](const std::vector<std::string>& directories, bool unified) {
    for (const std::string& directory : directories) {
      const double own = GroupLimit(directory, unified);
      if (own > 0 && (limit == 0 || own < limit)) limit = own;
    }
  };
  take(files.unified, true);
  take(files.legacy, false);
  return limit;
}

}  // namespace

double CpuBandwidthLimitUnder(const std::string& root) { return ReadLimit(FindQuotaFiles(root)); }

double CpuBandwidthLimit() {
#ifdef __linux__
  // Which groups hold the process does not change under it; their quotas may.
  static const QuotaFiles files = FindQuotaFiles("");
  return ReadLimit(files);
#else
  return 0;
#endif
}

}  // namespace IPC
