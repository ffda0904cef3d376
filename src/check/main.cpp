// hostlink-check --plugin-id ID [--json] [--unload]: connects to the host serving ID as a
// plug-in would and reports, one line per check, whether it honours the protocol.
// Exits 0 only when every check passes.
#include <cstdio>
#include <cstring>
#include <string>

#include "check/CheckReport.h"
#include "check/HostChecker.h"

namespace {

constexpr const char* kUsage =
    "Usage: hostlink-check --plugin-id ID [--json] [--unload]\n"
    "\n"
    "Connects to the host serving the plug-in identifier ID, as a plug-in would, and\n"
    "checks that it honours the Hostlink protocol: its pipes, the plug-in's own requests,\n"
    "failure answers, hostile input, the form of every answer and, with --unload,\n"
    "\"UnloadPlugin\" (the host should then end). Prints one line per check with PASS,\n"
    "FAIL or SKIP and the evidence; --json prints one JSON object instead. Exits 0 when\n"
    "every check passes, 1 when one fails, 2 on a usage error. Channel failures seen on\n"
    "the way are logged to standard error.\n";

}  // namespace

int main(int argc, char** argv) {
  std::string pluginId;
  bool json = false;
  bool unload = false;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--plugin-id") == 0 && i + 1 < argc) {
      pluginId = argv[++i];
    } else if (std::strcmp(argv[i], "--json") == 0) {
      json = true;
    } else if (std::strcmp(argv[i], "--unload") == 0) {
      unload = true;
    } else if (std::strcmp(argv[i], "--help") == 0) {
      std::fputs(kUsage, stdout);
      return 0;
    } else {
      std::fprintf(stderr, "hostlink-check: unknown argument %s\n\n%s", argv[i], kUsage);
      return 2;
    }
  }
  if (pluginId.empty()) {
    std::fputs(kUsage, stderr);
    return 2;
  }
  Check::CheckReport report;
  Check::HostChecker(pluginId, report).Run(unload);
  const std::string output = json ? report.ToJson(pluginId) : report.ToText();
  std::fwrite(output.data(), 1, output.size(), stdout);
  return report.AllPassed() ? 0 : 1;
}
