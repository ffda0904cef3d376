// Parsing and usage text of the reference host's command line.
#include "CommandLine.h"

#include <cerrno>
#include <cstdlib>

namespace ReferenceHost {

namespace {

bool ParseMilliseconds(const std::string& text, uint32_t& value) {
  if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos) {
    return false;
  }
  errno = 0;
  const unsigned long long parsed = std::strtoull(text.c_str(), nullptr, 10);
  if (errno != 0 || parsed > 0xFFFFFFFFull) {
    return false;
  }
  value = static_cast<uint32_t>(parsed);
  return true;
}

}  // namespace

CommandLine CommandLine::Parse(int argc, char** argv) {
  CommandLine line;
  for (int i = 1; i < argc; ++i) {
    const std::string option = argv[i];
    const bool hasValue = i + 1 < argc;
    if (option == "--help" || option == "-h") {
      line.help = true;
    } else if (option == "--trace") {
      line.trace = true;
    } else if (option == "--keep-running") {
      line.keepRunning = true;
    } else if (option == "--plugin-id" && hasValue) {
      line.pluginId = argv[++i];
    } else if (option == "--control" && hasValue) {
      line.controlDirectory = argv[++i];
    } else if (option == "--tick" && hasValue) {
      if (!ParseMilliseconds(argv[++i], line.tickMs)) {
        line.error = "--tick needs a number of milliseconds";
      }
    } else {
      line.error = "unknown or incomplete option " + option;
    }
  }
  if (!line.help && line.error.empty() && line.pluginId.empty()) {
    line.error = "--plugin-id is required";
  }
  if (!line.controlDirectory.empty()) {
    line.keepRunning = true;
  }
  return line;
}

const char* CommandLine::Usage() {
  return R"USAGE(Usage: hostlink-host --plugin-id ID [--tick MS] [--keep-running] [--control DIR]
                     [--trace]

The Hostlink reference host: serves the request pipe ID and the callback pipe
ID_callback for one plug-in, and prints "hostlink-host: ready (plugin-id ID)" on
standard output once a plug-in can connect. It stops on UnloadPlugin, SIGINT or
SIGTERM and prints "hostlink-host: stopped" last. Failures go to standard error.

Options:
  --plugin-id ID   the plug-in identifier to serve (required)
  --tick MS        fire the "Tick" callback every MS milliseconds while registered
  --keep-running   stay up after UnloadPlugin, for the next plug-in
  --control DIR    test mode (implies --keep-running): a test scripts the answers
                   through files in DIR; see test/js/helpers/host.js
  --trace          write one line per message to standard error, in the
                   add-on's NODE_DEBUG=hostlink trace form
  --help           show this text

Object model (GetKestrel gives the Application):
  Application  GetName() GetVersion() GetInfo() GetDocuments() GetBench() Echo(x)
  Documents    Create(title) Open(title) List() Count() Close(document or title)
  Document     GetTitle() SetTitle(title) AddShape(type, x, y, width, height)
               AddShape({type, x, y, width, height}) GetShapes() GetShape(id)
               GetShapeCount() MoveShape(id, x, y) RemoveShape(id) Close()
               Shapes are tables {id, type, x, y, width, height}; types are
               rectangle, ellipse, line and text. Every change fires the
               "DocumentChanged" callback with the document and what
               changed: shapeAdded, shapeMoved, shapeRemoved, titleChanged.
  Bench        Noop() Echo(x) Add(a, b) MakeList(n) MakeTable(n) MakeString(n)
               TakeString(s): cheap calls, large results and large arguments for
               performance measurements (n up to 10000000; a result must compress
               to 102400 bytes to be sent). FireAfter(name, ms) fires a callback
               ms later; TakeFireTimes() lists when, in microseconds of the
               monotonic clock
Errors (bad arguments, unknown objects or functions) come back as failures with
"errorStr" and "errorCode".
)USAGE";
}

}  // namespace ReferenceHost
