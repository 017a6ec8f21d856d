// The number of the run-time error a call raises, for table-driven error tests.
#pragma once

#include <functional>
#include <string>

#include "quandelstk/errors.hpp"

namespace quandelstk::testing {

// 0 when f raises no RuntimeError; its description goes to *description when asked for.
inline int ErrorNumberOf(const std::function<void()>& f, std::string* description = nullptr) {
  try {
    f();
  } catch (const RuntimeError& e) {
    if (description) *description = e.Description();
    return e.Number();
  }
  return 0;
}

}  // namespace quandelstk::testing
