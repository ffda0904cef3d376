// Runs a piece of code with stderr captured, for checking the log lines it writes.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <utility>

namespace VariantTest {

template <typename Body>
std::string LogOf(Body&& body) {
  testing::internal::CaptureStderr();
  std::forward<Body>(body)();
  return testing::internal::GetCapturedStderr();
}

inline std::string ErrorLine(const std::string& text) { return "IPC | Error | " + text + "\n"; }

}  // namespace VariantTest
