// The reference host's command line.
#pragma once

#include <cstdint>
#include <string>

namespace ReferenceHost {

struct CommandLine {
  std::string pluginId;
  std::string controlDirectory;
  uint32_t tickMs = 0;
  bool keepRunning = false;
  bool trace = false;
  bool help = false;
  // Set when the arguments cannot be used; says why.
  std::string error;

  static CommandLine Parse(int argc, char** argv);
  static const char* Usage();
};

}  // namespace ReferenceHost
