// The checker's verdicts and their two printed forms.
#include "check/CheckReport.h"

#include <utility>

#include "variant/KvVariantMap.h"

namespace Check {

namespace {

const char* Label(Outcome outcome) {
  switch (outcome) {
    case Outcome::Pass:
      return "PASS";
    case Outcome::Fail:
      return "FAIL";
    case Outcome::Skip:
      return "SKIP";
  }
  return "";
}

const char* JsonLabel(Outcome outcome) {
  switch (outcome) {
    case Outcome::Pass:
      return "pass";
    case Outcome::Fail:
      return "fail";
    case Outcome::Skip:
      return "skip";
  }
  return "";
}

}  // namespace

void CheckReport::Pass(std::string name, std::string evidence) {
  results_.push_back({std::move(name), Outcome::Pass, std::move(evidence)});
}

void CheckReport::Fail(std::string name, std::string evidence) {
  results_.push_back({std::move(name), Outcome::Fail, std::move(evidence)});
}

void CheckReport::Skip(std::string name, std::string reason) {
  results_.push_back({std::move(name), Outcome::Skip, std::move(reason)});
}

void CheckReport::Record(std::string name, bool passed, std::string evidence) {
  results_.push_back(
      {std::move(name), passed ? Outcome::Pass : Outcome::Fail, std::move(evidence)});
}

bool CheckReport::AllPassed() const {
  for (const CheckResult& result : results_) {
    if (result.outcome == Outcome::Fail) return false;
  }
  return true;
}

std::string CheckReport::ToText() const {
  std::string text;
  int counts[3] = {0, 0, 0};
  for (const CheckResult& result : results_) {
    ++counts[static_cast<int>(result.outcome)];
    text.append(Label(result.outcome)).append("  ").append(result.name);
    if (!result.evidence.empty()) text.append(": ").append(result.evidence);
    text.push_back('\n');
  }
  text.append("hostlink-check: ")
      .append(std::to_string(counts[0]))
      .append(" passed, ")
      .append(std::to_string(counts[1]))
      .append(" failed, ")
      .append(std::to_string(counts[2]))
      .append(" skipped\n");
  return text;
}

std::string CheckReport::ToJson(const std::string& pluginId) const {
  std::vector<IPC::KvVariantMap> checks;
  checks.reserve(results_.size());
  for (const CheckResult& result : results_) {
    IPC::KvVariantMap check;
    check.Set("name", result.name);
    check.Set("result", JsonLabel(result.outcome));
    check.Set("evidence", result.evidence);
    checks.push_back(std::move(check));
  }
  IPC::KvVariantMap report;
  report.Set("pluginId", pluginId);
  report.Set("passed", AllPassed());
  report.Set("checks", checks);
  return report.ToJSONString(false) + "\n";
}

}  // namespace Check
