// The seam of the fault-injection test build: see system_call.h.

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "files/file_access.h"
#include "files/system_call.h"

namespace sectify::faults {
namespace {

// One call to fail: the `which`-th call of `function`, with `error`.
struct Failure {
  std::string function;
  unsigned long which = 0;
  file_access::ErrorCode error = 0;
  unsigned long calls = 0;  // of `function` so far
};

// What SECTIFY_FAIL asks for: the calls listed, or some of them failed.
struct Plan {
  bool list = false;
  std::vector<Failure> failures;
};

// Reads one "FUNCTION:K:ERROR" into `failure`; returns false if it is not
// of that form.
bool read_failure(const std::string& text, Failure& failure) {
  char function[64] = "";
  int end = 0;
  const int fields = std::sscanf(text.c_str(), "%63[^:]:%lu:%lu%n", function, &failure.which,
                                 &failure.error, &end);
  failure.function = function;
  return fields == 3 && failure.which > 0 && static_cast<std::size_t>(end) == text.size();
}

// Reads SECTIFY_FAIL: "list", "FUNCTION:K:ERROR", or several of them,
// joined by commas. Ends the run with status 2 if it is neither, so that a
// mistyped test cannot pass unseen.
Plan read_plan() {
  Plan plan;
  const char* text = std::getenv("SECTIFY_FAIL");
  if (text == nullptr || *text == '\0') return plan;
  const std::string value = text;
  for (std::size_t begin = 0; begin <= value.size();) {
    const std::size_t end = std::min(value.find(',', begin), value.size());
    Failure failure;
    if (value.compare(begin, end - begin, "list") == 0) {
      plan.list = true;
    } else if (read_failure(value.substr(begin, end - begin), failure)) {
      plan.failures.push_back(failure);
    } else {
      std::fprintf(stderr, "SECTIFY_FAIL=%s: expected list or FUNCTION:K:ERROR, joined by commas\n",
                   text);
      std::exit(2);
    }
    begin = end + 1;
  }
  return plan;
}

}  // namespace

bool fails(const char* function) {
  static Plan plan = read_plan();
  // A call written with its namespace, "::close", is listed as "close".
  if (std::strncmp(function, "::", 2) == 0) function += 2;
  if (plan.list) std::fprintf(stderr, "%s\n", function);
  bool fail = false;
  for (Failure& failure : plan.failures) {
    if (failure.function == function && ++failure.calls == failure.which) {
      file_access::set_last_error(failure.error);
      fail = true;
    }
  }
  return fail;
}

}  // namespace sectify::faults
