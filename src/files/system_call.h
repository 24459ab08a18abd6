// Every call the file layer makes to the operating system goes through
// SECTIFY_CALL, so that a test build (SECTIFY_FAULT_INJECTION) can make any
// one of them fail as the system would, and list the calls a run makes.
// In every other build the macro is the plain call and nothing more.
//
//   SECTIFY_CALL(FAILED_RESULT, FUNCTION, ARGUMENT...)
//
// calls FUNCTION(ARGUMENT...), unless the test build decides that this call
// fails: then it evaluates to FAILED_RESULT with the error set (errno or
// GetLastError), and the system is not called.

#ifndef SECTIFY_FILES_SYSTEM_CALL_H_
#define SECTIFY_FILES_SYSTEM_CALL_H_

#ifdef SECTIFY_FAULT_INJECTION

namespace sectify::faults {

// Counts a call of `function` and returns whether it is one that
// SECTIFY_FAIL=FUNCTION:K:ERROR names, the K-th call of FUNCTION (several,
// joined by commas, may be named): then it sets the system's last error to
// ERROR. With "list" among them it prints the name of every call on
// standard error, one per line, as well; "list" alone fails none.
bool fails(const char* function);

#ifdef _WIN32
// Leaves the two files as a failed ReplaceFileW leaves them for the error
// set by fails(), with `backup` given: for ERROR_UNABLE_TO_MOVE_REPLACEMENT_2
// the replaced file has moved to `backup`; for the other errors both files
// keep their names. Returns FALSE with that error still set.
int failed_replace(const wchar_t* replaced, const wchar_t* backup);
#endif

}  // namespace sectify::faults

#define SECTIFY_CALL(failed_result, function, ...) \
  (::sectify::faults::fails(#function) ? (failed_result) : function(__VA_ARGS__))

#else

#define SECTIFY_CALL(failed_result, function, ...) function(__VA_ARGS__)

#endif

#endif  // SECTIFY_FILES_SYSTEM_CALL_H_
