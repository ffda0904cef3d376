// The checker's verdicts: one line per check with its outcome and the evidence, as text or
// as one JSON object.
#pragma once

#include <string>
#include <vector>

namespace Check {

enum class Outcome { Pass, Fail, Skip };

struct CheckResult {
  std::string name;
  Outcome outcome;
  std::string evidence;
};

class CheckReport {
 public:
  void Pass(std::string name, std::string evidence);
  void Fail(std::string name, std::string evidence);
  void Skip(std::string name, std::string reason);
  // Pass when `passed`, else Fail, with the same evidence.
  void Record(std::string name, bool passed, std::string evidence);

  // True when no check failed (skipped ones do not count against the host).
  bool AllPassed() const;
  const std::vector<CheckResult>& Results() const { return results_; }

  // "PASS  name: evidence" lines and a closing count.
  std::string ToText() const;
  std::string ToJson(const std::string& pluginId) const;

 private:
  std::vector<CheckResult> results_;
};

}  // namespace Check
