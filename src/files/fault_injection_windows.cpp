// What a failed ReplaceFileW leaves behind, for the seam of the
// fault-injection test build: see system_call.h.

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include "files/system_call.h"

namespace sectify::faults {

int failed_replace(const wchar_t* replaced, const wchar_t* backup) {
  // ERROR_UNABLE_TO_MOVE_REPLACEMENT_2: "The file to be replaced still
  // exists with a different name. If lpBackupFileName is specified, it
  // will be the name of the replaced file." With a backup name, the other
  // errors leave both files under their own names.
  const DWORD error = GetLastError();
  if (error == ERROR_UNABLE_TO_MOVE_REPLACEMENT_2) MoveFileExW(replaced, backup, 0);
  SetLastError(error);
  return FALSE;
}

}  // namespace sectify::faults
