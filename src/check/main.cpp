// hostlink-check --plugin-id ID [options]: connects to the host serving ID as a plug-in
// would and reports, one line per check, whether it honours the protocol.
// Exits 0 only when no check fails.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "check/CheckReport.h"
#include "check/HostChecker.h"

namespace {

constexpr const char* kUsage =
    "Usage: hostlink-check --plugin-id ID [--json] [--explore] [--callback NAME]...\n"
    "                      [--callback-wait MS] [--no-unload]\n"
    "\n"
    "Connects to the host serving the plug-in identifier ID, as a plug-in would, and\n"
    "checks that it honours the Hostlink protocol: its pipes, the plug-in's own requests,\n"
    "failure answers, hostile input, every proxy description and the form of every\n"
    "answer, that nothing comes on the request pipe unasked, the release extension when\n"
    "the root announces it, and last \"UnloadPlugin\" (the host may then end or keep\n"
    "serving). Prints one line per check with PASS, FAIL or SKIP and the evidence;\n"
    "--json prints one JSON object instead. Exits 0 when no check fails, 1 when one\n"
    "does, 2 on a usage error. Channel failures seen on the way are logged to standard\n"
    "error.\n"
    "\n"
    "Options:\n"
    "  --explore          also call, breadth first, every function named Get... with no\n"
    "                     arguments on the root and the objects they return (at most 200\n"
    "                     calls, 4 steps from the root), checking what they return\n"
    "  --callback NAME    register the host's callback NAME (repeatable) and wait for one\n"
    "                     of them on the callback pipe\n"
    "  --callback-wait MS how long to wait for it (default 5000)\n"
    "  --no-unload        leave out \"UnloadPlugin\", so the host keeps serving\n"
    "  --unload           the default; accepted for older scripts\n";

bool ParseMillis(const char* text, uint32_t& ms) {
  char* end = nullptr;
  const unsigned long value = std::strtoul(text, &end, 10);
  if (end == text || *end != '\0' || value > 600000) return false;
  ms = static_cast<uint32_t>(value);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  std::string pluginId;
  bool json = false;
  Check::CheckOptions options;
  for (int i = 1; i < argc; ++i) {
    const bool hasValue = i + 1 < argc;
    if (std::strcmp(argv[i], "--plugin-id") == 0 && hasValue) {
      pluginId = argv[++i];
    } else if (std::strcmp(argv[i], "--json") == 0) {
      json = true;
    } else if (std::strcmp(argv[i], "--unload") == 0) {
      options.unload = true;
    } else if (std::strcmp(argv[i], "--no-unload") == 0) {
      options.unload = false;
    } else if (std::strcmp(argv[i], "--explore") == 0) {
      options.explore = true;
    } else if (std::strcmp(argv[i], "--callback") == 0 && hasValue && argv[i + 1][0] != '\0') {
      options.callbacks.push_back(argv[++i]);
    } else if (std::strcmp(argv[i], "--callback-wait") == 0 && hasValue &&
               ParseMillis(argv[i + 1], options.callbackWaitMs)) {
      ++i;
    } else if (std::strcmp(argv[i], "--help") == 0) {
      std::fputs(kUsage, stdout);
      return 0;
    } else {
      std::fprintf(stderr, "hostlink-check: unknown or incomplete argument %s\n\n%s", argv[i],
                   kUsage);
      return 2;
    }
  }
  if (pluginId.empty()) {
    std::fputs(kUsage, stderr);
    return 2;
  }
  Check::CheckReport report;
  Check::HostChecker(pluginId, report).Run(options);
  const std::string output = json ? report.ToJson(pluginId) : report.ToText();
  std::fwrite(output.data(), 1, output.size(), stdout);
  return report.AllPassed() ? 0 : 1;
}
