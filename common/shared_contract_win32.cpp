#include "shared_contract.h"

#include <windows.h>

static_assert(MAX_PATH == kMaxPath, "the shared path size is Windows' MAX_PATH");
static_assert(kErrorNone == ERROR_SUCCESS && kErrorFileNotFound == ERROR_FILE_NOT_FOUND &&
                  kErrorAccessDenied == ERROR_ACCESS_DENIED && kErrorLockViolation == ERROR_LOCK_VIOLATION &&
                  kErrorSharingViolation == ERROR_SHARING_VIOLATION,
              "the shared error codes are Windows' own");
