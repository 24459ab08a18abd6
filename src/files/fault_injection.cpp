// The seam of the fault-injection test build: see system_call.h.

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "files/file_access.h"
#include "files/system_call.h"

namespace sectify::faults {
namespace {

// What SECTIFY_FAIL asks for: the calls listed, or one call failed.
struct Plan {
  bool list = false;
  std::string function;     // whose call fails; empty: none
  unsigned long which = 0;  // the how-manieth call of it, from 1
  file_access::ErrorCode error = 0;
};

// Reads SECTIFY_FAIL, "list" or "FUNCTION:K:ERROR"; ends the run with
// status 2 if it is neither, so that a mistyped test cannot pass unseen.
Plan read_plan() {
  Plan plan;
  const char* text = std::getenv("SECTIFY_FAIL");
  if (text == nullptr || *text == '\0') return plan;
  if (std::strcmp(text, "list") == 0) {
    plan.list = true;
    return plan;
  }
  const std::string value = text;
  const std::size_t first = value.find(':');
  const std::size_t second = first == std::string::npos ? first : value.find(':', first + 1);
  char* end = nullptr;
  if (second != std::string::npos) {
    plan.function = value.substr(0, first);
    plan.which = std::strtoul(value.c_str() + first + 1, &end, 10);
    if (end == value.c_str() + second) {
      plan.error = std::strtoul(value.c_str() + second + 1, &end, 10);
    }
  }
  if (plan.function.empty() || plan.which == 0 || end == nullptr || *end != '\0') {
    std::fprintf(stderr, "SECTIFY_FAIL=%s: expected list or FUNCTION:K:ERROR\n", text);
    std::exit(2);
  }
  return plan;
}

}  // namespace

bool fails(const char* function) {
  static const Plan plan = read_plan();
  static unsigned long calls = 0;  // of plan.function so far
  // A call written with its namespace, "::close", is listed as "close".
  if (std::strncmp(function, "::", 2) == 0) function += 2;
  if (plan.list) {
    std::fprintf(stderr, "%s\n", function);
    return false;
  }
  if (plan.function != function || ++calls != plan.which) return false;
  file_access::set_last_error(plan.error);
  return true;
}

}  // namespace sectify::faults
